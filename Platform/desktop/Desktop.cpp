#include "Desktop.h"

#include "GnomeFocus.h"
#include "KWinFocus.h"
#include "Platform/dbus/DBusRegistry.h"
#include "PointerBackend.h"
#include "SwayFocus.h"
#include "X11Focus.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace zed {

namespace {
// The desktop (libinput, the X server) opens a new input device only after
// udev has announced it; keys sent before then are lost.
constexpr long kKeyboardSettleNsec = 200L * 1000 * 1000;
} // namespace

std::unique_ptr<DesktopHidSystem> makeDesktopHidSystem(RunLoop* loop) {
    auto keyboard = [](int* error) {
        auto kb = createUinputKeyboard(error);
        if (kb) {
            timespec settle{0, kKeyboardSettleNsec};
            nanosleep(&settle, nullptr);
        }
        return kb;
    };
    PointerBackend backend = makePointerBackend(loop);
    auto properties = std::make_shared<DesktopHidProperties>(std::move(backend.doubleClick));
    return std::make_unique<DesktopHidSystem>(keyboard, std::move(backend.pointer),
                                              std::move(properties));
}

std::unique_ptr<Registry> makeDesktopRegistry(std::unique_ptr<Registry> inner,
                                              std::shared_ptr<HidPropertyTarget> hid) {
    return std::make_unique<DesktopRegistry>(std::move(inner), std::move(hid));
}

void installDesktopServices(Platform& platform) {
    auto hid = makeDesktopHidSystem(&platform.runLoop());
    std::unique_ptr<Registry> driver;
    // The mouse's driver serves its registry on the system bus; without it
    // (already reported) there are only the desktop's own services. logind
    // shares the connection: one per bus.
    BusPtr system = openBus(BusKind::System);
    if (system && platform.runLoop().attachBus(system.get())) {
        driver = std::make_unique<DBusRegistry>(BusPtr(sd_bus_ref(system.get())));
    }
    platform.setRegistry(makeDesktopRegistry(std::move(driver), hid->propertyTarget()));
    platform.setHidSystem(std::move(hid));
    platform.setLoginSession(makeLogindSession(platform.runLoop(), std::move(system)));
}

FocusTrackerFactory desktopFocusTrackers() {
    return [](RunLoop& loop, FocusCallback callback, std::string* why) {
        // Under Wayland the X server knows only its own clients' windows.
        const char* type = std::getenv("XDG_SESSION_TYPE");
        if (!type || std::strcmp(type, "wayland") != 0) {
            return makeX11FocusTracker(loop, std::move(callback), why);
        }
        if (std::getenv("SWAYSOCK")) {
            return makeSwayFocusTracker(loop, std::move(callback), why);
        }
        const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
        if (desktop && std::strstr(desktop, "KDE")) {
            return makeKWinFocusTracker(Platform::current().sessionBus(), std::move(callback), why);
        }
        if (desktop && std::strstr(desktop, "GNOME")) {
            return makeGnomeFocusTracker(Platform::current().sessionBus(), std::move(callback),
                                         why);
        }
        *why = "this Wayland desktop does not tell ZED which window is in front";
        return std::unique_ptr<FocusTracker>();
    };
}

} // namespace zed
