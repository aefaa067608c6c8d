// The registry client against the simulated mouse on a real session bus.
#include "Platform/core/DriverInterface.h"
#include "Platform/dbus/DBusRegistry.h"
#include "Recorders.h"
#include "SimulatorHarness.h"

#include <gtest/gtest.h>

namespace zed::test {
namespace {

using driver::kDriverClassName;
using driver::kHidSystemClassName;
using driver::kUsbDeviceClassName;

Dictionary mouseIds(std::int32_t product) {
    return Dictionary{{"idVendor", Value(kTovikVendorId)}, {"idProduct", Value(product)}};
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        ASSERT_TRUE(simulator_.start()) << "zed-mouse-sim serve did not take its name";
        registry_ = std::make_unique<DBusRegistry>(attachedSessionBus(loop_));
    }
    void TearDown() override {
        registry_.reset();
        simulator_.stop();
    }

    // Plugs a mouse with the CLI and waits until the registry knows its driver.
    io_service_t plug(std::int32_t product = 1) {
        ProgramResult r = sim({"plug", "--product", std::to_string(product)});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const io_service_t id = static_cast<io_service_t>(std::stoul(r.out));
        EXPECT_TRUE(runUntil(loop_, [&] { return known(kUsbDeviceClassName, id + 1); }));
        return id;
    }
    bool known(const char* className, io_service_t id) {
        std::vector<io_service_t> services;
        registry_->getMatchingServices(className, &services);
        return std::find(services.begin(), services.end(), id) != services.end();
    }
    std::vector<io_service_t> services(const char* className) {
        std::vector<io_service_t> out;
        EXPECT_EQ(registry_->getMatchingServices(className, &out), kIOReturnSuccess);
        return out;
    }

    RunLoop loop_;
    SimulatorProcess simulator_;
    std::unique_ptr<DBusRegistry> registry_;
};

// --- Lookup and properties ---

TEST_F(RegistryTest, ListsServicesByClassInRegistryOrder) {
    EXPECT_EQ(services(kHidSystemClassName).size(), 1u);
    EXPECT_TRUE(services(kDriverClassName).empty());

    const io_service_t first = plug(1);
    const io_service_t second = plug(2);
    EXPECT_EQ(services(kDriverClassName), (std::vector<io_service_t>{first, second}));
    EXPECT_EQ(services(kUsbDeviceClassName), (std::vector<io_service_t>{first + 1, second + 1}));
    EXPECT_TRUE(services("NoSuchClass").empty());
}

TEST_F(RegistryTest, PropertiesKeepTheirTypes) {
    const io_service_t mouse = plug(2);
    auto properties = registry_->copyProperties(mouse);
    ASSERT_TRUE(properties);
    EXPECT_EQ(*properties, mouseIds(2)); // int32 numbers, compared strictly
    EXPECT_FALSE(registry_->copyProperties(9999));
}

TEST_F(RegistryTest, SetPropertiesReachTheDriverInOrderWithTheirTypes) {
    const io_service_t mouse = plug();
    EXPECT_EQ(
        registry_->setProperties(mouse, {{"Sensitivity", Value(std::int32_t{65536})},
                                         {"ButtonMappings", Value(Array{Value(Data{1, 2})})}}),
        kIOReturnSuccess);
    EXPECT_EQ(registry_->setProperties(mouse, {{"Accel", Value(0.5)}}), kIOReturnSuccess);

    ProgramResult shown = sim({"show", "driver"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    auto records = lines(shown.out);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0].find("\"Sensitivity\":{\"type\":\"int32\",\"value\":65536}"),
              std::string::npos)
        << records[0];
    EXPECT_NE(records[0].find("\"ButtonMappings\":{\"type\":\"array\",\"value\":[{\"type\":"
                              "\"data\",\"value\":\"0102\"}]}"),
              std::string::npos)
        << records[0];
    EXPECT_NE(records[1].find("\"Accel\":{\"type\":\"double\",\"value\":0.5}"), std::string::npos)
        << records[1];
    EXPECT_NE(records[1].find("\"driver\":" + std::to_string(mouse)), std::string::npos);
}

TEST_F(RegistryTest, FailNextFailsExactlyTheNextSet) {
    const io_service_t mouse = plug();
    ASSERT_EQ(sim({"fail-next", "0xe00002c0"}).exitCode, 0);
    EXPECT_EQ(registry_->setProperties(mouse, {{"Otfs", Value(std::int32_t{1})}}),
              kIOReturnNoDevice);
    EXPECT_EQ(registry_->setProperties(mouse, {{"Otfs", Value(std::int32_t{1})}}),
              kIOReturnSuccess);
    auto records = lines(sim({"show", "driver"}).out);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0].find("\"status\":-536870208"), std::string::npos) << records[0];
    EXPECT_NE(records[1].find("\"status\":0"), std::string::npos) << records[1];
}

