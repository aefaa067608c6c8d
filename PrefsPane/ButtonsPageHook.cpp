#include "ButtonsPageHook.h"

// Weak, so that the buttons page's own definition takes its place when it is
// linked in; the plug-in links the whole pane library for that reason.
__attribute__((weak)) void AttachButtonsPage(QWidget*, TovikCopperhoundPref*) {}
