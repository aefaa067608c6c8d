#include "AgentFixture.h"

#include "Daemon/HidUtils.h"
#include "Daemon/SensDrawer.h"
#include "FakePlatform.h"
#include "Platform/core/DriverInterface.h"
#include "ScriptedLoginSession.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace {
constexpr const char* kAgentEnvironment[] = {"HOME", "XDG_CONFIG_HOME"};

std::optional<std::string> environmentValue(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    return v ? std::optional<std::string>(v) : std::nullopt;
}

void setEnvironmentValue(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}
} // namespace

std::optional<zed::ProcessControl::User> FakeProcess::userById(uid_t uid) {
    auto it = users.find(uid);
    if (it == users.end()) {
        errno = ENOENT;
        return std::nullopt;
    }
    return it->second;
}

int FakeProcess::initgroups(const std::string& user, gid_t group) {
    calls.push_back("initgroups " + user + " " + std::to_string(group));
    return failing.count("initgroups") ? (errno = EPERM, -1) : 0;
}

int FakeProcess::setgid(gid_t gid) {
    calls.push_back("setgid " + std::to_string(gid));
    return failing.count("setgid") ? (errno = EPERM, -1) : 0;
}

int FakeProcess::setuid(uid_t uid) {
    calls.push_back("setuid " + std::to_string(uid));
    setuids.push_back(uid);
    return failing.count("setuid") ? (errno = EPERM, -1) : 0;
}

void FakeProcess::setEnvironment(const std::string& name, const std::optional<std::string>& value) {
    calls.push_back(value ? "setenv " + name + "=" + *value : "unsetenv " + name);
    setEnvironmentValue(name, value);
}

int FakeProcess::sleep(unsigned seconds, std::span<const int> wakeSignals) {
    sleeps.push_back(seconds);
    const int n = static_cast<int>(sleeps.size());
    if (onSleep) {
        onSleep(n);
    }
    const bool wakes =
        std::find(wakeSignals.begin(), wakeSignals.end(), SIGTERM) != wakeSignals.end();
    return n == sigtermAtSleep && wakes ? SIGTERM : 0;
}

void FakeProcess::exit(int status) {
    exits.push_back(status);
    zed::Platform::current().runLoop().exit(status);
}

void AgentTest::SetUp() {
    for (const char* name : kAgentEnvironment) {
        savedEnvironment[name] = environmentValue(name);
    }
    Application::sApp.reset();
    ResetDriverNotifProc();
    ResetEventDriver();
    gModifiers = 0;
    zed::SetOverlayWindowService(&overlays);
    auto p = zed::makeFakePlatform();
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
    for (const auto& [name, value] : savedEnvironment) {
        setEnvironmentValue(name, value);
    }
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
    return prefs->stored(zed::settings::kDomain, "alice").value_or(zed::Dictionary{});
}

zed::Dictionary AgentTest::lastSet(zed::io_service_t service) {
    auto calls = registry->setCallsOn(service);
    return calls.empty() ? zed::Dictionary{} : calls.back();
}
