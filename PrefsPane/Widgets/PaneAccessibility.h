// What screen readers and keyboard users meet in the pane: every control
// named after the label of its row, and the Tab key moving through a page in
// the order it is read.
#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace zed {

// A label's text as a name: without its mnemonic mark and closing colon.
QString accessibleLabelText(const QString& labelText);

// Names each control under `root` that has no name of its own after the
// label of its row: a label's buddy, and every other control in the row of
// a grid or form layout whose first cell holds that label (the value box
// beside a slider). Controls with a text of their own (buttons, check boxes)
// keep it.
void nameControlsByTheirLabels(QWidget* root);

// The controls under `root` that the Tab key stops at, in the order the
// interface file lists them (which is the order they are read in).
QList<QWidget*> tabStops(QWidget* root);

// Chains the widgets' tab order in the order given.
void setTabOrderChain(const QList<QWidget*>& widgets);

// While one lives, pop-up buttons report the name they were given to screen
// readers (on Linux Qt would otherwise name them by their chosen item, so
// that "Button 4" would be read as "Key macro…"), and sliders bound to a
// setting report its value in its units, not their step count.
class AccessibleNames {
public:
    AccessibleNames();
    ~AccessibleNames();
    AccessibleNames(const AccessibleNames&) = delete;
    AccessibleNames& operator=(const AccessibleNames&) = delete;
};

} // namespace zed
