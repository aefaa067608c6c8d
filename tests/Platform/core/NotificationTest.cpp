#include "Platform/core/RunLoop.h"
#include "Platform/dbus/DBusNotificationCenter.h"
#include "TestUtil.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zed::test {

using zed::Dictionary;
using zed::Value;

namespace {

struct Received {
    std::string name;
    std::string object;
    std::optional<Dictionary> info;
};

Dictionary mixedPayload() {
    return Dictionary{
        {"Orientation", Value(std::int32_t{1})},
        {"Wide", Value(std::int64_t{1})},
        {"Sensitivity", Value(1.0)},
        {"On", Value(true)},
        {"Name", Value("x")},
        {"ButtonMappings", Value(zed::Array{Value(zed::Data{0}), Value(zed::Data{}),
                                            Value(zed::Data{6, 3, '5', '5'})})},
        {"Nested", Value(Dictionary{{"Deeper", Value(zed::Array{Value(2.5)})}})},
    };
}

class DBusNotifications : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
            GTEST_SKIP() << "needs a session bus (run under dbus-run-session)";
        }
        auto bus = zed::openBus(zed::BusKind::Session);
        ASSERT_TRUE(bus);
        ASSERT_TRUE(loop.attachBus(bus.get()));
        center = std::make_unique<zed::DBusNotificationCenter>(std::move(bus));
    }

    void observe(const std::string& name, const std::string& object) {
        ASSERT_TRUE(center->addObserver(
            this, name, object,
            [this](const std::string& n, const std::string& o, const Dictionary* info) {
                received.push_back({n, o, info ? std::optional(*info) : std::nullopt});
                if (received.size() >= wanted) {
                    loop.exit(0);
                }
            }));
    }

    // Runs the loop until `count` notifications arrived or a few seconds passed.
    void waitFor(std::size_t count, double seconds = 5) {
        wanted = count;
        auto deadline = loop.addTimer(zed::RunLoop::now() + seconds, [this] { loop.exit(1); });
        loop.run();
    }

    zed::RunLoop loop;
    std::unique_ptr<zed::DBusNotificationCenter> center;
    std::vector<Received> received;
    std::size_t wanted = 1;
};

} // namespace

TEST(LocalNotifications, ObserversMatchByNameAndObjectAndCanBeRemoved) {
    zed::LocalNotificationCenter center;
    int a = 0;
    int any = 0;
    int key = 0;
    center.addObserver(&a, "TovikCopperhound", "PrefsChange",
                       [&](auto&, auto&, const Dictionary*) { ++a; });
    center.addObserver(&any, "", "", [&](auto&, auto&, const Dictionary*) { ++any; });
    center.post("TovikCopperhound", "PrefsChange", nullptr, true);
    center.post("TovikCopperhound", "Other", nullptr, true);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(any, 2);
    // An observer that removes itself while being called is not called again.
    center.addObserver(&key, "Once", "", [&](auto&, auto&, const Dictionary*) {
        ++key;
        center.removeObserver(&key, "", "");
    });
    center.post("Once", "", nullptr, true);
    center.post("Once", "", nullptr, true);
    EXPECT_EQ(key, 1);
    center.removeObserver(&a, "TovikCopperhound", "PrefsChange");
    center.post("TovikCopperhound", "PrefsChange", nullptr, true);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(center.observerCount(), 1u);
}

TEST_F(DBusNotifications, APostFromAnotherProcessArrivesWithEveryTypeIntact) {
    observe("TovikCopperhound", "PrefsChange");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        zed::DBusNotificationCenter poster(zed::openBus(zed::BusKind::Session));
        const Dictionary payload = mixedPayload();
        poster.post("TovikCopperhound", "Unrelated", &payload, true);
        const bool ok = poster.post("TovikCopperhound", "PrefsChange", &payload, true);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(status, 0);
    waitFor(1);
    ASSERT_EQ(received.size(), 1u) << "the notification for another object must not match";
    EXPECT_EQ(received[0].name, "TovikCopperhound");
    EXPECT_EQ(received[0].object, "PrefsChange");
    EXPECT_EQ(received[0].info, mixedPayload());
}

TEST_F(DBusNotifications, MalformedPayloadsFromForeignClientsAreDroppedAndTheNextGoodOneArrives) {
    if (!zedtest::haveCommand("gdbus") || !zedtest::haveCommand("dbus-send")) {
        GTEST_SKIP() << "gdbus and dbus-send are needed";
    }
    observe("TovikCopperhound", "PrefsChange");
    const std::string target = "--object-path /com/tovik/DistributedNotificationCenter --signal "
                               "com.tovik.DistributedNotificationCenter.Notification ";
    const std::string dbusSend = "dbus-send --session --type=signal "
                                 "/com/tovik/DistributedNotificationCenter "
                                 "com.tovik.DistributedNotificationCenter.Notification ";
    testing::internal::CaptureStderr();
    // A string where the dictionary belongs.
    EXPECT_EQ(zedtest::run("gdbus emit --session " + target +
                           "\"'TovikCopperhound'\" \"'PrefsChange'\" \"'not a dictionary'\"")
                  .status,
              0);
    // A dictionary of unsigned values instead of variants.
    EXPECT_EQ(zedtest::run(dbusSend + "string:TovikCopperhound string:PrefsChange "
                                      "dict:string:uint32:Sensitivity,5")
                  .status,
              0);
    // A variant of a type that has no mapping.
    EXPECT_EQ(zedtest::run("gdbus emit --session " + target +
                           "\"'TovikCopperhound'\" \"'PrefsChange'\" "
                           "\"@a{sv} {'Sensitivity': <uint32 5>}\"")
                  .status,
              0);
    EXPECT_EQ(zedtest::run("gdbus emit --session " + target +
                           "\"'TovikCopperhound'\" \"'PrefsChange'\" "
                           "\"@a{sv} {'Sensitivity': <9.8>, 'Orientation': <int32 1>, "
                           "'Wide': <int64 3>, 'ButtonMappings': <[<@ay [0x06, 0x03]>]>}\"")
                  .status,
              0);
    waitFor(1);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].info,
              (Dictionary{{"Sensitivity", Value(9.8)},
                          {"Orientation", Value(std::int32_t{1})},
                          {"Wide", Value(std::int64_t{3})},
                          {"ButtonMappings", Value(zed::Array{Value(zed::Data{6, 3})})}}));
    std::size_t messages = 0;
    for (std::size_t pos = 0; (pos = err.find("does not decode", pos)) != std::string::npos;
         ++pos) {
        ++messages;
    }
    EXPECT_EQ(messages, 3u) << err;
}

TEST_F(DBusNotifications, RemovedObserversHearNothingMore) {
    observe("TovikCopperhound", "PrefsChange");
    center->removeObserver(this, "TovikCopperhound", "PrefsChange");
    int other = 0;
    center->addObserver(&other, "Marker", "", [&](auto&, auto&, const Dictionary*) {
        ++other;
        loop.exit(0);
    });
    const Dictionary payload = mixedPayload();
    center->post("TovikCopperhound", "PrefsChange", &payload, true);
    center->post("Marker", "", nullptr, true);
    waitFor(99);
    EXPECT_EQ(other, 1);
    EXPECT_TRUE(received.empty());
}

} // namespace zed::test
