// The least any agent can do on the agent's bus paths, as the floor the real
// agent is measured against: on every driver message it posts one key event
// to the HID system, and on every settings notification it sets the posted
// dictionary on the driver as it is. One connection, the same clients.
// Prints "ready" once it listens.
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"
#include "Platform/core/RunLoop.h"
#include "Platform/dbus/DBusHidSystem.h"
#include "Platform/dbus/DBusNotificationCenter.h"
#include "Platform/dbus/DBusRegistry.h"

#include <cstdio>
#include <vector>

namespace {

struct Echo {
    zed::DBusRegistry* registry = nullptr;
    zed::DBusHidSystem* hid = nullptr;
    zed::io_connect_t connect = 0;
    std::vector<zed::io_service_t> drivers;
};
Echo echo;

void onMessage(void*, zed::io_service_t, std::uint32_t, std::uint64_t) {
    zed::NXEventData data{};
    data.setKeyCode(8);
    echo.hid->postEvent(echo.connect, zed::NX_KEYDOWN, 0, 0, data, 0, 0, 0);
}

} // namespace

int main() {
    zed::RunLoop loop;
    zed::BusPtr bus = zed::openBus(zed::BusKind::Session);
    if (!bus || !loop.attachBus(bus.get())) {
        return 1;
    }
    sd_bus* shared = bus.get();
    zed::DBusRegistry registry(std::move(bus));
    zed::DBusHidSystem hid(zed::BusPtr(sd_bus_ref(shared)));
    zed::DBusNotificationCenter center(zed::BusPtr(sd_bus_ref(shared)));
    echo.registry = &registry;
    echo.hid = &hid;

    std::vector<zed::io_service_t> found;
    registry.getMatchingServices(zed::driver::kHidSystemClassName, &found);
    if (found.empty() || hid.open(found.front(), zed::kIOHIDParamConnectType, &echo.connect) !=
                             zed::kIOReturnSuccess) {
        zed::log("no HID system");
        return 1;
    }
    registry.getMatchingServices(zed::driver::kDriverClassName, &echo.drivers);
    std::vector<zed::NotificationPtr> interests;
    for (zed::io_service_t driver : echo.drivers) {
        zed::NotificationPtr n;
        registry.addInterestNotification(driver, &onMessage, nullptr, &n);
        interests.push_back(std::move(n));
    }
    center.addObserver(nullptr, "TovikCopperhound", "PrefsChange",
                       [](const std::string&, const std::string&, const zed::Dictionary* info) {
                           if (info && !echo.drivers.empty()) {
                               echo.registry->setProperties(echo.drivers.front(), *info);
                           }
                       });
    std::printf("ready\n");
    std::fflush(stdout);
    return loop.run() < 0 ? 1 : 0;
}
