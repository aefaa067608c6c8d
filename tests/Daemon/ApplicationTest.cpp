#include "AgentFixture.h"
#include "Daemon/HidUtils.h"
#include "Platform/core/FilePreferenceDomains.h"
#include "Platform/core/PropertyList.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace zed::test {

using zed::Dictionary;
using zed::Value;

namespace {
// A wait that never ends would hang the test: give up after this many polls.
struct EndlessWait {};
constexpr int kPollsBeforeGivingUp = 20;
} // namespace

TEST(PrintFunctions, WriteTheirFormatsAndIgnoreZeroStatusesAndNullMessages) {
    testing::internal::CaptureStdout();
    PrintMsg("Waiting for prefs changes...");
    PrintMsg(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Waiting for prefs changes...\n");

    testing::internal::CaptureStderr();
    PrintErrMsg(0, "silent");
    PrintIOErrMsg(0, "silent");
    PrintErrMsg(-536870212, "No matching HID class devices found.");
    PrintIOErrMsg(zed::kIOReturnNotResponding, "Error setting hound property.");
    // Bits above 23 show in hexadecimal only.
    PrintIOErrMsg(static_cast<zed::IOReturn>(0x12345678), "High bits.");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "error:-536870212, No matching HID class devices found.\n"
              "Error setting hound property. - (iokit/common) device not responding(e00002ed,749)\n"
              "High bits. - (system 0x4/subsystem 0x8d1) unknown error code(12345678,3430008)\n");
}

TEST_F(AgentTest, IsLoggedInTakesTheUserAndNeedsLoginDoneAndTheConsole) {
    Application* app = Application::GetApp();
    EXPECT_TRUE(app->IsLoggedIn());
    EXPECT_EQ(app->userName, "alice");
    EXPECT_EQ(app->userId, 501);

    session->setSession("bob", 502, true, false);
    EXPECT_FALSE(app->IsLoggedIn());
    EXPECT_EQ(app->userName, "bob") << "refreshed on the way";

    session->setSession("carol", 503, false, true);
    EXPECT_FALSE(app->IsLoggedIn());
    EXPECT_EQ(app->userName, "bob") << "not taken before login is done";

    session->setSession(Dictionary{{zed::kCGSessionLoginDoneKey, Value(true)},
                                   {zed::kCGSSessionUserNameKey, Value(std::int32_t{7})}});
    EXPECT_FALSE(app->IsLoggedIn()) << "keys missing or of other types: not on the console";
    EXPECT_FALSE(app->userName);
    EXPECT_EQ(app->userId, 0);

    session->setSession(std::nullopt);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(app->IsLoggedIn());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to get session dictionary.\n");
}

TEST_F(AgentTest, RunWithoutAHidSystemEndsAtOnceAndInstallsNothing) {
    registry->removeService(hidSystem);
    Application* app = Application::GetApp();
    testing::internal::CaptureStdout();
    app->Run();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(app->prefs);
    EXPECT_EQ(center->observerCount(), 0u);
    EXPECT_EQ(registry->matchingWatchers(), 0);
    EXPECT_TRUE(platform->runLoop().pendingTimers().empty());
    EXPECT_EQ(process->setuids, std::vector<uid_t>{501});
}

TEST_F(AgentTest, AFailedHidLookupIsReported) {
    registry->setLookupStatus(zed::kIOReturnNotPermitted);
    testing::internal::CaptureStderr();
    EXPECT_EQ(FindHidSystem(), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "error:-536870174, No matching HID class devices found.\n");
}

