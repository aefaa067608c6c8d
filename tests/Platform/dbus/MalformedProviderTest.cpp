// The registry client against a provider of our own that answers with the
// wrong types, hangs, vanishes mid-call and sends malformed signals.
#include "Platform/core/UsbIds.h"
#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/DBusRegistry.h"
#include "Recorders.h"
#include "SimulatorHarness.h"

#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace zed::test {
namespace {

using namespace registrybus;

constexpr const char* kManagerInterface = "org.freedesktop.DBus.ObjectManager";

// a{sa{sv}} holding one com.tovik.IOService interface.
int appendServiceInterfaces(sd_bus_message* m, const Value& className, const Value& properties) {
    int r = sd_bus_message_open_container(m, 'a', "{sa{sv}}");
    if (r >= 0) {
        r = sd_bus_message_open_container(m, 'e', "sa{sv}");
    }
    if (r >= 0) {
        r = sd_bus_message_append_basic(m, 's', kServiceInterface);
    }
    if (r >= 0) {
        r = sd_bus_message_open_container(m, 'a', "{sv}");
    }
    const std::pair<const char*, const Value*> entries[] = {{"ClassName", &className},
                                                            {"Properties", &properties}};
    for (const auto& [key, value] : entries) {
        if (r >= 0) {
            r = sd_bus_message_open_container(m, 'e', "sv");
        }
        if (r >= 0) {
            r = sd_bus_message_append_basic(m, 's', key);
        }
        if (r >= 0) {
            r = appendVariant(m, *value);
        }
        if (r >= 0) {
            r = sd_bus_message_close_container(m);
        }
    }
    for (int i = 0; i < 3 && r >= 0; ++i) {
        r = sd_bus_message_close_container(m);
    }
    return r;
}

const Dictionary kMouse{{"idVendor", Value(kTovikVendorId)}, {"idProduct", Value(std::int32_t{1})}};

// Serves com.tovik.IORegistry from its own thread and connection.
class BadProvider {
public:
    bool start() {
        sd_bus* raw = nullptr;
        if (sd_bus_open_user(&raw) < 0) {
            return false;
        }
        bus_.reset(raw);
        sd_bus_slot* slot = nullptr;
        if (sd_bus_add_filter(bus_.get(), &slot, &onMessage, this) < 0) {
            return false;
        }
        filter_.reset(slot);
        if (sd_bus_request_name(bus_.get(), kBusName, 0) < 0) {
            return false;
        }
        thread_ = std::thread([this] { run(); });
        return true;
    }
    ~BadProvider() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        filter_.reset();
        bus_.reset();
    }

private:
    void run() {
        while (!stop_ && !vanish_) {
            int r = sd_bus_process(bus_.get(), nullptr);
            if (r < 0) {
                break;
            }
            if (r == 0) {
                sd_bus_wait(bus_.get(), 50000);
            }
        }
        if (vanish_) {
            filter_.reset();
            bus_.reset(); // gone without answering
        }
    }

    static int onMessage(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<BadProvider*>(userdata);
        std::uint8_t type = 0;
        if (sd_bus_message_get_type(m, &type) < 0 || type != SD_BUS_MESSAGE_METHOD_CALL) {
            return 0;
        }
        const std::string path = sd_bus_message_get_path(m) ? sd_bus_message_get_path(m) : "";
        const char* member = sd_bus_message_get_member(m);
        if (!member) {
            return 0;
        }
        sd_bus* bus = self->bus_.get();
        if (std::strcmp(member, "GetManagedObjects") == 0) {
            return self->replyObjects(m);
        }
        if (std::strcmp(member, "Get") == 0) {
            ++self->gets_;
            return sd_bus_reply_method_return(m, "v", "s", "not a dictionary");
        }
        if (std::strcmp(member, "SetProperties") == 0) {
            if (path == servicePath(1)) {
                return sd_bus_reply_method_return(m, "s", "wrong");
            }
            if (path == servicePath(3)) {
                return 1; // never answers
            }
            if (path == servicePath(4)) {
                self->vanish_ = true;
                return 1;
            }
        }
        if (std::strcmp(member, "Poke") == 0) {
            // Malformed signals first, then a good one the test waits for.
            const std::string one = servicePath(1);
            sd_bus_emit_signal(bus, one.c_str(), kServiceInterface, "Message", "s", "oops");
            sd_bus_emit_signal(bus, one.c_str(), kServiceInterface, "Message", "u", 8u);
            sd_bus_emit_signal(bus, kManagerPath, kManagerInterface, "InterfacesAdded", "s", "x");
            self->emitAdded(6, Value("IOUSBDevice"), Value(std::int32_t{5}));
            Dictionary huge = kMouse;
            huge["Blob"] = Value(Data(kMaxPropertiesBytes + 1, 0xAB));
            self->emitAdded(7, Value("IOUSBDevice"), Value(huge));
            self->emitAdded(8, Value(std::int32_t{3}), Value(kMouse));
            sd_bus_emit_signal(bus, one.c_str(), kServiceInterface, "Message", "ut", 9u,
                               std::uint64_t{0});
            return sd_bus_reply_method_return(m, "");
        }
        return 0;
    }

    void emitAdded(io_service_t id, const Value& className, const Value& properties) {
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_signal(bus_.get(), &raw, kManagerPath, kManagerInterface,
                                          "InterfacesAdded");
        MessagePtr m(raw);
        if (r >= 0) {
            r = sd_bus_message_append(m.get(), "o", servicePath(id).c_str());
        }
        if (r >= 0) {
            r = appendServiceInterfaces(m.get(), className, properties);
        }
        if (r >= 0) {
            sd_bus_send(bus_.get(), m.get(), nullptr);
        }
    }

