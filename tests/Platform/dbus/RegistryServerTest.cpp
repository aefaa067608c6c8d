// The registry server library serving from a second connection beside
// zed-mouse-sim, as a driver on another bus would, and its SetProperties
// checks at the bus boundary.
#include "Platform/dbus/RegistryServer.h"

#include "Platform/core/DriverInterface.h"
#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/DBusRegistry.h"
#include "SimulatorHarness.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace zed::test {
namespace {

using registryserver::RegistryServer;
using registryserver::ServiceObject;

constexpr const char* kSecondName = "com.tovik.IORegistry.Second";
constexpr const char* kSecondClass = "SecondServerDriver";

Dictionary secondIds() {
    return Dictionary{{"idVendor", Value(std::int32_t{7})}, {"idProduct", Value(std::int32_t{9})}};
}

// A RegistryServer on its own connection, driven by its own thread so that
// the test's blocking calls are answered. One service of kSecondClass; what
// its SetProperties hook receives is kept.
class SecondServer {
public:
    ~SecondServer() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    bool start() {
        std::promise<bool> ready;
        auto started = ready.get_future();
        thread_ = std::thread([this, &ready] { run(ready); });
        return started.get();
    }

    std::vector<Dictionary> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    void run(std::promise<bool>& ready) {
        BusPtr bus = openBus(BusKind::Session);
        if (!bus) {
            ready.set_value(false);
            return;
        }
        RegistryServer server(bus.get());
        const bool ok = server.serveObjectManager() &&
                        server.addService(kSecondClass, secondIds(),
                                          [this](const ServiceObject&, const Dictionary& d) {
                                              std::lock_guard lock(mutex_);
                                              received_.push_back(d);
                                              return kIOReturnSuccess;
                                          }) != nullptr &&
                        server.requestName(kSecondName) >= 0;
        ready.set_value(ok);
        while (ok && !stop_) {
            int r = sd_bus_process(bus.get(), nullptr);
            if (r < 0) {
                break;
            }
            if (r == 0) {
                sd_bus_wait(bus.get(), 50'000);
            }
        }
    }

    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Dictionary> received_;
};

class RegistryServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        client_ = openBus(BusKind::Session);
        ASSERT_TRUE(client_);
        ASSERT_TRUE(second_.start()) << "the second server did not take " << kSecondName;
    }

    std::optional<Dictionary> secondProperties() {
        BusError error;
        sd_bus_message* raw = nullptr;
        int r = sd_bus_get_property(client_.get(), kSecondName, registrybus::servicePath(1).c_str(),
                                    registrybus::kServiceInterface, "Properties", error.get(), &raw,
                                    "a{sv}");
        MessagePtr reply(raw);
        if (r < 0) {
            ADD_FAILURE() << error.text(r);
            return std::nullopt;
        }
        std::string why;
        auto d = readDictionary(reply.get(), &why);
        EXPECT_TRUE(d) << why;
        return d;
    }

    // SetProperties on the second server's service, with whatever payload
    // `types` and the arguments say; the status, or the D-Bus error's name.
    template <typename... Args> std::string setProperties(const char* types, Args... args) {
        BusError error;
        sd_bus_message* raw = nullptr;
        int r = sd_bus_call_method(client_.get(), kSecondName, registrybus::servicePath(1).c_str(),
                                   registrybus::kServiceInterface, "SetProperties", error.get(),
                                   &raw, types, args...);
        MessagePtr reply(raw);
        if (r < 0) {
            return sd_bus_error_is_set(error.get()) ? error.get()->name : error.text(r);
        }
        std::int32_t status = -1;
        r = sd_bus_message_read(reply.get(), "i", &status);
        return r < 0 ? "unreadable reply" : std::to_string(status);
    }

    BusPtr client_;
    SecondServer second_;
};

TEST_F(RegistryServerTest, ASecondServerWorksBesideTheSimulator) {
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.start());
    ASSERT_EQ(sim({"plug"}).exitCode, 0);

    // The second server's service, read and set by a client of its own.
    char* className = nullptr;
    BusError error;
    ASSERT_GE(sd_bus_get_property_string(
                  client_.get(), kSecondName, registrybus::servicePath(1).c_str(),
                  registrybus::kServiceInterface, "ClassName", error.get(), &className),
              0)
        << error.text(-1);
    EXPECT_STREQ(className, kSecondClass);
    std::free(className);
    EXPECT_EQ(secondProperties(), secondIds());
    EXPECT_EQ(setProperties("a{sv}", 1, "Resolution", "i", 3), "0");
    ASSERT_EQ(second_.received().size(), 1u);
    EXPECT_EQ(second_.received()[0], (Dictionary{{"Resolution", Value(std::int32_t{3})}}));

    // The registry client of com.tovik.IORegistry sees the simulator's
    // services only, though both servers have a service 1.
    RunLoop loop;
    DBusRegistry registry(attachedSessionBus(loop));
    std::vector<io_service_t> found;
    ASSERT_TRUE(runUntil(loop, [&] {
        registry.getMatchingServices(driver::kUsbDeviceClassName, &found);
        return !found.empty();
    }));
    registry.getMatchingServices(driver::kHidSystemClassName, &found);
    EXPECT_EQ(found, (std::vector<io_service_t>{1}));
    registry.getMatchingServices(kSecondClass, &found);
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(lines(sim({"show", "devices"}).out).size(), 3u);
    EXPECT_TRUE(lines(sim({"show", "driver"}).out).empty());
}

TEST_F(RegistryServerTest, WrongPayloadsAreRefusedAndLeaveTheServiceAsItWas) {
    // Not an a{sv}: the bus boundary answers with an error, not a status.
    EXPECT_EQ(setProperties("s", "Resolution"), SD_BUS_ERROR_INVALID_ARGS);
    EXPECT_EQ(setProperties("a{ss}", 1, "Resolution", "2"), SD_BUS_ERROR_INVALID_ARGS);
    // An a{sv} holding a type no property list has: refused whole.
    EXPECT_EQ(setProperties("a{sv}", 2, "Resolution", "i", 2, "Odd", "u", 2u),
              std::to_string(kIOReturnBadArgument));
    EXPECT_TRUE(second_.received().empty());
    EXPECT_EQ(secondProperties(), secondIds());

    // Still served after all that.
    EXPECT_EQ(setProperties("a{sv}", 1, "Resolution", "i", 2), "0");
    EXPECT_EQ(second_.received().size(), 1u);
}

} // namespace
} // namespace zed::test
