#include "Platform/desktop/DesktopRegistry.h"

#include "FakeIOKit.h"

#include <gtest/gtest.h>

namespace zed::test {
using namespace zed;

namespace {

class RecordingTarget : public HidPropertyTarget {
public:
    IOReturn setProperties(const Dictionary& p) override {
        sets.push_back(p);
        return status;
    }
    Dictionary copyProperties() override { return properties; }
    std::vector<Dictionary> sets;
    Dictionary properties{{"HIDClickTime", Value(std::int64_t{500000000})}};
    IOReturn status = kIOReturnSuccess;
};

struct Counter {
    std::vector<io_service_t> seen;
    static void onMatch(void* refCon, ServiceIterator& it) {
        auto* self = static_cast<Counter*>(refCon);
        while (io_service_t s = it.next()) {
            self->seen.push_back(s);
        }
    }
    std::vector<std::pair<io_service_t, std::uint32_t>> messages;
    static void onMessage(void* refCon, io_service_t s, std::uint32_t type, std::uint64_t) {
        static_cast<Counter*>(refCon)->messages.emplace_back(s, type);
    }
};

std::vector<io_service_t> drain(ServiceIterator& it) {
    std::vector<io_service_t> out;
    while (io_service_t s = it.next()) {
        out.push_back(s);
    }
    return out;
}

class DesktopRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto fake = std::make_unique<FakeRegistry>();
        inner = fake.get();
        driver = inner->addService("com_tovik_driver_TovikCopperhoundDriver", {});
        registry = std::make_unique<DesktopRegistry>(std::move(fake), target);
    }
    std::shared_ptr<RecordingTarget> target = std::make_shared<RecordingTarget>();
    FakeRegistry* inner = nullptr;
    io_service_t driver = 0;
    std::unique_ptr<DesktopRegistry> registry;
};

// --- Lookups --------------------------------------------------------------

TEST_F(DesktopRegistryTest, TheHidSystemIsFoundBesideTheInnerServices) {
    std::vector<io_service_t> services;
    EXPECT_EQ(registry->getMatchingServices("IOHIDSystem", &services), kIOReturnSuccess);
    EXPECT_EQ(services, std::vector<io_service_t>{DesktopRegistry::kHidSystemService});
    EXPECT_EQ(registry->getMatchingServices("com_tovik_driver_TovikCopperhoundDriver", &services),
              kIOReturnSuccess);
    EXPECT_EQ(services, std::vector<io_service_t>{driver});
    EXPECT_NE(driver, DesktopRegistry::kHidSystemService);
}

TEST_F(DesktopRegistryTest, TheLocalHidSystemComesBeforeAnInnerOne) {
    const io_service_t other = inner->addService("IOHIDSystem", {});
    std::vector<io_service_t> services;
    registry->getMatchingServices("IOHIDSystem", &services);
    EXPECT_EQ(services, (std::vector<io_service_t>{DesktopRegistry::kHidSystemService, other}));
}

TEST_F(DesktopRegistryTest, AFailingInnerRegistryDoesNotHideTheHidSystem) {
    inner->setLookupStatus(kIOReturnNotResponding);
    std::vector<io_service_t> services;
    EXPECT_EQ(registry->getMatchingServices("IOHIDSystem", &services), kIOReturnSuccess);
    EXPECT_EQ(services, std::vector<io_service_t>{DesktopRegistry::kHidSystemService});
    EXPECT_EQ(registry->getMatchingServices("com_tovik_driver_TovikCopperhoundDriver", &services),
              kIOReturnNotResponding);
}

TEST(DesktopRegistryWithoutInner, StillHasTheHidSystem) {
    auto target = std::make_shared<RecordingTarget>();
    DesktopRegistry registry(nullptr, target);
    std::vector<io_service_t> services;
    EXPECT_EQ(registry.getMatchingServices("IOHIDSystem", &services), kIOReturnSuccess);
    EXPECT_EQ(services.size(), 1u);
    EXPECT_EQ(registry.getMatchingServices("Anything", &services), kIOReturnSuccess);
    EXPECT_TRUE(services.empty());
}

// --- Properties -----------------------------------------------------------

TEST_F(DesktopRegistryTest, PropertiesOfTheHidSystemGoToItsTargetOnly) {
    const Dictionary clickTime{{"HIDClickTime", Value(std::int64_t{600000000})}};
    EXPECT_EQ(registry->setProperties(DesktopRegistry::kHidSystemService, clickTime),
              kIOReturnSuccess);
    EXPECT_EQ(target->sets, std::vector<Dictionary>{clickTime});
    EXPECT_TRUE(inner->setCalls().empty());
    target->status = kIOReturnBadArgument;
    EXPECT_EQ(registry->setProperties(DesktopRegistry::kHidSystemService, {}),
              kIOReturnBadArgument);
}

