// The services of a Linux desktop, for the default platform: the HID system
// (uinput keyboard, X11 pointer, GSettings double-click time), the registry
// that adds that HID system's service to the driver's registry, and the
// login session from logind.
#pragma once

#include "DesktopHidSystem.h"
#include "DesktopRegistry.h"
#include "LogindSession.h"
#include "RunLoop.h"

#include <memory>

namespace zed {

// Nothing is opened until it is first needed: the keyboard on the first
// posted key, the X display on the first pointer setting.
std::unique_ptr<DesktopHidSystem> makeDesktopHidSystem();

// inner: the registry of the mouse driver (null: none); hid: the HID
// system's property target (DesktopHidSystem::propertyTarget()).
std::unique_ptr<Registry> makeDesktopRegistry(std::unique_ptr<Registry> inner,
                                              std::shared_ptr<HidPropertyTarget> hid);

} // namespace zed
