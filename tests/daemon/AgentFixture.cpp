#include "AgentFixture.h"

#include "Daemon/HidUtils.h"
#include "Daemon/SensDrawer.h"
#include "Platform/DriverInterface.h"

void FakeProcess::exit(int status) {
    exits.push_back(status);
    zed::Platform::current().runLoop().exit(status);
}

void AgentTest::SetUp() {
    Application::sApp.reset();
    ResetDriverNotifProc();
    ResetEventDriver();
    gModifiers = 0;
    zed::SetOverlayWindowService(&overlays);
    auto p = zed::Platform::makeFake();
    auto reg = std::make_unique<zed::FakeRegistry>();
    auto h = std::make_unique<zed::FakeHidSystem>();
    auto s = std::make_unique<zed::ScriptedLoginSession>();
    auto d = std::make_unique<zed::MemoryPreferenceDomains>("alice");
    auto c = std::make_unique<zed::LocalNotificationCenter>();
    auto pr = std::make_unique<FakeProcess>();
    registry = reg.get();
    hid = h.get();
    session = s.get();
    prefs = d.get();
    center = c.get();
    process = pr.get();
    p->setRegistry(std::move(reg));
    p->setHidSystem(std::move(h));
    p->setLoginSession(std::move(s));
    p->setPreferences(std::move(d));
    p->setDistributedCenter(std::move(c));
    p->setProcess(std::move(pr));
    platform = p.get();
    zed::Platform::install(std::move(p));

    session->setSession("alice", 501, true, true);
    hidSystem = registry->addService(zed::driver::kHidSystemClassName, {});
}

void AgentTest::TearDown() {
    // The application's registrations point into this platform.
    Application::sApp.reset();
    ResetDriverNotifProc();
    zed::SetOverlayWindowService(nullptr);
    zed::Platform::install(nullptr);
}

zed::io_service_t AgentTest::plugMouse(std::int32_t product) {
    const zed::Dictionary ids{{zed::driver::kVendorIdKey, zed::Value(zed::kTovikVendorId)},
                              {zed::driver::kProductIdKey, zed::Value(product)}};
    // The driver attaches before the device is announced, as a kernel driver would.
    const zed::io_service_t driver = registry->addService(zed::driver::kDriverClassName, ids);
    usbDevices.push_back(registry->addService(zed::driver::kUsbDeviceClassName, ids));
    return driver;
}

zed::Dictionary AgentTest::storedDomain() {
    return prefs->stored(kPrefsDomain, "alice").value_or(zed::Dictionary{});
}

zed::Dictionary AgentTest::lastSet(zed::io_service_t service) {
    auto calls = registry->setCallsOn(service);
    return calls.empty() ? zed::Dictionary{} : calls.back();
}
