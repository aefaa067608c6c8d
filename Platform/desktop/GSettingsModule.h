// The desktop settings kept in GSettings come from a module loaded when one
// is first set (or, on GNOME, when the session's pointer settings are chosen),
// so that an agent that never sets one carries no GIO. The module holds the
// GSettings units; this side is the thin seam to it.
#pragma once

#include "PointerSettings.h"

#include <memory>

namespace zed {

inline constexpr const char* kGSettingsModule = "zed-gsettings.so";
// The module's entry for the double-click time: a new GSettingsDoubleClick
// on the desktop's own backend, owned by the caller.
inline constexpr const char* kDoubleClickEntry = "zed_make_double_click";
using DoubleClickEntry = DoubleClickSetting* (*)();
// GNOME's pointer settings (a new GnomePointerControl), owned by the caller.
inline constexpr const char* kGnomePointerEntry = "zed_make_gnome_pointer";
using GnomePointerEntry = PointerControl* (*)();
// Whether GNOME's mouse schema is installed.
inline constexpr const char* kGnomeSchemaEntry = "zed_have_gnome_mouse_schema";
using GnomeSchemaEntry = bool (*)();

// Asked of the module, so only where GNOME's settings could be used: false
// when the module cannot be loaded (said once).
bool gnomeMouseSchemaInstalled();
// GNOME's pointer settings from the module; null when it cannot be loaded.
std::unique_ptr<PointerControl> makeGnomePointerControl();

// The GSettings double-click time, loaded on the first set. Without the
// module (said once) the desktop keeps its own time.
class LazyDoubleClick : public DoubleClickSetting {
public:
    IOReturn setDoubleClickTime(std::uint64_t nanoseconds) override;

private:
    std::unique_ptr<DoubleClickSetting> loaded_;
    bool tried_ = false;
};

} // namespace zed