// A step's properties go out without waiting for the driver: the statuses
// come back later, on the loop, in the order sent, failures included.
TEST_F(RegistryTest, PropertiesSentWithoutWaitingAnswerOnTheLoopInOrder) {
    const io_service_t mouse = plug();
    ASSERT_EQ(sim({"fail-next", "0xe00002c0"}).exitCode, 0);
    std::vector<IOReturn> statuses;
    for (std::int32_t value : {1, 2, 3}) {
        registry_->setPropertiesAsync(mouse, {{"Sensitivity", Value(value)}},
                                      [&](IOReturn status) { statuses.push_back(status); });
    }
    EXPECT_TRUE(statuses.empty()) << "answered before the loop ran";
    ASSERT_TRUE(runUntil(loop_, [&] { return statuses.size() == 3; }));
    EXPECT_EQ(statuses,
              (std::vector<IOReturn>{kIOReturnNoDevice, kIOReturnSuccess, kIOReturnSuccess}));
    const auto records = lines(sim({"show", "driver"}).out);
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NE(records[i].find("\"value\":" + std::to_string(i + 1) + "}"), std::string::npos)
            << records[i];
    }
    // A service the registry does not know is answered at once.
    registry_->setPropertiesAsync(9999, {}, [&](IOReturn status) { statuses.push_back(status); });
    ASSERT_EQ(statuses.size(), 4u);
    EXPECT_EQ(statuses.back(), kIOReturnNoDevice);
}

TEST_F(RegistryTest, AGoneServiceCannotBeReadOrSet) {
    const io_service_t mouse = plug();
    InterestLog before;
    NotificationPtr interest;
    ASSERT_EQ(registry_->addInterestNotification(mouse, &recordInterest, &before, &interest),
              kIOReturnSuccess);
    ASSERT_EQ(sim({"unplug"}).exitCode, 0);
    ASSERT_TRUE(runUntil(loop_, [&] { return services(kDriverClassName).empty(); }));
    EXPECT_EQ(registry_->setProperties(mouse, {{"Otfs", Value(std::int32_t{1})}}),
              kIOReturnNoDevice);
    EXPECT_FALSE(registry_->copyProperties(mouse));
    EXPECT_FALSE(interest->live()) << "a registration on a gone service is dead";
    NotificationPtr registration;
    InterestLog log;
    EXPECT_EQ(registry_->addInterestNotification(mouse, &recordInterest, &log, &registration),
              kIOReturnNoDevice);
}

// --- Matching notifications ---

TEST_F(RegistryTest, FirstMatchStartsWithExistingServicesThenTellsNewOnes) {
    const io_service_t one = plug(1);
    plug(2);
    MatchLog log;
    std::shared_ptr<ServiceIterator> iterator;
    NotificationPtr registration;
    ASSERT_EQ(registry_->addMatchingNotification(MatchEvent::FirstMatch, kUsbDeviceClassName,
                                                 mouseIds(1), &recordMatches, &log, &iterator,
                                                 &registration),
              kIOReturnSuccess);
    EXPECT_EQ(drain(*iterator), std::vector<io_service_t>{one + 1});
    EXPECT_EQ(log.calls, 0); // existing services are for the caller to drain

    plug(2); // not a match
    const io_service_t three = plug(1);
    EXPECT_EQ(log.services, std::vector<io_service_t>{three + 1});
}

