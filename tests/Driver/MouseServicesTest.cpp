// The registry objects of an adopted mouse on a real bus (the tests run under
// dbus-run-session): what they publish, who may set properties and hear
// messages (a fake authoriser says yes or no to the test's own uid, which the
// server learns from the bus), payloads refused whole, removal, and the
// agent's registry client registering its interest.
#include "Driver/MouseServices.h"

#include "Driver/Authoriser.h"
#include "Driver/DriverSettings.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/DBusRegistry.h"
#include "SimulatorHarness.h"

#include <atomic>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <queue>
#include <set>
#include <thread>
#include <unistd.h>

namespace zed::test {
namespace {

using driver::MouseIdentity;
using driver::MouseServices;
using registryserver::RegistryServer;

const MouseIdentity kMakersMouse{"Maker Mouse", 0x2F1A, 2, "/dev/input/event7", "/sys/x"};
const MouseIdentity kOtherMouse{"Other Optical Mouse", 0x046D, 0xC077, "/dev/input/event9",
                                "/sys/y"};

// Says yes to the uids it holds; every uid asked about is written down.
class FakeAuthoriser : public driver::Authoriser {
public:
    bool mayControl(uid_t uid) override {
        std::lock_guard lock(mutex_);
        asked_.push_back(uid);
        return allowed_.count(uid) > 0;
    }
    void allow(uid_t uid, bool yes) {
        std::lock_guard lock(mutex_);
        yes ? (void)allowed_.insert(uid) : (void)allowed_.erase(uid);
    }
    std::vector<uid_t> asked() const {
        std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    mutable std::mutex mutex_;
    std::set<uid_t> allowed_;
    std::vector<uid_t> asked_;
};

// A RegistryServer on its own connection and thread, as the driver serves;
// the test's blocking calls are answered meanwhile. Work on the server's
// objects is handed to that thread.
class ServerThread {
public:
    ~ServerThread() {
        if (thread_.joinable()) {
            onServer([this] {
                services_.clear();
                return 0;
            });
            stop_ = true;
            thread_.join();
        }
    }

    bool start(driver::Authoriser* authoriser) {
        std::promise<bool> ready;
        auto started = ready.get_future();
        thread_ = std::thread([this, authoriser, &ready] { run(authoriser, ready); });
        return started.get();
    }

    template <typename F> auto onServer(F f) -> decltype(f()) {
        std::packaged_task<decltype(f())()> task(std::move(f));
        auto result = task.get_future();
        {
            std::lock_guard lock(mutex_);
            tasks_.push([&task] { task(); });
        }
        return result.get();
    }

