// Which registry, HID system and session the process's platform takes.
#include "Platform/DriverInterface.h"
#include "Platform/Platform.h"
#include "SimulatorHarness.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace zed::test {
namespace {

// Sets an environment variable for one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

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

TEST_F(PlatformWiringTest, TheDesktopTakesOnlyTheRegistryFromTheSystemBus) {
    ScopedEnv env("ZED_PLATFORM", "linux");
    // The session bus stands in for the system bus here.
    ScopedEnv system("DBUS_SYSTEM_BUS_ADDRESS", std::getenv("DBUS_SESSION_BUS_ADDRESS"));
    auto platform = Platform::makeDefault();
    std::vector<io_service_t> hid;
    platform->registry().getMatchingServices(driver::kHidSystemClassName, &hid);
    ASSERT_EQ(hid.size(), 1u);
    io_connect_t connect = 0;
    EXPECT_NE(platform->hidSystem().open(hid[0], kIOHIDParamConnectType, &connect), 0);
    EXPECT_FALSE(platform->loginSession().copyCurrentDictionary());
}

TEST_F(PlatformWiringTest, WithoutASystemBusTheDesktopHasNoServices) {
    ScopedEnv env("ZED_PLATFORM", "linux");
    ScopedEnv system("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zed-test-bus");
    auto platform = Platform::makeDefault();
    std::vector<io_service_t> services{1};
    EXPECT_EQ(platform->registry().getMatchingServices(driver::kHidSystemClassName, &services), 0);
    EXPECT_TRUE(services.empty());
}

} // namespace
} // namespace zed::test
