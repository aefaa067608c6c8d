// The HID system client against the simulator's "IOHIDSystem" service.
#include "Platform/core/DriverInterface.h"
#include "Platform/dbus/DBusHidSystem.h"
#include "Platform/dbus/DBusRegistry.h"
#include "SimulatorHarness.h"

#include <gtest/gtest.h>

namespace zed::test {
namespace {

class HidSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        ASSERT_TRUE(simulator_.start());
        registry_ = std::make_unique<DBusRegistry>(attachedSessionBus(loop_));
        hid_ = std::make_unique<DBusHidSystem>(attachedSessionBus(loop_));
        std::vector<io_service_t> found;
        registry_->getMatchingServices(driver::kHidSystemClassName, &found);
        ASSERT_EQ(found.size(), 1u);
        service_ = found[0];
    }

    // The "call" of every recorded HID call, in order.
    static std::vector<std::string> calls() {
        std::vector<std::string> out;
        for (const std::string& line : lines(sim({"show", "hid"}).out)) {
            const auto at = line.find("\"call\":\"");
            out.push_back(at == std::string::npos
                              ? line
                              : line.substr(at + 8, line.find('"', at + 8) - at - 8));
        }
        return out;
    }

    RunLoop loop_;
    SimulatorProcess simulator_;
    std::unique_ptr<DBusRegistry> registry_;
    std::unique_ptr<DBusHidSystem> hid_;
    io_service_t service_ = 0;
};

TEST_F(HidSystemTest, ParameterCallsAreAnsweredAndRecorded) {
    io_connect_t connect = 0;
    ASSERT_EQ(hid_->open(service_, kIOHIDParamConnectType, &connect), kIOReturnSuccess);
    EXPECT_NE(connect, 0u);
    EXPECT_EQ(hid_->setMouseButtonMode(connect, 2), kIOReturnSuccess);
    double acceleration = 0;
    EXPECT_EQ(hid_->getAccelerationWithKey(connect, "HIDMouseAcceleration", &acceleration), 0);
    EXPECT_EQ(acceleration, 0.6875); // where the simulated machine starts
    EXPECT_EQ(hid_->setAccelerationWithKey(connect, "HIDMouseAcceleration", 1.5), 0);
    EXPECT_EQ(hid_->getAccelerationWithKey(connect, "HIDMouseAcceleration", &acceleration), 0);
    EXPECT_EQ(acceleration, 1.5);
    hid_->close(connect);

    EXPECT_EQ(calls(), (std::vector<std::string>{"Open", "SetMouseButtonMode",
                                                 "GetAccelerationWithKey", "SetAccelerationWithKey",
                                                 "GetAccelerationWithKey", "Close"}));
    const auto records = lines(sim({"show", "hid"}).out);
    EXPECT_NE(records[1].find("\"mode\":2"), std::string::npos) << records[1];
    EXPECT_NE(records[3].find("\"key\":\"HIDMouseAcceleration\",\"value\":1.5"), std::string::npos)
        << records[3];
}

TEST_F(HidSystemTest, PostedEventsAreRecordedWithTheirKeyCode) {
    io_connect_t connect = 0;
    ASSERT_EQ(hid_->open(service_, kIOHIDParamConnectType, &connect), 0);
    NXEventData key;
    key.setKeyCode(56);
    EXPECT_EQ(hid_->postEvent(connect, NX_KEYDOWN, 0, 0, key, 0, 0, 0), 0);
    EXPECT_EQ(hid_->postEvent(connect, NX_FLAGSCHANGED, 3, -4, NXEventData{}, 2, 0x20000,
                              kIOHIDSetGlobalEventFlags),
              0);
    const auto events = lines(sim({"show", "events"}).out);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_NE(events[0].find("\"type\":10,\"x\":0,\"y\":0,\"flags\":0,\"options\":0,"
                             "\"dataVersion\":0,\"keyCode\":56,\"data\":\"0000000000000000380"),
              std::string::npos)
        << events[0];
    EXPECT_NE(events[1].find("\"type\":12,\"x\":3,\"y\":-4,\"flags\":131072,\"options\":1,"
                             "\"dataVersion\":2,\"keyCode\":0"),
              std::string::npos)
        << events[1];
}

TEST_F(HidSystemTest, BadOpensAndUnknownConnectionsFail) {
    io_connect_t connect = 77;
    EXPECT_EQ(hid_->open(service_, 0, &connect), kIOReturnBadArgument);
    EXPECT_EQ(connect, 0u);
    EXPECT_EQ(hid_->open(0, kIOHIDParamConnectType, &connect), kIOReturnBadArgument);
    EXPECT_EQ(hid_->setMouseButtonMode(12345, 1), kIOReturnNotOpen);
    ASSERT_EQ(hid_->open(service_, kIOHIDParamConnectType, &connect), 0);
    hid_->close(connect);
    EXPECT_EQ(hid_->postEvent(connect, NX_KEYUP, 0, 0, NXEventData{}, 0, 0, 0), kIOReturnNotOpen);
    // A service without the HID interface.
    const io_service_t mouse = static_cast<io_service_t>(std::stoul(sim({"plug"}).out));
    EXPECT_EQ(hid_->open(mouse, kIOHIDParamConnectType, &connect), kIOReturnUnsupported);
}

TEST_F(HidSystemTest, PropertiesSetOnTheHidSystemAreRecorded) {
    EXPECT_EQ(
        registry_->setProperties(service_, {{"HIDClickTime", Value(std::int64_t{500000000})}}), 0);
    const auto records = lines(sim({"show", "hid"}).out);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].find("\"call\":\"SetProperties\",\"status\":0,\"properties\":{"
                              "\"HIDClickTime\":{\"type\":\"int64\",\"value\":500000000}}"),
              std::string::npos)
        << records[0];
    EXPECT_TRUE(lines(sim({"show", "driver"}).out).empty()); // nothing went to a driver
}

TEST_F(HidSystemTest, WithoutTheProviderCallsAreNotResponding) {
    io_connect_t connect = 0;
    ASSERT_EQ(hid_->open(service_, kIOHIDParamConnectType, &connect), 0);
    ASSERT_TRUE(simulator_.stop());
    EXPECT_EQ(hid_->setMouseButtonMode(connect, 1), kIOReturnNotResponding);
    EXPECT_EQ(hid_->open(service_, kIOHIDParamConnectType, &connect), kIOReturnNotResponding);
}

TEST_F(HidSystemTest, ASimulatorWithoutHidSystemHasNone) {
    ASSERT_TRUE(simulator_.stop());
    ASSERT_TRUE(simulator_.start({"--without-hid"}));
    DBusRegistry fresh(attachedSessionBus(loop_));
    std::vector<io_service_t> found{1};
    fresh.getMatchingServices(driver::kHidSystemClassName, &found);
    EXPECT_TRUE(found.empty());
}

} // namespace
} // namespace zed::test