    // Publishes a mouse; its index for the calls below, or -1.
    int publish(const MouseIdentity& id) {
        return onServer([&] {
            auto m = MouseServices::publish(*server_, id,
                                            [this](const driver::DriverSettings&) { ++applied_; });
            if (!m) {
                return -1;
            }
            services_.push_back(std::move(m));
            return static_cast<int>(services_.size()) - 1;
        });
    }
    io_service_t driverOf(int mouse) {
        return onServer([&] { return services_.at(mouse)->driverService(); });
    }
    io_service_t deviceOf(int mouse) {
        return onServer([&] { return services_.at(mouse)->deviceService(); });
    }
    void send(int mouse, std::uint32_t word) {
        onServer([&] {
            services_.at(mouse)->sendMessage(word);
            return 0;
        });
    }
    void remove(int mouse) {
        onServer([&] {
            services_.at(mouse).reset();
            return 0;
        });
    }
    std::size_t serviceCount() {
        return onServer([&] { return server_->services().size(); });
    }
    std::size_t interestedIn(io_service_t service) {
        return onServer([&] {
            const auto* s = server_->service(service);
            return s ? s->interested().size() : 0u;
        });
    }
    int applied() const { return applied_; }

private:
    void run(driver::Authoriser* authoriser, std::promise<bool>& ready) {
        BusPtr bus = openBus(BusKind::Session);
        if (!bus) {
            ready.set_value(false);
            return;
        }
        RegistryServer server(bus.get());
        server_ = &server;
        if (authoriser) {
            server.setAuthorisation(
                [authoriser](uid_t uid) { return authoriser->mayControl(uid); });
        }
        const bool ok =
            server.serveObjectManager() && server.requestName(registrybus::kBusName) >= 0;
        ready.set_value(ok);
        while (ok && !stop_) {
            std::queue<std::function<void()>> tasks;
            {
                std::lock_guard lock(mutex_);
                std::swap(tasks, tasks_);
            }
            for (; !tasks.empty(); tasks.pop()) {
                tasks.front()();
            }
            int r = sd_bus_process(bus.get(), nullptr);
            if (r < 0) {
                break;
            }
            if (r == 0) {
                sd_bus_wait(bus.get(), 5'000);
            }
        }
        services_.clear();
        server_ = nullptr;
    }

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::queue<std::function<void()>> tasks_;
    RegistryServer* server_ = nullptr;
    std::vector<std::unique_ptr<MouseServices>> services_;
    std::atomic<int> applied_{0};
};

// One client connection of the test's own: calls, and the Message signals
// that reach it.
class Client {
public:
    bool open() {
        bus_ = openBus(BusKind::Session);
        if (!bus_) {
            return false;
        }
        sd_bus_slot* slot = nullptr;
        const std::string rule = std::string("type='signal',interface='") +
                                 registrybus::kServiceInterface + "',member='Message'";
        if (sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &onMessage, this) < 0) {
            return false;
        }
        match_.reset(slot);
        return true;
    }

    // A method of the service: the status of SetProperties ("0"), "" for a
    // method without an answer, or the D-Bus error's name.
    template <typename... Args>
    std::string call(io_service_t service, const char* member, const char* types, Args... args) {
        BusError error;
        sd_bus_message* raw = nullptr;
        int r = sd_bus_call_method(
            bus_.get(), registrybus::kBusName, registrybus::servicePath(service).c_str(),
            registrybus::kServiceInterface, member, error.get(), &raw, types, args...);
        MessagePtr reply(raw);
        if (r < 0) {
            return sd_bus_error_is_set(error.get()) ? error.get()->name : error.text(r);
        }
        std::int32_t status = 0;
        if (sd_bus_message_has_signature(reply.get(), "")) {
            return "";
        }
        return sd_bus_message_read(reply.get(), "i", &status) < 0 ? "unreadable reply"
                                                                  : std::to_string(status);
    }

    // SetProperties with a payload written by `append`; as call() answers.
    std::string setRaw(io_service_t service, const std::function<int(sd_bus_message*)>& append) {
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_call(bus_.get(), &raw, registrybus::kBusName,
                                               registrybus::servicePath(service).c_str(),
                                               registrybus::kServiceInterface, "SetProperties");
        MessagePtr m(raw);
        if (r < 0 || (r = append(m.get())) < 0) {
            return "cannot build the call";
        }
        BusError error;
        sd_bus_message* rawReply = nullptr;
        r = sd_bus_call(bus_.get(), m.get(), 0, error.get(), &rawReply);
        MessagePtr reply(rawReply);
        std::int32_t status = 0;
        if (r < 0) {
            return sd_bus_error_is_set(error.get()) ? error.get()->name : error.text(r);
        }
        return sd_bus_message_read(reply.get(), "i", &status) < 0 ? "unreadable reply"
                                                                  : std::to_string(status);
    }

    std::optional<Dictionary> properties(io_service_t service) {
        BusError error;
        sd_bus_message* raw = nullptr;
        int r = sd_bus_get_property(
            bus_.get(), registrybus::kBusName, registrybus::servicePath(service).c_str(),
            registrybus::kServiceInterface, "Properties", error.get(), &raw, "a{sv}");
        MessagePtr reply(raw);
        if (r < 0) {
            return std::nullopt;
        }
        std::string why;
        return readDictionary(reply.get(), &why);
    }