    int replyObjects(sd_bus_message* call) {
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_return(call, &raw);
        MessagePtr m(raw);
        struct Object {
            std::string path;
            Value className;
            Value properties;
        };
        const Object objects[] = {
            {servicePath(1), Value("IOUSBDevice"), Value(kMouse)},
            {servicePath(2), Value("IOUSBDevice"), Value("Properties that are a string")},
            {servicePath(3), Value("Hang"), Value(Dictionary{})},
            {servicePath(4), Value("Vanish"), Value(Dictionary{})},
            {std::string(kServicePathPrefix) + "05", Value("BadPath"), Value(Dictionary{})},
        };
        if (r >= 0) {
            r = sd_bus_message_open_container(m.get(), 'a', "{oa{sa{sv}}}");
        }
        for (const Object& o : objects) {
            if (r >= 0) {
                r = sd_bus_message_open_container(m.get(), 'e', "oa{sa{sv}}");
            }
            if (r >= 0) {
                r = sd_bus_message_append_basic(m.get(), 'o', o.path.c_str());
            }
            if (r >= 0) {
                r = appendServiceInterfaces(m.get(), o.className, o.properties);
            }
            if (r >= 0) {
                r = sd_bus_message_close_container(m.get());
            }
        }
        if (r >= 0) {
            r = sd_bus_message_close_container(m.get());
        }
        if (r >= 0) {
            r = sd_bus_send(bus_.get(), m.get(), nullptr);
        }
        return r < 0 ? r : 1;
    }

public:
    // Properties.Get calls seen; the client should never need one.
    std::atomic<int> gets_{0};

private:
    BusPtr bus_;
    SlotPtr filter_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> vanish_{false};
};

class MalformedProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        ASSERT_TRUE(waitForOwnership(kBusName, false)) << "another provider is running";
        ASSERT_TRUE(provider_.start());
        // Short calls: the hanging provider must not hold the test up.
        registry_ = std::make_unique<DBusRegistry>(attachedSessionBus(loop_), 500'000);
    }

    std::vector<io_service_t> services(const char* className) {
        std::vector<io_service_t> out;
        registry_->getMatchingServices(className, &out);
        return out;
    }

    RunLoop loop_;
    std::unique_ptr<DBusRegistry> registry_;
    BadProvider provider_; // destroyed first: the registry then sees it leave
};

TEST_F(MalformedProviderTest, MalformedServicesInTheListAreSkipped) {
    EXPECT_EQ(services("IOUSBDevice"), std::vector<io_service_t>{1});
    EXPECT_EQ(services("Hang"), std::vector<io_service_t>{3});
    EXPECT_TRUE(services("BadPath").empty());
}

// Properties are constant: they come from the service list, and a provider
// that would answer a read with garbage is never asked.
TEST_F(MalformedProviderTest, PropertiesComeFromTheListWithoutACall) {
    EXPECT_EQ(registry_->copyProperties(1), kMouse);
    EXPECT_EQ(registry_->copyProperties(3), Dictionary{});
    EXPECT_FALSE(registry_->copyProperties(2));
    EXPECT_EQ(provider_.gets_, 0);
}

TEST_F(MalformedProviderTest, WrongReplyTypesBecomeStatuses) {
    EXPECT_EQ(registry_->setProperties(1, kMouse), kIOReturnIPCError);
}

TEST_F(MalformedProviderTest, AProviderThatDoesNotAnswerTimesOut) {
    EXPECT_EQ(registry_->setProperties(3, {}), kIOReturnTimeout);
}

TEST_F(MalformedProviderTest, AProviderThatVanishesMidCallIsNotResponding) {
    MatchLog gone;
    std::shared_ptr<ServiceIterator> iterator;
    NotificationPtr registration;
    registry_->addMatchingNotification(MatchEvent::Terminate, "IOUSBDevice", {}, &recordMatches,
                                       &gone, &iterator, &registration);
    EXPECT_EQ(registry_->setProperties(4, {}), kIOReturnNotResponding);
    ASSERT_TRUE(runUntil(loop_, [&] { return !gone.services.empty(); }));
    EXPECT_EQ(gone.services, std::vector<io_service_t>{1});
    EXPECT_TRUE(services("Hang").empty());
}

TEST_F(MalformedProviderTest, MalformedSignalsAreIgnored) {
    InterestLog log;
    NotificationPtr interest;
    ASSERT_EQ(registry_->addInterestNotification(1, &recordInterest, &log, &interest), 0);
    MatchLog arrivals;
    std::shared_ptr<ServiceIterator> iterator;
    NotificationPtr registration;
    registry_->addMatchingNotification(MatchEvent::FirstMatch, "IOUSBDevice", {}, &recordMatches,
                                       &arrivals, &iterator, &registration);
    drain(*iterator);

    BusPtr poker = openBus(BusKind::Session);
    ASSERT_TRUE(poker);
    BusError error;
    sd_bus_message* reply = nullptr;
    ASSERT_GE(sd_bus_call_method(poker.get(), kBusName, kManagerPath, "test.Fake", "Poke",
                                 error.get(), &reply, ""),
              0)
        << error.text(0);
    MessagePtr owned(reply);
    ASSERT_TRUE(runUntil(loop_, [&] { return !log.messages.empty(); }));
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0].type, 9u);
    EXPECT_TRUE(arrivals.services.empty());
    EXPECT_EQ(services("IOUSBDevice"), std::vector<io_service_t>{1});
}

} // namespace
} // namespace zed::test