// Runs the agent until its loop has started, checks, then quits it with SIGTERM.
TEST_F(AgentTest, RunWaitsForTheConsoleThenInitsArmsTheTimerAndQuitsOnSigterm) {
    session->setSession(std::nullopt);
    process->onSleep = [this](int n) {
        if (n == 2) {
            session->setSession("root-ish", 0, true, true);
        }
    };
    std::vector<double> timers;
    std::size_t observersWhileRunning = 0;
    bool prefsWhileRunning = false;
    const double start = zed::RunLoop::now();
    auto probe = platform->runLoop().addTimer(start, [&] {
        timers = platform->runLoop().pendingTimers();
        observersWhileRunning = center->observerCount();
        prefsWhileRunning = Application::GetApp()->prefs != nullptr;
        std::raise(SIGTERM);
    });
    testing::internal::CaptureStdout();
    Application::GetApp()->Run();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to get session dictionary.\n"
                                                      "Unable to get session dictionary.\n"
                                                      "Waiting for prefs changes...\n");
    EXPECT_EQ(process->sleeps, (std::vector<unsigned>{1, 1}));
    EXPECT_EQ(process->setuids, std::vector<uid_t>{process->realUid}) << "user id 0: own uid";
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_NEAR(timers[0] - start, Application::kResendDelay, 0.5);
    EXPECT_EQ(observersWhileRunning, 1u);
    EXPECT_TRUE(prefsWhileRunning);
    EXPECT_EQ(process->exits, std::vector<int>{0});
    EXPECT_EQ(center->observerCount(), 0u) << "the quit removed the observer";
    EXPECT_FALSE(Application::GetApp()->prefs) << "and deleted the settings store";
}

TEST_F(AgentTest, HandleAEQuitTearsDownAndExitsWithZero) {
    Application* app = Application::GetApp();
    app->hidSystem = hidSystem;
    app->Init();
    ASSERT_EQ(center->observerCount(), 1u);
    HandleAEQuit(nullptr, nullptr, 0);
    EXPECT_EQ(center->observerCount(), 0u);
    EXPECT_FALSE(app->prefs);
    EXPECT_EQ(process->exits, std::vector<int>{0});
}

TEST_F(AgentTest, ASessionSwitchWaitsForTheConsoleThenReapplies) {
    Application* app = Application::GetApp();
    app->hidSystem = hidSystem;
    const zed::io_service_t driver = plugMouse();
    app->Init();
    const auto applied = registry->setCallsOn(driver).size();

    session->setSession("alice", 501, true, false); // switched away
    process->onSleep = [this](int n) {
        if (n == 3) {
            session->setSession("alice", 501, true, true);
        }
    };
    session->activate();
    EXPECT_EQ(process->sleeps.size(), 3u);
    EXPECT_EQ(registry->setCallsOn(driver).size(), applied + 1) << "settings applied again";
}

TEST_F(AgentTest, TheResendTimerKeepsWhatWasStoredSinceStartAndAddsOnlyMissingDefaults) {
    Application* app = Application::GetApp();
    app->hidSystem = hidSystem;
    ASSERT_TRUE(app->IsLoggedIn());
    app->hadPrefs = Preferences::HasPrefs();
    EXPECT_FALSE(app->hadPrefs);
    app->Init();
    // The pane stores its first change within the first seconds, then a mouse arrives.
    prefs->setValue(zed::settings::kDomain, "Sensitivity", Value(3.0), "alice");
    prefs->setValue(zed::settings::kDomain, "Orientation", Value(std::int32_t{1}), "alice");
    prefs->synchronize(zed::settings::kDomain, "alice");
    const zed::io_service_t driver = plugMouse();

    ResendPrefs(nullptr, app);
    const Dictionary stored = storedDomain();
    EXPECT_EQ(stored.size(), 14u) << "the missing defaults were added";
    EXPECT_EQ(stored.at("Sensitivity"), Value(3.0));
    EXPECT_EQ(stored.at("Orientation"), Value(std::int32_t{1}));
    EXPECT_EQ(stored.at("MasterSensitivityX"), Value(10.0));
    EXPECT_EQ(stored.at("NumButtons"), Value(std::int32_t{7}));
    // What the domain holds then is what reaches the driver.
    const Dictionary applied = lastSet(driver);
    EXPECT_EQ(applied.at("Sensitivity"), Value(FixedFromDouble(3.0)));
    EXPECT_EQ(applied.at("HIDPointerButtonMode"), Value(std::int32_t{1}));
    EXPECT_EQ(applied.at("MasterSensitivityX"), Value(655360));
    EXPECT_EQ(applied.count("ButtonMappings"), 1u);
    EXPECT_EQ(app->prefs->sens[kSensOverall], 3.0);
}

