#include "AgentFixture.h"
#include "Daemon/HidUtils.h"
#include "Platform/core/DriverInterface.h"

namespace zed::test {

using zed::Dictionary;
using zed::Value;

namespace {

class DiscoveryTest : public AgentTest {
protected:
    // The agent as it is after Run's login wait and HID lookup, then Init.
    void start() {
        app = Application::GetApp();
        ASSERT_TRUE(app->IsLoggedIn());
        app->hidSystem = hidSystem;
        app->Init();
    }
    std::size_t fullConfigurations(zed::io_service_t driver) {
        std::size_t n = 0;
        for (const auto& d : registry->setCallsOn(driver)) {
            n += d.count("ButtonMappings");
        }
        return n;
    }
    Application* app = nullptr;
};

} // namespace

TEST_F(DiscoveryTest, AMousePresentAtStartIsFoundRegisteredAndConfiguredDuringInit) {
    const zed::io_service_t driver = plugMouse(2);
    start();
    EXPECT_EQ(app->driverService, driver);
    EXPECT_EQ(registry->interestWatchers(driver), 1);
    EXPECT_EQ(fullConfigurations(driver), 1u);
    EXPECT_EQ(registry->matchingWatchers(), 4) << "arrival and removal for products 1 and 2";
}

TEST_F(DiscoveryTest, WithoutAMouseNothingHappensUntilOneIsPlugged) {
    start();
    EXPECT_EQ(app->driverService, 0u);
    EXPECT_TRUE(registry->setCalls().empty());
    prefs->replaceDomain(zed::settings::kDomain, {{"Sensitivity", Value(4.0)}}, "alice");
    prefs->synchronize(zed::settings::kDomain, "alice");

    const zed::io_service_t driver = plugMouse(1);
    EXPECT_EQ(app->driverService, driver);
    EXPECT_EQ(lastSet(driver), (Dictionary{{"Sensitivity", Value(FixedFromDouble(4.0))}}));
}

TEST_F(DiscoveryTest, OtherVendorsAndProductsAreNotOurs) {
    start();
    registry->addService(zed::driver::kDriverClassName,
                         {{"idVendor", Value(std::int32_t{0x1234})}, {"idProduct", Value(1)}});
    registry->addService(zed::driver::kDriverClassName,
                         {{"idVendor", Value(zed::kTovikVendorId)}, {"idProduct", Value(3)}});
    registry->addService(zed::driver::kDriverClassName, {{"idVendor", Value(zed::kTovikVendorId)}});
    EXPECT_EQ(FindCopperhound(), 0u);
    const zed::io_service_t ours = registry->addService(
        zed::driver::kDriverClassName,
        {{"idVendor", Value(std::int64_t{zed::kTovikVendorId})}, {"idProduct", Value(2.0)}});
    EXPECT_EQ(FindCopperhound(), ours) << "numbers of any width or kind compare by value";
    registry->setUnreadable(ours);
    EXPECT_EQ(FindCopperhound(), 0u);
}

TEST_F(DiscoveryTest, DeviceEventsWhileAnotherSessionHasTheConsoleAreIgnored) {
    start();
    session->setSession("alice", 501, true, false);
    const zed::io_service_t driver = plugMouse();
    EXPECT_EQ(app->driverService, 0u);
    EXPECT_TRUE(registry->setCallsOn(driver).empty());
    EXPECT_EQ(registry->interestWatchers(driver), 0);
}

TEST_F(DiscoveryTest, AnArrivalWhoseDriverCannotBeFoundLeavesNoMouse) {
    start();
    registry->addService(zed::driver::kUsbDeviceClassName,
                         {{"idVendor", Value(zed::kTovikVendorId)}, {"idProduct", Value(1)}});
    EXPECT_EQ(app->driverService, 0u);
    EXPECT_TRUE(registry->setCalls().empty());
}

TEST_F(DiscoveryTest, RemovalWhileASecondMouseRemainsKeepsItAndRegistersOnlyOnce) {
    const zed::io_service_t first = plugMouse(1);
    start();
    const zed::io_service_t second = plugMouse(2);
    EXPECT_EQ(app->driverService, second) << "a later instance replaces an earlier one";
    EXPECT_EQ(registry->interestWatchers(first), 1);
    EXPECT_EQ(registry->interestWatchers(second), 1);

    registry->removeService(second);
    registry->removeService(usbDevices.back());
    EXPECT_EQ(app->driverService, first);
    EXPECT_EQ(registry->interestWatchers(first), 1) << "never twice for the same instance";
    EXPECT_EQ(fullConfigurations(first), 2u) << "applied again on removal";

    registry->removeService(first);
    registry->removeService(usbDevices.front());
    EXPECT_EQ(app->driverService, 0u);
}

TEST_F(DiscoveryTest, AfterTheProviderRestartsTheDriverIsRegisteredAfreshUnderItsOldHandle) {
    prefs->replaceDomain(zed::settings::kDomain,
                         {{"ButtonMappings", Value(zed::Array{Value(zed::Data{3, '8'})})}},
                         "alice");
    prefs->synchronize(zed::settings::kDomain, "alice");
    const zed::io_service_t driver = plugMouse();
    start();
    registry->restartProvider();
    EXPECT_EQ(app->driverService, driver);
    ASSERT_EQ(registry->interestWatchers(driver), 1) << "the registration died with the provider";

    // The new provider's message reaches the agent: button 1 types key 8.
    registry->sendMessage(driver, 0x000);
    const auto typed = std::count_if(hid->events.begin(), hid->events.end(), [](const auto& e) {
        return e.type == zed::NX_KEYDOWN && e.data.keyCode() == 8;
    });
    EXPECT_EQ(typed, 1);
}

TEST_F(DiscoveryTest, RegistrationFailuresAreReportedAndStartupGoesOn) {
    registry->setRegistrationStatus(zed::kIOReturnNoResources);
    testing::internal::CaptureStderr();
    start();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error registering matching notif proc. - (iokit/common) resource "
                       "shortage(e00002be,702)\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("Error registering terminated notif proc."), std::string::npos);
    EXPECT_TRUE(app->prefs);
}

TEST_F(DiscoveryTest, PostedSettingsApplyAtOnceOrAreDroppedWithoutAMouse) {
    start();
    const Dictionary posted{{"Sensitivity", Value(2.0)}, {"Orientation", Value(std::int32_t{1})}};
    center->post("TovikCopperhound", "PrefsChange", &posted, true);
    EXPECT_TRUE(registry->setCalls().empty()) << "no mouse: dropped";
    EXPECT_EQ(app->prefs->sens[0], 0.0);

    prefs->replaceDomain(zed::settings::kDomain, {{"Sensitivity", Value(6.0)}}, "alice");
    prefs->synchronize(zed::settings::kDomain, "alice");
    const zed::io_service_t driver = plugMouse();
    EXPECT_EQ(app->prefs->sens[0], 6.0) << "the next arrival applies the domain";

    center->post("TovikCopperhound", "PrefsChange", &posted, true);
    EXPECT_EQ(lastSet(driver), (Dictionary{{"HIDPointerButtonMode", Value(std::int32_t{1})},
                                           {"Sensitivity", Value(FixedFromDouble(2.0))}}));
    center->post("TovikCopperhound", "OtherObject", &posted, true);
    center->post("TovikCopperhound", "PrefsChange", nullptr, true);
    EXPECT_EQ(registry->setCallsOn(driver).size(), 2u);
}

} // namespace zed::test