TEST_F(RegistryTest, IntegersMatchWhateverTheirWidth) {
    const io_service_t mouse = plug(1);
    const Dictionary wide{{"idVendor", Value(std::int64_t{kTovikVendorId})},
                          {"idProduct", Value(std::int64_t{1})}};
    std::shared_ptr<ServiceIterator> iterator;
    NotificationPtr registration;
    MatchLog log;
    ASSERT_EQ(registry_->addMatchingNotification(MatchEvent::FirstMatch, kUsbDeviceClassName, wide,
                                                 &recordMatches, &log, &iterator, &registration),
              kIOReturnSuccess);
    EXPECT_EQ(drain(*iterator), std::vector<io_service_t>{mouse + 1});
    // A real with the same value is not an integer match.
    const Dictionary real{{"idProduct", Value(1.0)}};
    std::shared_ptr<ServiceIterator> realIterator;
    NotificationPtr realRegistration;
    registry_->addMatchingNotification(MatchEvent::FirstMatch, kUsbDeviceClassName, real,
                                       &recordMatches, &log, &realIterator, &realRegistration);
    EXPECT_TRUE(drain(*realIterator).empty());
}

TEST_F(RegistryTest, TerminateTellsRemovalOfMatchingServicesOnly) {
    const io_service_t one = plug(1);
    const io_service_t two = plug(2);
    MatchLog product1, product2;
    std::shared_ptr<ServiceIterator> it1, it2;
    NotificationPtr reg1, reg2;
    registry_->addMatchingNotification(MatchEvent::Terminate, kUsbDeviceClassName, mouseIds(1),
                                       &recordMatches, &product1, &it1, &reg1);
    registry_->addMatchingNotification(MatchEvent::Terminate, kUsbDeviceClassName, mouseIds(2),
                                       &recordMatches, &product2, &it2, &reg2);
    EXPECT_TRUE(drain(*it1).empty()); // nothing has terminated yet

    ASSERT_EQ(sim({"unplug", std::to_string(two)}).exitCode, 0);
    ASSERT_TRUE(runUntil(loop_, [&] { return !product2.services.empty(); }));
    EXPECT_EQ(product2.services, std::vector<io_service_t>{two + 1});
    EXPECT_TRUE(product1.services.empty());

    ASSERT_EQ(sim({"unplug"}).exitCode, 0); // the last one still plugged
    ASSERT_TRUE(runUntil(loop_, [&] { return !product1.services.empty(); }));
    EXPECT_EQ(product1.services, std::vector<io_service_t>{one + 1});
}

// The agent looks the driver up from the device callbacks: on arrival it must
// already be listed, on removal already gone.
struct DriverSeen {
    DBusRegistry* registry;
    std::vector<bool> driverListed;
};
void noteDriver(void* refCon, ServiceIterator& iterator) {
    auto* seen = static_cast<DriverSeen*>(refCon);
    if (drain(iterator).empty()) {
        return;
    }
    std::vector<io_service_t> drivers;
    seen->registry->getMatchingServices(kDriverClassName, &drivers);
    seen->driverListed.push_back(!drivers.empty());
}

TEST_F(RegistryTest, DeviceArrivalFindsItsDriverAndRemovalDoesNot) {
    DriverSeen arrived{registry_.get(), {}}, removed{registry_.get(), {}};
    std::shared_ptr<ServiceIterator> a, r;
    NotificationPtr ra, rr;
    registry_->addMatchingNotification(MatchEvent::FirstMatch, kUsbDeviceClassName, mouseIds(1),
                                       &noteDriver, &arrived, &a, &ra);
    registry_->addMatchingNotification(MatchEvent::Terminate, kUsbDeviceClassName, mouseIds(1),
                                       &noteDriver, &removed, &r, &rr);
    plug(1);
    ASSERT_EQ(sim({"unplug"}).exitCode, 0);
    ASSERT_TRUE(runUntil(loop_, [&] { return !removed.driverListed.empty(); }));
    EXPECT_EQ(arrived.driverListed, std::vector<bool>{true});
    EXPECT_EQ(removed.driverListed, std::vector<bool>{false});
}

