// The least any agent can do on the agent's bus paths, as the floor the real
// agent is measured against: on every driver message it posts one key event
// to the HID system, and on every settings notification it sets the posted
// dictionary on the driver as it is. One connection, the same clients.
// With --focus it is the floor of following the window in front on X11: on
// each change of the active window it reads which window and its class (what
// any agent must know to pick settings) and sets one property on the driver.
// Prints "ready" once it listens.
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"
#include "Platform/core/RunLoop.h"
#include "Platform/dbus/DBusHidSystem.h"
#include "Platform/dbus/DBusNotificationCenter.h"
#include "Platform/dbus/DBusRegistry.h"
#include "Platform/desktop/XcbHandles.h"

#include <cstdio>
#include <cstring>
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

// The X11 focus floor: xcb's events read as they come, two reads per change.
struct FocusFloor {
    zed::XcbConnectionPtr c;
    xcb_atom_t active = XCB_ATOM_NONE;
    xcb_window_t root = 0;
    zed::RunLoop::SourcePtr source;

    bool start(zed::RunLoop& loop) {
        c.reset(xcb_connect(nullptr, nullptr));
        if (xcb_connection_has_error(c.get())) {
            return false;
        }
        root = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data->root;
        const char name[] = "_NET_ACTIVE_WINDOW";
        zed::XcbReply<xcb_intern_atom_reply_t> a(xcb_intern_atom_reply(
            c.get(), xcb_intern_atom(c.get(), 0, sizeof name - 1, name), nullptr));
        active = a ? a->atom : xcb_atom_t{XCB_ATOM_NONE};
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c.get(), root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c.get());
        source = loop.addFd(xcb_get_file_descriptor(c.get()), 1 /* EPOLLIN */,
                            [this](std::uint32_t) { drain(); });
        return source != nullptr;
    }
    void drain() {
        while (zed::XcbReply<xcb_generic_event_t> e{xcb_poll_for_event(c.get())}) {
            if ((e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                reinterpret_cast<xcb_property_notify_event_t*>(e.get())->atom == active) {
                changed();
            }
        }
    }
    void changed() {
        zed::XcbReply<xcb_get_property_reply_t> w(xcb_get_property_reply(
            c.get(), xcb_get_property(c.get(), 0, root, active, XCB_ATOM_WINDOW, 0, 1), nullptr));
        if (!w || xcb_get_property_value_length(w.get()) != 4 || echo.drivers.empty()) {
            return;
        }
        xcb_window_t window;
        std::memcpy(&window, xcb_get_property_value(w.get()), sizeof window);
        zed::XcbReply<xcb_get_property_reply_t> cls(xcb_get_property_reply(
            c.get(),
            xcb_get_property(c.get(), 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
            nullptr));
        // The one choice any agent makes: which settings this class gets.
        const bool first = cls && xcb_get_property_value_length(cls.get()) > 5 &&
                           std::memcmp(xcb_get_property_value(cls.get()), "xcalc", 5) == 0;
        const std::int32_t sensitivity = first ? 0x80000 : 0x30000;
        echo.registry->setProperties(echo.drivers.front(),
                                     {{"Sensitivity", zed::Value(sensitivity)}});
    }
};

} // namespace

int main(int argc, char** argv) {
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
    FocusFloor focus;
    if (argc > 1 && std::strcmp(argv[1], "--focus") == 0 && !focus.start(loop)) {
        zed::log("no X display");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return loop.run() < 0 ? 1 : 0;
}
