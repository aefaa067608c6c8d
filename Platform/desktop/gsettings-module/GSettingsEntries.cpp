// The GSettings module's entries, loaded by the agent when it first sets a
// desktop setting kept in GSettings.
#include "Platform/desktop/GSettingsModule.h"

extern "C" [[gnu::visibility("default")]] zed::DoubleClickSetting* zed_make_double_click() {
    return std::make_unique<zed::GSettingsDoubleClick>().release(); // the caller owns it
}