TEST_F(RegistryTest, DroppedRegistrationHearsNothingMore) {
    MatchLog dropped, kept;
    std::shared_ptr<ServiceIterator> i1, i2;
    NotificationPtr r1, r2;
    registry_->addMatchingNotification(MatchEvent::FirstMatch, kDriverClassName, {}, &recordMatches,
                                       &dropped, &i1, &r1);
    registry_->addMatchingNotification(MatchEvent::FirstMatch, kDriverClassName, {}, &recordMatches,
                                       &kept, &i2, &r2);
    r1.reset();
    const io_service_t mouse = plug();
    EXPECT_EQ(kept.services, std::vector<io_service_t>{mouse});
    EXPECT_TRUE(dropped.services.empty());
}

// --- General-interest messages ---

TEST_F(RegistryTest, MessagesArriveOncePerRegistrationAndOnlyForTheirService) {
    const io_service_t a = plug(1);
    const io_service_t b = plug(2);
    InterestLog first, second, other;
    NotificationPtr r1, r2, r3;
    ASSERT_EQ(registry_->addInterestNotification(a, &recordInterest, &first, &r1), 0);
    ASSERT_EQ(registry_->addInterestNotification(a, &recordInterest, &second, &r2), 0);
    ASSERT_EQ(registry_->addInterestNotification(b, &recordInterest, &other, &r3), 0);

    ASSERT_EQ(sim({"message", "0x101", "--to", std::to_string(a)}).exitCode, 0);
    ASSERT_EQ(sim({"message", "514", "--argument", "7"}).exitCode, 0); // the last plugged: b
    ASSERT_TRUE(runUntil(loop_, [&] { return !other.messages.empty(); }));

    for (const InterestLog* log : {&first, &second}) {
        ASSERT_EQ(log->messages.size(), 1u);
        EXPECT_EQ(log->messages[0].service, a);
        EXPECT_EQ(log->messages[0].type, 0x101u);
        EXPECT_EQ(log->messages[0].argument, 0u);
    }
    ASSERT_EQ(other.messages.size(), 1u);
    EXPECT_EQ(other.messages[0].type, 514u);
    EXPECT_EQ(other.messages[0].argument, 7u);
}

