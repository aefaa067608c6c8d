#include "CallBacks.h"

#include "Application.h"
#include "HidUtils.h"
#include "Platform/Platform.h"

OSStatus SwitchEventsHandler(void*, void*, void*) {
    Application* app = Application::GetApp();
    while (!app->IsLoggedIn()) {
        zed::Platform::current().process().sleep(Application::kLoginPollPeriod);
    }
    if (app->prefs) {
        app->prefs->ReadPrefs();
    }
    return 0;
}

OSErr HandleAEQuit(const void*, void*, long) {
    Application::GetApp()->Terminate();
    zed::Platform::current().process().exit(0);
    return 0;
}

void PrefNotifProc(void*, void*, const std::string&, const std::string&,
                   const zed::Dictionary* userInfo) {
    Application* app = Application::GetApp();
    if (app->prefs) {
        app->prefs->SendPrefsToDriver(userInfo);
    }
}

namespace {
// Device arrival and removal are handled alike: find the driver again.
void DeviceChanged(zed::ServiceIterator& iterator) {
    bool any = false;
    while (iterator.next() != 0) {
        any = true;
    }
    Application* app = Application::GetApp();
    if (!any || !app->IsLoggedIn()) {
        return;
    }
    app->driverService = FindCopperhound();
    if (app->driverService == 0) {
        return;
    }
    app->RegisterForDeviceNotif();
    if (app->prefs) {
        app->prefs->ReadPrefs();
    }
}
} // namespace

void DeviceAddedNotifProc(void*, zed::ServiceIterator& iterator) {
    DeviceChanged(iterator);
}

void DeviceRemovedNotifProc(void*, zed::ServiceIterator& iterator) {
    DeviceChanged(iterator);
}

void DriverNotifProc(void*, zed::io_service_t, std::uint32_t, std::uint64_t) {
    // Driver messages are decoded once typing and the overlay exist.
}
