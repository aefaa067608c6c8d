// The services of the simulated mouse (zed-mouse-sim) for the agent: its
// registry, HID system and login session, all served on the session bus.
#pragma once

#include "Platform.h"

namespace zed {

// Each service gets its own session-bus connection, attached to the
// platform's run loop so that its signals are dispatched there. Without a
// session bus nothing is installed and that is reported.
void installSimulatorServices(Platform& platform);

} // namespace zed