TEST_F(RegistryTest, PressBuildsTheDriverMessageWord) {
    const io_service_t mouse = plug();
    InterestLog log;
    NotificationPtr registration;
    registry_->addInterestNotification(mouse, &recordInterest, &log, &registration);
    ProgramResult r = sim({"press", "3", "--step", "down", "--end"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(sim({"press", "7", "--advanced", "--begin", "--step", "up"}).exitCode, 0);
    ASSERT_TRUE(runUntil(loop_, [&] { return log.messages.size() == 2; }));
    EXPECT_EQ(log.messages[0].type, 0x402FFu); // end bit, button index 2, step 255
    EXPECT_EQ(log.messages[1].type, 0x30601u); // begin and advanced bits, index 6, step 1
    EXPECT_EQ(r.out, "0x000402ff\n");
}

TEST_F(RegistryTest, SpoofedSignalsFromAnotherConnectionAreIgnored) {
    const io_service_t mouse = plug();
    InterestLog log;
    NotificationPtr registration;
    registry_->addInterestNotification(mouse, &recordInterest, &log, &registration);
    MatchLog arrivals;
    std::shared_ptr<ServiceIterator> iterator;
    NotificationPtr arrivalRegistration;
    registry_->addMatchingNotification(MatchEvent::FirstMatch, kUsbDeviceClassName, {},
                                       &recordMatches, &arrivals, &iterator, &arrivalRegistration);
    drain(*iterator);

    // Count what reaches the registry's own connection, spoofs included, so
    // the test knows when they have been dispatched.
    int seen = 0;
    sd_bus_slot* raw = nullptr;
    ASSERT_GE(sd_bus_add_match(
                  registry_->bus(), &raw, "type='signal',path_namespace='/com/tovik/IORegistry'",
                  [](sd_bus_message*, void* userdata, sd_bus_error*) {
                      ++*static_cast<int*>(userdata);
                      return 0;
                  },
                  &seen),
              0);
    SlotPtr observer(raw);

    const std::string path = "/com/tovik/IORegistry/service/" + std::to_string(mouse);
    ProgramResult spoof =
        runProgram({"/usr/bin/gdbus", "emit", "--session", "--object-path", path, "--signal",
                    "com.tovik.IOService.Message", "uint32 258", "uint64 0"});
    ASSERT_EQ(spoof.exitCode, 0) << spoof.err;
    ProgramResult fakeArrival = runProgram(
        {"/usr/bin/gdbus", "emit", "--session", "--object-path", "/com/tovik/IORegistry",
         "--signal", "org.freedesktop.DBus.ObjectManager.InterfacesAdded",
         "objectpath '/com/tovik/IORegistry/service/77'",
         "{'com.tovik.IOService': {'ClassName': <'IOUSBDevice'>, 'Properties': <{'idVendor': "
         "<int32 12058>, 'idProduct': <int32 1>}>}}"});
    ASSERT_EQ(fakeArrival.exitCode, 0) << fakeArrival.err;
    ASSERT_TRUE(runUntil(loop_, [&] { return seen >= 2; }));
    EXPECT_TRUE(log.messages.empty());
    EXPECT_TRUE(arrivals.services.empty());
    EXPECT_FALSE(known(kUsbDeviceClassName, 77));

    // The real provider is still heard.
    ASSERT_EQ(sim({"message", "3"}).exitCode, 0);
    ASSERT_TRUE(runUntil(loop_, [&] { return !log.messages.empty(); }));
    EXPECT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].type, 3u);
}

// --- The provider going away and coming back ---

