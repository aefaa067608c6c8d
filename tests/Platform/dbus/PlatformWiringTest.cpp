// Which registry, HID system and session the process's platform takes.
#include "Platform/core/DriverInterface.h"
#include "Platform/dbus/Platform.h"
#include "Platform/dbus/SimulatorServices.h"
#include "Platform/desktop/Desktop.h"
#include "SimulatorHarness.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace zed::test {
namespace {

class PlatformWiringTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        ASSERT_TRUE(simulator_.start());
    }
    SimulatorProcess simulator_;
};

TEST_F(PlatformWiringTest, TheSimulatorPlatformTakesEverythingFromTheSimulator) {
    ScopedEnv env("ZED_PLATFORM", "simulator");
    auto platform = Platform::makeDefault();
    installSimulatorServices(*platform);
    std::vector<io_service_t> hid;
    platform->registry().getMatchingServices(driver::kHidSystemClassName, &hid);
    ASSERT_EQ(hid.size(), 1u);
    io_connect_t connect = 0;
    EXPECT_EQ(platform->hidSystem().open(hid[0], kIOHIDParamConnectType, &connect), 0);
    EXPECT_TRUE(platform->loginSession().copyCurrentDictionary());

    // Its signals are dispatched by the platform's own loop.
    int activated = 0;
    ASSERT_TRUE(platform->loginSession().setActivatedHandler([&] { ++activated; }));
    ASSERT_EQ(sim({"session", "back"}).exitCode, 0);
    EXPECT_TRUE(runUntil(platform->runLoop(), [&] { return activated == 1; }));
}

// The connections this process holds on the session bus, asked on a
// connection of the test's own that is not counted.
int connectionsOfThisProcess() {
    BusPtr bus = openBus(BusKind::Session);
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "ListNames", nullptr, &reply, "") < 0) {
        return -1;
    }
    MessagePtr names(reply);
    char** list = nullptr;
    sd_bus_message_read_strv(reply, &list);
    const char* own = nullptr;
    sd_bus_get_unique_name(bus.get(), &own);
    int count = 0;
    for (char** n = list; n && *n; ++n) {
        std::uint32_t pid = 0;
        sd_bus_message* r = nullptr;
        if ((*n)[0] == ':' && std::string(*n) != own &&
            sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetConnectionUnixProcessID", nullptr, &r,
                               "s", *n) >= 0 &&
            sd_bus_message_read(r, "u", &pid) >= 0 && pid == static_cast<std::uint32_t>(getpid())) {
            ++count;
        }
        sd_bus_message_unref(r);
        std::free(*n);
    }
    std::free(list);
    return count;
}

TEST_F(PlatformWiringTest, TheSimulatorPlatformUsesOneConnectionForAllItsClients) {
    ScopedEnv env("ZED_PLATFORM", "simulator");
    auto platform = Platform::makeDefault();
    installSimulatorServices(*platform);
    std::vector<io_service_t> hid;
    platform->registry().getMatchingServices(driver::kHidSystemClassName, &hid);
    ASSERT_EQ(hid.size(), 1u) << "the shared connection serves the registry";
    // Every client used, so that each connection it might have is up.
    io_connect_t connect = 0;
    EXPECT_EQ(platform->hidSystem().open(hid[0], kIOHIDParamConnectType, &connect), 0);
    EXPECT_TRUE(platform->loginSession().copyCurrentDictionary());
    EXPECT_TRUE(platform->distributedCenter().post("ZedTest", "Wiring", nullptr, true));
    EXPECT_EQ(connectionsOfThisProcess(), 1);
}

TEST_F(PlatformWiringTest, TheDesktopAgentTakesTheDriverFromTheSystemBusAndAddsItsHidSystem) {
    ScopedEnv env("ZED_PLATFORM", "linux");
    // The session bus stands in for the system bus here.
    ScopedEnv system("DBUS_SYSTEM_BUS_ADDRESS", std::getenv("DBUS_SESSION_BUS_ADDRESS"));
    auto platform = Platform::makeDefault();
    std::vector<io_service_t> services{1};
    platform->registry().getMatchingServices(driver::kHidSystemClassName, &services);
    EXPECT_TRUE(services.empty()) << "other programs than the agent get no registry";

    installDesktopServices(*platform);
    ASSERT_EQ(sim({"plug"}).exitCode, 0);
    EXPECT_TRUE(runUntil(platform->runLoop(), [&] {
        platform->registry().getMatchingServices(driver::kDriverClassName, &services);
        return services.size() == 1;
    }));
    platform->registry().getMatchingServices(driver::kHidSystemClassName, &services);
    EXPECT_NE(std::find(services.begin(), services.end(), DesktopRegistry::kHidSystemService),
              services.end());
}

TEST_F(PlatformWiringTest, WithoutASystemBusTheDesktopAgentHasOnlyItsOwnHidSystem) {
    ScopedEnv env("ZED_PLATFORM", "linux");
    ScopedEnv system("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zed-test-bus");
    auto platform = Platform::makeDefault();
    installDesktopServices(*platform);
    std::vector<io_service_t> services{1};
    EXPECT_EQ(platform->registry().getMatchingServices(driver::kDriverClassName, &services), 0);
    EXPECT_TRUE(services.empty());
    EXPECT_EQ(platform->registry().getMatchingServices(driver::kHidSystemClassName, &services), 0);
    EXPECT_EQ(services, std::vector<io_service_t>{DesktopRegistry::kHidSystemService});
}

} // namespace
} // namespace zed::test
