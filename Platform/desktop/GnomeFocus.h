// The application in front on GNOME Shell: ZED's GNOME Shell extension
// (share/zed/gnome-shell, uuid zed-focus@tovik.com) exports
// com.tovik.ZED.ShellFocus on /com/tovik/ZED/ShellFocus from the shell's own
// connection: FocusedApp() and the signal FocusChanged(s), the desktop file
// id of the focused application. GNOME offers no other way: its
// introspection is closed to other programs.
#pragma once

#include "Platform/core/Focus.h"

#include <systemd/sd-bus.h>

namespace zed {

inline constexpr const char* kGnomeExtensionUuid = "zed-focus@tovik.com";

// session: the agent's session bus connection. Follows the extension's
// signal from the start; says once when the extension does not answer yet.
std::unique_ptr<FocusTracker> makeGnomeFocusTracker(sd_bus* session, FocusCallback callback,
                                                    std::string* why);

} // namespace zed
