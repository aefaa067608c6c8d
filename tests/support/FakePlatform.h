// A platform of in-memory services for unit tests: a fake registry and HID
// system, a scripted login session, preferences and notifications that stay
// in the process.
#pragma once

#include "Platform/dbus/Platform.h"

#include <memory>

namespace zed {

std::unique_ptr<Platform> makeFakePlatform();

} // namespace zed
