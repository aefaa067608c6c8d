#include "SimulatorServices.h"

#include "DBusClient.h"
#include "DBusHidSystem.h"
#include "DBusLoginSession.h"
#include "DBusRegistry.h"
#include "Platform/core/Log.h"

namespace zed {

// The simulated mouse's services share the platform's session connection:
// one connection per bus, whichever client reads a message.
void installSimulatorServices(Platform& platform) {
    sd_bus* shared = platform.sessionBus();
    if (!shared) {
        zed::log("no session bus, so no simulated mouse");
        return;
    }
    auto ref = [shared] { return BusPtr(sd_bus_ref(shared)); };
    platform.setRegistry(std::make_unique<DBusRegistry>(ref()));
    platform.setHidSystem(std::make_unique<DBusHidSystem>(ref()));
    platform.setLoginSession(std::make_unique<DBusLoginSession>(ref()));
}

} // namespace zed
