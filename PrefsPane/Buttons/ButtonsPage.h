// The buttons page: built into the empty container of the main view's
// "Buttons" tab once the view's other pages are built.
#pragma once

class TovikCopperhoundPref;
class QWidget;

void AttachButtonsPage(QWidget* container, TovikCopperhoundPref* pane);