TEST_F(AgentTest, TheResendTimerKeepsAStepTakenAfterTheDefaultsWereWritten) {
    const zed::io_service_t driver = plugMouse();
    Application* app = Application::GetApp();
    app->hidSystem = hidSystem;
    ASSERT_TRUE(app->IsLoggedIn());
    app->hadPrefs = Preferences::HasPrefs();
    app->Init(); // the mouse present at start gets the fourteen defaults
    ASSERT_EQ(storedDomain().size(), 14u);
    // An on-the-fly step.
    prefs->setValue(zed::settings::kDomain, "Sensitivity", Value(9.8), "alice");
    prefs->synchronize(zed::settings::kDomain, "alice");

    ResendPrefs(nullptr, app);
    EXPECT_EQ(storedDomain().at("Sensitivity"), Value(9.8));
    EXPECT_EQ(lastSet(driver).at("Sensitivity"), Value(642252));
}

// --- Quitting while the agent waits for the console ------------------------

TEST_F(AgentTest, AQuitRequestDuringTheLoginWaitEndsTheProcessWithZero) {
    session->setSession(std::nullopt);
    process->sigtermAtSleep = 2;
    process->onSleep = [](int n) {
        if (n > kPollsBeforeGivingUp) {
            throw EndlessWait{};
        }
    };
    testing::internal::CaptureStdout();
    try {
        Application::GetApp()->Run();
    } catch (const EndlessWait&) {
        ADD_FAILURE() << "the wait went on after the quit request";
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to get session dictionary.\n"
                                                      "Unable to get session dictionary.\n");
    EXPECT_EQ(process->sleeps.size(), 2u);
    EXPECT_EQ(process->exits, std::vector<int>{0});
    EXPECT_TRUE(process->setuids.empty()) << "nothing after the wait ran";
    EXPECT_FALSE(Application::GetApp()->prefs);
    EXPECT_EQ(center->observerCount(), 0u);
}

TEST_F(AgentTest, AQuitRequestDuringASessionSwitchWaitTearsDownAndEndsWithZero) {
    Application* app = Application::GetApp();
    app->hidSystem = hidSystem;
    const zed::io_service_t driver = plugMouse();
    app->Init();
    const auto applied = registry->setCallsOn(driver).size();

    session->setSession("alice", 501, true, false); // switched away
    process->sigtermAtSleep = 3;
    process->onSleep = [](int n) {
        if (n > kPollsBeforeGivingUp) {
            throw EndlessWait{};
        }
    };
    try {
        session->activate();
    } catch (const EndlessWait&) {
        ADD_FAILURE() << "the wait went on after the quit request";
    }
    EXPECT_EQ(process->sleeps.size(), 3u);
    EXPECT_EQ(process->exits, std::vector<int>{0});
    EXPECT_FALSE(app->prefs) << "the settings store went with the quit";
    EXPECT_EQ(center->observerCount(), 0u);
    EXPECT_EQ(registry->setCallsOn(driver).size(), applied) << "nothing applied after the quit";
}

// --- Started as root ---------------------------------------------------------