TEST_F(RegistryTest, ProviderRestartTerminatesEverythingThenServicesArriveAgain) {
    const io_service_t mouse = plug(1);
    InterestLog oldInterest;
    NotificationPtr oldRegistration;
    registry_->addInterestNotification(mouse, &recordInterest, &oldInterest, &oldRegistration);
    ASSERT_TRUE(oldRegistration);
    EXPECT_TRUE(oldRegistration->live());

    MatchLog hidGone, usbGone, hidBack, usbBack;
    std::shared_ptr<ServiceIterator> i1, i2, i3, i4;
    NotificationPtr r1, r2, r3, r4;
    registry_->addMatchingNotification(MatchEvent::Terminate, kHidSystemClassName, {},
                                       &recordMatches, &hidGone, &i1, &r1);
    registry_->addMatchingNotification(MatchEvent::Terminate, kUsbDeviceClassName, mouseIds(1),
                                       &recordMatches, &usbGone, &i2, &r2);
    registry_->addMatchingNotification(MatchEvent::FirstMatch, kHidSystemClassName, {},
                                       &recordMatches, &hidBack, &i3, &r3);
    registry_->addMatchingNotification(MatchEvent::FirstMatch, kUsbDeviceClassName, mouseIds(1),
                                       &recordMatches, &usbBack, &i4, &r4);
    drain(*i3);
    drain(*i4);

    ASSERT_TRUE(simulator_.stop(SIGKILL));
    // The bus has dropped the provider (asked on a connection of its own),
    // and the registry has not heard of it yet: its loop has not run since.
    ASSERT_TRUE(waitFor([] { return !nameHasOwner(registrybus::kBusName); }, 10));
    // The call finds the provider gone, which ends its services at once,
    // said once.
    testing::internal::CaptureStderr();
    EXPECT_EQ(registry_->setProperties(mouse, {{"Otfs", Value(std::int32_t{1})}}),
              kIOReturnNoDevice);
    EXPECT_FALSE(hidGone.services.empty());
    EXPECT_EQ(registry_->setProperties(mouse, {{"Otfs", Value(std::int32_t{1})}}),
              kIOReturnNoDevice);
    ASSERT_TRUE(
        runUntil(loop_, [&] { return !hidGone.services.empty() && !usbGone.services.empty(); }));
    runUntil(loop_, [&] { return registry_->provider().empty(); });
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("left the bus"), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
    EXPECT_EQ(usbGone.services, std::vector<io_service_t>{mouse + 1});
    EXPECT_TRUE(services(kHidSystemClassName).empty());
    EXPECT_TRUE(services(kDriverClassName).empty());
    EXPECT_TRUE(registry_->provider().empty());
    EXPECT_FALSE(oldRegistration->live()) << "its provider left: it can hear nothing more";

    ASSERT_TRUE(simulator_.start());
    ASSERT_TRUE(runUntil(loop_, [&] { return !hidBack.services.empty(); }));
    EXPECT_EQ(services(kHidSystemClassName).size(), 1u);

    // The new provider numbers its services afresh: the same handle is a new
    // service, and the old registration hears nothing of it.
    const io_service_t again = plug(1);
    EXPECT_EQ(again, mouse);
    EXPECT_EQ(usbBack.services, std::vector<io_service_t>{again + 1});
    InterestLog newInterest;
    NotificationPtr newRegistration;
    ASSERT_EQ(
        registry_->addInterestNotification(again, &recordInterest, &newInterest, &newRegistration),
        kIOReturnSuccess);
    EXPECT_TRUE(newRegistration->live());
    EXPECT_FALSE(oldRegistration->live()) << "the handle came back, the registration did not";
    ASSERT_EQ(sim({"message", "5"}).exitCode, 0);
    ASSERT_TRUE(runUntil(loop_, [&] { return !newInterest.messages.empty(); }));
    EXPECT_EQ(newInterest.messages.size(), 1u);
    EXPECT_EQ(newInterest.messages[0].service, again);
    EXPECT_EQ(newInterest.messages[0].type, 5u);
    EXPECT_TRUE(oldInterest.messages.empty());
}

TEST_F(RegistryTest, WithoutAProviderThereAreNoServicesUntilOneAppears) {
    ASSERT_TRUE(simulator_.stop());
    registry_ = std::make_unique<DBusRegistry>(attachedSessionBus(loop_));
    EXPECT_TRUE(services(kHidSystemClassName).empty());
    EXPECT_EQ(registry_->setProperties(1, {}), kIOReturnNoDevice);

    MatchLog arrivals;
    std::shared_ptr<ServiceIterator> iterator;
    NotificationPtr registration;
    registry_->addMatchingNotification(MatchEvent::FirstMatch, kHidSystemClassName, {},
                                       &recordMatches, &arrivals, &iterator, &registration);
    EXPECT_TRUE(drain(*iterator).empty());
    ASSERT_TRUE(simulator_.start());
    ASSERT_TRUE(runUntil(loop_, [&] { return !arrivals.services.empty(); }));
    EXPECT_EQ(arrivals.services, std::vector<io_service_t>{1});
    EXPECT_FALSE(registry_->provider().empty());
}

TEST(RegistryWithoutBus, HasNoServices) {
    DBusRegistry registry(nullptr);
    std::vector<io_service_t> services{7};
    EXPECT_EQ(registry.getMatchingServices(driver::kHidSystemClassName, &services), 0);
    EXPECT_TRUE(services.empty());
    EXPECT_EQ(registry.setProperties(1, {}), kIOReturnNoDevice);
    std::shared_ptr<ServiceIterator> iterator;
    NotificationPtr registration;
    MatchLog log;
    EXPECT_EQ(registry.addMatchingNotification(MatchEvent::FirstMatch, "IOUSBDevice", {},
                                               &recordMatches, &log, &iterator, &registration),
              kIOReturnSuccess);
    EXPECT_TRUE(drain(*iterator).empty());
}

} // namespace
} // namespace zed::test