    // Every Message the bus has delivered so far. A round trip to the server
    // first: what it sent before answering has arrived by then.
    std::vector<std::uint32_t> messages(io_service_t service) {
        properties(service);
        while (sd_bus_process(bus_.get(), nullptr) > 0) {
        }
        return words_;
    }

    // Leaves the bus, as an agent that quits.
    void close() {
        match_.reset();
        bus_.reset();
    }

private:
    static int onMessage(sd_bus_message* m, void* userdata, sd_bus_error*) {
        std::uint32_t type = 0;
        std::uint64_t argument = 0;
        if (sd_bus_message_read(m, "ut", &type, &argument) >= 0) {
            static_cast<Client*>(userdata)->words_.push_back(type);
        }
        return 0;
    }

    BusPtr bus_;
    SlotPtr match_;
    std::vector<std::uint32_t> words_;
};

Dictionary sensitivity(double value) {
    return Dictionary{{"Sensitivity", Value(static_cast<std::int32_t>(value * 65536))}};
}

class MouseServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        ASSERT_TRUE(waitForOwnership(registrybus::kBusName, false)) << "another provider runs";
        ASSERT_TRUE(server_.start(withAuthoriser_ ? &authoriser_ : nullptr));
        ASSERT_TRUE(client_.open());
    }