TEST_F(AgentTest, StartedAsRootTheAgentTakesGroupsGroupThenUserAndTheirHome) {
    registry->removeService(hidSystem); // Run ends right after taking on the user
    process->effectiveUid = 0;
    process->users[501] = {"alice", 501, 20, "/home/alice"};
    Application::GetApp()->Run();
    EXPECT_EQ(process->calls,
              (std::vector<std::string>{"initgroups alice 20", "setgid 20", "setuid 501",
                                        "setenv HOME=/home/alice", "unsetenv XDG_CONFIG_HOME"}));
    EXPECT_TRUE(process->exits.empty());
}

TEST_F(AgentTest, AFailedIdentityChangeAsRootEndsTheAgentBeforeAnythingRunsAsTheUser) {
    struct Case {
        std::string failing; // empty: no password entry
        std::vector<std::string> calls;
        std::string message;
    };
    const Case cases[] = {
        {"", {}, "user id 501"},
        {"initgroups", {"initgroups alice 20"}, "supplementary groups"},
        {"setgid", {"initgroups alice 20", "setgid 20"}, "group"},
        {"setuid", {"initgroups alice 20", "setgid 20", "setuid 501"}, "user id"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing.empty() ? "no password entry" : c.failing);
        TearDown();
        SetUp();
        process->effectiveUid = 0;
        if (!c.failing.empty()) {
            process->users[501] = {"alice", 501, 20, "/home/alice"};
            process->failing.insert(c.failing);
        }
        bool loopRan = false;
        auto probe = platform->runLoop().addTimer(zed::RunLoop::now(), [&] {
            loopRan = true;
            platform->runLoop().exit(0);
        });
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Application::GetApp()->Run();
        const std::string err = testing::internal::GetCapturedStderr();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(process->calls, c.calls);
        EXPECT_EQ(process->exits, std::vector<int>{1});
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_FALSE(loopRan) << "the agent went on";
        EXPECT_EQ(registry->matchingWatchers(), 0) << "Init did not run";
    }
}

TEST_F(AgentTest, NotStartedAsRootTheAgentOnlyAsksForTheUserAndGoesOnWhateverTheAnswer) {
    registry->removeService(hidSystem);
    process->users[501] = {"alice", 501, 20, "/home/alice"};
    process->failing.insert("setuid");
    Application::GetApp()->Run();
    EXPECT_EQ(process->calls, std::vector<std::string>{"setuid 501"});
    EXPECT_TRUE(process->exits.empty());
}

TEST_F(AgentTest, StartedAsRootTheDomainReadIsTheOneInTheUsersHome) {
    namespace fs = std::filesystem;
    char tmpl[] = "/tmp/zed-agent-home-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const fs::path base(tmpl);
    const fs::path home = base / "alice";
    fs::create_directories(home / ".config");
    fs::create_directories(base / "root-config");
    std::ofstream(home / ".config" / "com.tovik.ZED.plist")
        << zed::toXmlPropertyList(Value(Dictionary{{"Sensitivity", Value(3.0)}}));
    // The environment root started with.
    ::setenv("HOME", base.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (base / "root-config").c_str(), 1);

    // The domain of the user the process runs as follows the environment.
    const passwd* self = getpwuid(geteuid());
    ASSERT_TRUE(self && self->pw_name);
    platform->setPreferences(std::make_unique<zed::FilePreferenceDomains>());
    session->setSession(self->pw_name, 501, true, true);
    process->effectiveUid = 0;
    process->users[501] = {self->pw_name, 501, 20, home.string()};
    bool hadPrefs = false;
    auto probe = platform->runLoop().addTimer(zed::RunLoop::now(), [&] {
        hadPrefs = Application::GetApp()->hadPrefs;
        HandleAEQuit(nullptr, nullptr, 0);
    });
    testing::internal::CaptureStdout();
    Application::GetApp()->Run();
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(hadPrefs) << "the settings in the user's home were not seen";
    EXPECT_EQ(zed::FilePreferenceDomains().pathFor(zed::settings::kDomain, ""),
              (home / ".config" / "com.tovik.ZED.plist").string());
    fs::remove_all(base);
}

} // namespace zed::test
