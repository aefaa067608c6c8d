// Where the buttons page joins the main view: called once the main view and
// its other pages are built, with the empty container of the "Buttons" page.
// The buttons page defines it; without that page the container stays empty.
#pragma once

class TovikCopperhoundPref;
class QWidget;

void AttachButtonsPage(QWidget* container, TovikCopperhoundPref* pane);