    bool withAuthoriser_ = true;
    FakeAuthoriser authoriser_;
    ServerThread server_;
    Client client_;
};

TEST_F(MouseServicesTest, BothServicesShowThePresentedIdsAs64BitIntegers) {
    const int makers = server_.publish(kMakersMouse);
    const int other = server_.publish(kOtherMouse);
    ASSERT_GE(makers, 0);
    ASSERT_GE(other, 0);
    const Dictionary makersIds{{"idVendor", Value(std::int64_t{0x2F1A})},
                               {"idProduct", Value(std::int64_t{2})}};
    // Another maker's mouse is the seven-button model, and says what it is.
    const Dictionary otherIds{{"idVendor", Value(std::int64_t{0x2F1A})},
                              {"idProduct", Value(std::int64_t{1})},
                              {"ZEDSourceVendor", Value(std::int64_t{0x046D})},
                              {"ZEDSourceProduct", Value(std::int64_t{0xC077})},
                              {"ZEDSourceName", Value("Other Optical Mouse")}};
    for (auto [mouse, ids] : {std::pair{makers, makersIds}, std::pair{other, otherIds}}) {
        EXPECT_EQ(client_.properties(server_.driverOf(mouse)), ids);
        EXPECT_EQ(client_.properties(server_.deviceOf(mouse)), ids);
    }

    // The agent finds them as it finds the simulator's.
    RunLoop loop;
    DBusRegistry registry(attachedSessionBus(loop));
    std::vector<io_service_t> found;
    registry.getMatchingServices(driver::kDriverClassName, &found);
    EXPECT_EQ(found,
              (std::vector<io_service_t>{server_.driverOf(makers), server_.driverOf(other)}));
    registry.getMatchingServices(driver::kUsbDeviceClassName, &found);
    EXPECT_EQ(found,
              (std::vector<io_service_t>{server_.deviceOf(makers), server_.deviceOf(other)}));
}

TEST_F(MouseServicesTest, PropertiesOnlyFromAuthorisedCallers) {
    const int mouse = server_.publish(kMakersMouse);
    ASSERT_GE(mouse, 0);
    const io_service_t driver = server_.driverOf(mouse);
    const auto ids = client_.properties(driver);

    // Refused: an access-denied error, nothing shown or applied.
    authoriser_.allow(getuid(), false);
    EXPECT_EQ(client_.call(driver, "SetProperties", "a{sv}", 1, "Sensitivity", "i", 5 << 16),
              SD_BUS_ERROR_ACCESS_DENIED);
    EXPECT_EQ(client_.properties(driver), ids);
    EXPECT_EQ(server_.applied(), 0);
    // The uid asked about is the one the bus knows for this connection.
    EXPECT_EQ(authoriser_.asked(), std::vector<uid_t>{getuid()});

    // What the agent's registry client makes of it.
    {
        RunLoop loop;
        DBusRegistry registry(attachedSessionBus(loop));
        EXPECT_EQ(registry.setProperties(driver, sensitivity(5)), kIOReturnNotPrivileged);
    }

    // Allowed: applied and shown beside the ids.
    authoriser_.allow(getuid(), true);
    EXPECT_EQ(client_.call(driver, "SetProperties", "a{sv}", 1, "Sensitivity", "i", 5 << 16), "0");
    EXPECT_EQ(server_.applied(), 1);
    Dictionary shown = *ids;
    shown["Sensitivity"] = Value(std::int32_t{5 << 16});
    EXPECT_EQ(client_.properties(driver), shown);
    // The USB device takes none, whoever asks.
    EXPECT_EQ(client_.call(server_.deviceOf(mouse), "SetProperties", "a{sv}", 1, "Sensitivity", "i",
                           5 << 16),
              std::to_string(kIOReturnUnsupported));
}

TEST_F(MouseServicesTest, PayloadsOfTheWrongShapeAreRefusedWhole) {
    authoriser_.allow(getuid(), true);
    const int mouse = server_.publish(kOtherMouse);
    ASSERT_GE(mouse, 0);
    const io_service_t driver = server_.driverOf(mouse);
    ASSERT_EQ(client_.call(driver, "SetProperties", "a{sv}", 1, "Sensitivity", "i", 7 << 16), "0");
    const auto before = client_.properties(driver);

    auto mappings = [](std::size_t count, std::size_t size) {
        return Value(Array(count, Value(Data(size, 5))));
    };
    const Dictionary bad[] = {
        // A good key beside a bad one: neither is kept.
        {{"Sensitivity", Value("fast")}, {"ScrollWheelSpeed", Value(std::int32_t{3 << 16})}},
        {{"Sensitivity", Value(std::int32_t{3 << 16})}, {"ButtonMappings", Value("not an array")}},
        {{"Sensitivity", Value(std::int32_t{3 << 16})}, {"ButtonMappings", mappings(33, 1)}},
        {{"Sensitivity", Value(std::int32_t{3 << 16})}, {"ButtonMappings", mappings(7, 4097)}},
    };
    RunLoop loop;
    DBusRegistry registry(attachedSessionBus(loop));
    for (const Dictionary& d : bad) {
        EXPECT_EQ(registry.setProperties(driver, d), kIOReturnBadArgument);
    }
    EXPECT_EQ(client_.properties(driver), before);
    EXPECT_EQ(server_.applied(), 1);

    // The limits themselves are fine.
    EXPECT_EQ(registry.setProperties(driver, {{"ButtonMappings", mappings(32, 4096)}}),
              kIOReturnSuccess);
    EXPECT_EQ(server_.applied(), 2);
}

TEST_F(MouseServicesTest, MessagesGoOnlyToInterestedAuthorisedConnections) {
    authoriser_.allow(getuid(), true);
    const int mouse = server_.publish(kMakersMouse);
    ASSERT_GE(mouse, 0);
    const io_service_t driver = server_.driverOf(mouse);
    Client bystander;
    ASSERT_TRUE(bystander.open());
    ASSERT_EQ(client_.call(driver, "AddInterest", ""), "");

    server_.send(mouse, 0x0103);
    EXPECT_EQ(client_.messages(driver), std::vector<std::uint32_t>{0x0103});
    EXPECT_TRUE(bystander.messages(driver).empty());

    // Authorisation is asked at each message: the seat may change hands.
    authoriser_.allow(getuid(), false);
    server_.send(mouse, 0x0203);
    authoriser_.allow(getuid(), true);
    server_.send(mouse, 0x0303);
    EXPECT_EQ(client_.messages(driver), (std::vector<std::uint32_t>{0x0103, 0x0303}));
    EXPECT_TRUE(bystander.messages(driver).empty());

    // Interest ends with the connection.
    EXPECT_EQ(server_.interestedIn(driver), 1u);
    client_.close();
    EXPECT_TRUE(waitFor([&] { return server_.interestedIn(driver) == 0; }, 10));
}

TEST_F(MouseServicesTest, TheAgentsRegistryClientRegistersItsInterest) {
    authoriser_.allow(getuid(), true);
    const int mouse = server_.publish(kMakersMouse);
    ASSERT_GE(mouse, 0);
    const io_service_t driver = server_.driverOf(mouse);
    RunLoop loop;
    DBusRegistry registry(attachedSessionBus(loop));
    std::vector<std::uint32_t> words;
    NotificationPtr registration;
    ASSERT_EQ(registry.addInterestNotification(
                  driver,
                  [](void* refCon, io_service_t, std::uint32_t type, std::uint64_t) {
                      static_cast<std::vector<std::uint32_t>*>(refCon)->push_back(type);
                  },
                  &words, &registration),
              kIOReturnSuccess);
    EXPECT_EQ(server_.interestedIn(driver), 1u);
    server_.send(mouse, 0x0403);
    ASSERT_TRUE(runUntil(loop, [&] { return !words.empty(); }));
    EXPECT_EQ(words, std::vector<std::uint32_t>{0x0403});
}

TEST_F(MouseServicesTest, RemovalWithdrawsBothServices) {
    const int mouse = server_.publish(kMakersMouse);
    const int other = server_.publish(kOtherMouse);
    ASSERT_GE(mouse, 0);
    const io_service_t driver = server_.driverOf(mouse);
    const io_service_t device = server_.deviceOf(mouse);
    RunLoop loop;
    DBusRegistry registry(attachedSessionBus(loop));
    std::vector<io_service_t> found;
    registry.getMatchingServices(driver::kUsbDeviceClassName, &found);
    ASSERT_EQ(found.size(), 2u);

    server_.remove(mouse);
    EXPECT_EQ(server_.serviceCount(), 2u);
    EXPECT_FALSE(client_.properties(driver));
    EXPECT_FALSE(client_.properties(device));
    std::vector<io_service_t> drivers;
    ASSERT_TRUE(runUntil(loop, [&] {
        registry.getMatchingServices(driver::kUsbDeviceClassName, &found);
        registry.getMatchingServices(driver::kDriverClassName, &drivers);
        return found.size() == 1 && drivers.size() == 1;
    }));
    EXPECT_EQ(found, std::vector<io_service_t>{server_.deviceOf(other)});
    EXPECT_EQ(drivers, std::vector<io_service_t>{server_.driverOf(other)});
}

TEST_F(MouseServicesTest, ARefusedCallersPayloadIsNeverDecoded) {
    const int mouse = server_.publish(kMakersMouse);
    ASSERT_GE(mouse, 0);
    const io_service_t driver = server_.driverOf(mouse);
    authoriser_.allow(getuid(), false);
    // Not a property list's types: decoding it would refuse it as a bad
    // argument, but who sent it is asked first.
    EXPECT_EQ(client_.call(driver, "SetProperties", "a{sv}", 2, "Sensitivity", "i", 5 << 16, "Odd",
                           "u", 2u),
              SD_BUS_ERROR_ACCESS_DENIED);
    EXPECT_EQ(server_.applied(), 0);
}

// Payloads beyond the bounds the server decodes within.
struct OversizedCase {
    const char* name;
    std::function<int(sd_bus_message*)> append;
};

void PrintTo(const OversizedCase& c, std::ostream* os) {
    *os << c.name;
}

int appendEntries(sd_bus_message* m, int count) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    for (int i = 0; r >= 0 && i < count; ++i) {
        r = sd_bus_message_append(m, "{sv}", ("Extra" + std::to_string(i)).c_str(), "i", i);
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

int appendNested(sd_bus_message* m, int levels) {
    Value v(std::int32_t{1});
    for (int i = 0; i < levels; ++i) {
        v = Value(Dictionary{{"In", v}});
    }
    return appendDictionary(m, {{"Sensitivity", Value(std::int32_t{5 << 16})}, {"Deep", v}});
}

const std::string kLongText(registryserver::kSetPropertiesLimits.elementBytes + 1, 'x');

class OversizedPayloadTest : public MouseServicesTest,
                             public testing::WithParamInterface<OversizedCase> {};

TEST_P(OversizedPayloadTest, IsRefusedWholeAndChangesNothing) {
    const int mouse = server_.publish(kMakersMouse);
    ASSERT_GE(mouse, 0);
    const io_service_t driver = server_.driverOf(mouse);
    authoriser_.allow(getuid(), false);
    EXPECT_EQ(client_.setRaw(driver, GetParam().append), SD_BUS_ERROR_ACCESS_DENIED);
    authoriser_.allow(getuid(), true);
    const auto before = client_.properties(driver);
    EXPECT_EQ(client_.setRaw(driver, GetParam().append), std::to_string(kIOReturnBadArgument));
    EXPECT_EQ(client_.properties(driver), before);
    EXPECT_EQ(server_.applied(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OversizedPayloadTest,
    testing::Values(
        OversizedCase{"TooManyValues",
                      [](sd_bus_message* m) {
                          return appendEntries(
                              m, static_cast<int>(registryserver::kSetPropertiesLimits.values) + 1);
                      }},
        OversizedCase{"LongString",
                      [](sd_bus_message* m) {
                          return sd_bus_message_append(m, "a{sv}", 2, "Sensitivity", "i", 5 << 16,
                                                       "Name", "s", kLongText.c_str());
                      }},
        OversizedCase{"LongKey",
                      [](sd_bus_message* m) {
                          return sd_bus_message_append(m, "a{sv}", 2, "Sensitivity", "i", 5 << 16,
                                                       kLongText.c_str(), "i", 1);
                      }},
        OversizedCase{"LongByteArray",
                      [](sd_bus_message* m) {
                          return appendDictionary(
                              m, {{"Sensitivity", Value(std::int32_t{5 << 16})},
                                  {"Blob", Value(Data(kLongText.begin(), kLongText.end()))}});
                      }},
        OversizedCase{"NestedTooDeep",
                      [](sd_bus_message* m) {
                          return appendNested(m, registryserver::kSetPropertiesLimits.depth);
                      }}),
    [](const testing::TestParamInfo<OversizedCase>& info) { return std::string(info.param.name); });

// The simulator's way: no authorisation set, every interested caller served.
class UncheckedServerTest : public MouseServicesTest {
protected:
    UncheckedServerTest() { withAuthoriser_ = false; }
};

TEST_F(UncheckedServerTest, EveryInterestedCallerIsServed) {
    const int mouse = server_.publish(kMakersMouse);
    ASSERT_GE(mouse, 0);
    const io_service_t driver = server_.driverOf(mouse);
    EXPECT_EQ(client_.call(driver, "SetProperties", "a{sv}", 1, "Sensitivity", "i", 5 << 16), "0");
    Client bystander;
    ASSERT_TRUE(bystander.open());
    ASSERT_EQ(client_.call(driver, "AddInterest", ""), "");
    server_.send(mouse, 0x0503);
    EXPECT_EQ(client_.messages(driver), std::vector<std::uint32_t>{0x0503});
    EXPECT_TRUE(bystander.messages(driver).empty());
}

} // namespace
} // namespace zed::test
