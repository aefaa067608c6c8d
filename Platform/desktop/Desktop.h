// The services of a Linux desktop, for the default platform: the HID system
// (uinput keyboard, the pointer settings and double-click time of this
// session's desktop), the registry
// that adds that HID system's service to the driver's registry, and the
// login session from logind.
#pragma once

#include "DesktopHidSystem.h"
#include "DesktopRegistry.h"
#include "LogindSession.h"
#include "Platform/core/RunLoop.h"
#include "Platform/dbus/Platform.h"

#include <memory>

namespace zed {

// The pointer settings go to the backend chosen for this session (GNOME,
// KDE Plasma, sway or the X server); loop (may be null) hears of KWin's new
// devices. The keyboard is opened on the first posted key, the X display on
// the first pointer setting.
std::unique_ptr<DesktopHidSystem> makeDesktopHidSystem(RunLoop* loop);

// inner: the registry of the mouse driver (null: none); hid: the HID
// system's property target (DesktopHidSystem::propertyTarget()).
std::unique_ptr<Registry> makeDesktopRegistry(std::unique_ptr<Registry> inner,
                                              std::shared_ptr<HidPropertyTarget> hid);

// Gives the desktop platform the services only the agent needs: the mouse
// driver's registry on the system bus (with the HID system's service added),
// the HID system and the login session. Each is attached to the platform's
// run loop; what is missing is reported once and left out.
void installDesktopServices(Platform& platform);

// How this session tells the application in front: the X server's window
// manager on an X11 session; nothing yet on Wayland.
FocusTrackerFactory desktopFocusTrackers();

} // namespace zed
