// The login-session client against the simulator's session.
#include "Platform/dbus/DBusLoginSession.h"
#include "SimulatorHarness.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace zed::test {
namespace {

class LoginSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        ASSERT_TRUE(simulator_.start());
        session_ = std::make_unique<DBusLoginSession>(attachedSessionBus(loop_));
    }

    bool onConsole() {
        auto d = session_->copyCurrentDictionary();
        const Value* v = d ? lookup(*d, kCGSessionOnConsoleKey) : nullptr;
        return v && v->toBool().value_or(false);
    }

    RunLoop loop_;
    SimulatorProcess simulator_;
    std::unique_ptr<DBusLoginSession> session_;
};

TEST_F(LoginSessionTest, ReportsTheUserRunningTheSimulator) {
    auto d = session_->copyCurrentDictionary();
    ASSERT_TRUE(d);
    const passwd* pw = getpwuid(getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(*d, (Dictionary{{kCGSSessionUserNameKey, Value(pw->pw_name)},
                              {kCGSSessionUserIDKey, Value(static_cast<std::int32_t>(getuid()))},
                              {kCGSessionLoginDoneKey, Value(true)},
                              {kCGSessionOnConsoleKey, Value(true)}}));
}

TEST_F(LoginSessionTest, AwayAndBackSwitchTheConsoleAndBackActivates) {
    int activated = 0;
    ASSERT_TRUE(session_->setActivatedHandler([&] { ++activated; }));
    ASSERT_EQ(sim({"session", "away"}).exitCode, 0);
    EXPECT_TRUE(runUntil(loop_, [&] { return !onConsole(); }));
    ASSERT_EQ(sim({"session", "back"}).exitCode, 0);
    EXPECT_TRUE(runUntil(loop_, [&] { return onConsole(); }));
    ASSERT_TRUE(runUntil(loop_, [&] { return activated > 0; }));
    EXPECT_EQ(activated, 1);
}

TEST_F(LoginSessionTest, AChangeSentByAnotherConnectionIsIgnored) {
    ASSERT_TRUE(onConsole());
    int seen = 0;
    sd_bus_slot* raw = nullptr;
    ASSERT_GE(sd_bus_add_match(
                  session_->bus(), &raw,
                  "type='signal',path='/com/tovik/LoginSession',member='Changed'",
                  [](sd_bus_message*, void* userdata, sd_bus_error*) {
                      ++*static_cast<int*>(userdata);
                      return 0;
                  },
                  &seen),
              0);
    SlotPtr observer(raw);
    testing::internal::CaptureStderr();
    ProgramResult spoof = runProgram({"/usr/bin/gdbus", "emit", "--session", "--object-path",
                                      "/com/tovik/LoginSession", "--signal",
                                      "com.tovik.LoginSession.Changed", "false", "@a{sv} {}"});
    ASSERT_EQ(spoof.exitCode, 0) << spoof.err;
    ASSERT_TRUE(runUntil(loop_, [&] { return seen > 0; }));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(onConsole()) << "the forged change was taken: " << err;
    EXPECT_NE(err.find("ignored a session change"), std::string::npos) << err;
}

TEST_F(LoginSessionTest, SpoofedActivatedIsIgnored) {
    int activated = 0;
    ASSERT_TRUE(session_->setActivatedHandler([&] { ++activated; }));
    int seen = 0;
    sd_bus_slot* raw = nullptr;
    ASSERT_GE(sd_bus_add_match(
                  session_->bus(), &raw, "type='signal',path='/com/tovik/LoginSession'",
                  [](sd_bus_message*, void* userdata, sd_bus_error*) {
                      ++*static_cast<int*>(userdata);
                      return 0;
                  },
                  &seen),
              0);
    SlotPtr observer(raw);
    ProgramResult spoof =
        runProgram({"/usr/bin/gdbus", "emit", "--session", "--object-path",
                    "/com/tovik/LoginSession", "--signal", "com.tovik.LoginSession.Activated"});
    ASSERT_EQ(spoof.exitCode, 0) << spoof.err;
    ASSERT_TRUE(runUntil(loop_, [&] { return seen > 0; }));
    EXPECT_EQ(activated, 0);
}

TEST_F(LoginSessionTest, WithoutTheProviderThereIsNoSession) {
    ASSERT_TRUE(simulator_.stop());
    EXPECT_FALSE(session_->copyCurrentDictionary());
    EXPECT_FALSE(session_->copyCurrentDictionary()); // and again, quietly
}

TEST_F(LoginSessionTest, ServeCanStartLoggedOutAndAway) {
    ASSERT_TRUE(simulator_.stop());
    ASSERT_TRUE(simulator_.start({"--logged-out", "--away"}));
    auto d = session_->copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_EQ(*lookup(*d, kCGSessionLoginDoneKey), Value(false));
    EXPECT_EQ(*lookup(*d, kCGSessionOnConsoleKey), Value(false));
}

} // namespace
} // namespace zed::test
