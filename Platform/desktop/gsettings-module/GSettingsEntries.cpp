// The GSettings module's entries, loaded by the agent when it first sets a
// desktop setting kept in GSettings.
#include "Platform/desktop/GSettingsModule.h"
#include "Platform/desktop/GnomeMouseSettings.h"

extern "C" [[gnu::visibility("default")]] zed::DoubleClickSetting* zed_make_double_click() {
    return std::make_unique<zed::GSettingsDoubleClick>().release(); // the caller owns it
}

extern "C" [[gnu::visibility("default")]] zed::PointerControl* zed_make_gnome_pointer() {
    return std::make_unique<zed::GnomePointerControl>().release(); // the caller owns it
}

extern "C" [[gnu::visibility("default")]] bool zed_have_gnome_mouse_schema() {
    return zed::haveGnomeMouseSchema();
}