TEST_F(DesktopRegistryTest, PropertiesOfOtherServicesGoToTheInnerRegistry) {
    const Dictionary sens{{"Sensitivity", Value(std::int32_t{655360})}};
    EXPECT_EQ(registry->setProperties(driver, sens), kIOReturnSuccess);
    ASSERT_EQ(inner->setCalls().size(), 1u);
    EXPECT_EQ(inner->setCalls()[0].service, driver);
    EXPECT_EQ(inner->setCalls()[0].properties, sens);
    EXPECT_TRUE(target->sets.empty());
    inner->failNextSet(kIOReturnNoDevice);
    EXPECT_EQ(registry->setProperties(driver, sens), kIOReturnNoDevice);
}

TEST_F(DesktopRegistryTest, CopyPropertiesReadsEachFromItsOwner) {
    EXPECT_EQ(registry->copyProperties(DesktopRegistry::kHidSystemService), target->properties);
    EXPECT_EQ(registry->copyProperties(driver), Dictionary{});
    EXPECT_FALSE(registry->copyProperties(0x7777));
}

// --- Notifications --------------------------------------------------------

TEST_F(DesktopRegistryTest, AFirstMatchForTheHidSystemStartsWithIt) {
    std::shared_ptr<ServiceIterator> it;
    NotificationPtr reg;
    Counter counter;
    EXPECT_EQ(registry->addMatchingNotification(MatchEvent::FirstMatch, "IOHIDSystem", {},
                                                &Counter::onMatch, &counter, &it, &reg),
              kIOReturnSuccess);
    ASSERT_TRUE(it);
    EXPECT_TRUE(reg);
    EXPECT_EQ(drain(*it), std::vector<io_service_t>{DesktopRegistry::kHidSystemService});
}

TEST_F(DesktopRegistryTest, MatchingPropertiesTheHidSystemLacksLeaveItOut) {
    std::shared_ptr<ServiceIterator> it;
    NotificationPtr reg;
    Counter counter;
    registry->addMatchingNotification(MatchEvent::FirstMatch, "IOHIDSystem",
                                      {{"HIDClickTime", Value(std::int64_t{1})}}, &Counter::onMatch,
                                      &counter, &it, &reg);
    ASSERT_TRUE(it);
    EXPECT_TRUE(drain(*it).empty());
    registry->addMatchingNotification(MatchEvent::Terminate, "IOHIDSystem", {}, &Counter::onMatch,
                                      &counter, &it, &reg);
    EXPECT_TRUE(drain(*it).empty());
}

TEST_F(DesktopRegistryTest, DriverArrivalAndRemovalStillReachTheWatchers) {
    std::shared_ptr<ServiceIterator> added, removed;
    NotificationPtr addReg, removeReg;
    Counter arrivals, removals;
    const std::string cls = "com_tovik_driver_TovikCopperhoundDriver";
    registry->addMatchingNotification(MatchEvent::FirstMatch, cls, {}, &Counter::onMatch, &arrivals,
                                      &added, &addReg);
    registry->addMatchingNotification(MatchEvent::Terminate, cls, {}, &Counter::onMatch, &removals,
                                      &removed, &removeReg);
    EXPECT_EQ(drain(*added), std::vector<io_service_t>{driver});
    drain(*removed);
    const io_service_t second = inner->addService(cls, {});
    inner->removeService(driver);
    EXPECT_EQ(arrivals.seen, std::vector<io_service_t>{second});
    EXPECT_EQ(removals.seen, std::vector<io_service_t>{driver});
}

TEST_F(DesktopRegistryTest, InterestInTheHidSystemIsAcceptedAndQuiet) {
    Counter counter;
    NotificationPtr reg;
    EXPECT_EQ(registry->addInterestNotification(DesktopRegistry::kHidSystemService,
                                                &Counter::onMessage, &counter, &reg),
              kIOReturnSuccess);
    EXPECT_TRUE(reg);
    NotificationPtr driverReg;
    EXPECT_EQ(registry->addInterestNotification(driver, &Counter::onMessage, &counter, &driverReg),
              kIOReturnSuccess);
    inner->sendMessage(driver, 0x1234);
    EXPECT_EQ(counter.messages,
              (std::vector<std::pair<io_service_t, std::uint32_t>>{{driver, 0x1234}}));
}

} // namespace
} // namespace zed::test
