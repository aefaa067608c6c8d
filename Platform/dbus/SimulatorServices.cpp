#include "SimulatorServices.h"

#include "DBusClient.h"
#include "DBusHidSystem.h"
#include "DBusLoginSession.h"
#include "DBusRegistry.h"

#include <cstdio>

namespace zed {

void installSimulatorServices(Platform& platform) {
    auto attached = [&platform](BusKind kind) {
        BusPtr bus = openBus(kind);
        if (bus && !platform.runLoop().attachBus(bus.get())) {
            bus.reset();
        }
        return bus;
    };
    BusPtr registry = attached(BusKind::Session);
    if (!registry) {
        std::fprintf(stderr, "zed: no session bus, so no simulated mouse\n");
        return;
    }
    platform.setRegistry(std::make_unique<DBusRegistry>(std::move(registry)));
    if (BusPtr hid = attached(BusKind::Session)) {
        platform.setHidSystem(std::make_unique<DBusHidSystem>(std::move(hid)));
    }
    if (BusPtr session = attached(BusKind::Session)) {
        platform.setLoginSession(std::make_unique<DBusLoginSession>(std::move(session)));
    }
}

} // namespace zed
