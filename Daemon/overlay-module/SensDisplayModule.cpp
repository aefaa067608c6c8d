// The overlay module: the sensitivity overlay's drawing, with cairo, pango
// and X11, loaded by the agent when it shows its first overlay.
#include "Daemon/SensDrawer.h"

extern "C" [[gnu::visibility("default")]] zed::SensDisplay* zed_make_sens_display() {
    return zed::MakeLinkedSensDisplay().release(); // the caller owns it
}
