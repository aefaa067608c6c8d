#include "Platform/desktop/LogindSession.h"

#include "AgentPlatform.h"
#include "Daemon/Application.h"
#include "Daemon/CallBacks.h"
#include "LogindMock.h"

#include <functional>
#include <gtest/gtest.h>

namespace zed::test {
using namespace zed;

namespace {

constexpr std::uint32_t kUid = 1000;

class LogindSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        mock = new deskfake::LogindMock;
        whyNot = new std::string(mock->start());
    }
    static void TearDownTestSuite() {
        delete mock;
        delete whyNot;
    }
    void SetUp() override {
        if (!whyNot->empty()) {
            GTEST_SKIP() << *whyNot;
        }
        ASSERT_TRUE(mock->reset());
    }

    std::unique_ptr<LogindSession> session(std::uint32_t uid = kUid, std::string id = {}) {
        return std::make_unique<LogindSession>(loop, mock->connect(), uid, std::move(id));
    }
    static bool flag(const Dictionary& d, const char* key) {
        const Value* v = lookup(d, key);
        return v && v->toBool().value_or(false);
    }
    // Runs the loop until the condition holds (or a generous bound passes).
    template <typename F> void pumpUntil(F condition) {
        for (int i = 0; i < 200 && !condition(); ++i) {
            loop.runOnce(0.05);
        }
    }
    // Runs the loop until nothing more arrives.
    void drain() {
        while (loop.runOnce(0.3)) {
        }
    }

    static deskfake::LogindMock* mock;
    static std::string* whyNot;
    RunLoop loop;
};

deskfake::LogindMock* LogindSessionTest::mock = nullptr;
std::string* LogindSessionTest::whyNot = nullptr;

// --- The session dictionary -----------------------------------------------

TEST_F(LogindSessionTest, ALoggedInActiveSessionIsDoneAndOnTheConsole) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    auto s = session();
    const auto d = s->copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_EQ(*lookup(*d, kCGSSessionUserNameKey), Value("alice"));
    EXPECT_EQ(*lookup(*d, kCGSSessionUserIDKey), Value(std::int32_t{1000}));
    EXPECT_TRUE(flag(*d, kCGSessionLoginDoneKey));
    EXPECT_TRUE(flag(*d, kCGSessionOnConsoleKey));
    EXPECT_EQ(s->sessionPath(), deskfake::LogindMock::sessionPath("c1"));
}

TEST_F(LogindSessionTest, ASessionInTheBackgroundIsLoggedInButNotOnTheConsole) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", false));
    const auto d = session()->copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_TRUE(flag(*d, kCGSessionLoginDoneKey));
    EXPECT_FALSE(flag(*d, kCGSessionOnConsoleKey));
}

TEST_F(LogindSessionTest, AUserWithoutASessionHasNone) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(session(4321)->copyCurrentDictionary());
    testing::internal::GetCapturedStderr();
}

TEST_F(LogindSessionTest, AGreeterIsNotAFinishedLogin) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    ASSERT_TRUE(mock->setSessionString("c1", "Class", "greeter"));
    const auto d = session()->copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_FALSE(flag(*d, kCGSessionLoginDoneKey));
    EXPECT_FALSE(flag(*d, kCGSessionOnConsoleKey));
}

TEST_F(LogindSessionTest, AClosingSessionNoLongerCounts) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    ASSERT_TRUE(mock->setSessionString("c1", "State", "closing"));
    const auto d = session()->copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_FALSE(flag(*d, kCGSessionLoginDoneKey));
}

TEST_F(LogindSessionTest, ASessionWithoutASeatIsNotOnTheConsole) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    ASSERT_TRUE(mock->setSessionSeat("c1", "", "/"));
    const auto d = session()->copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_TRUE(flag(*d, kCGSessionLoginDoneKey));
    EXPECT_FALSE(flag(*d, kCGSessionOnConsoleKey));
}

TEST_F(LogindSessionTest, TheSessionTheAgentWasStartedInIsPreferred) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", false));
    ASSERT_TRUE(mock->addSession("c2", "seat0", kUid, "alice", true));
    auto s = session(kUid, "c2");
    const auto d = s->copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_EQ(s->sessionPath(), deskfake::LogindMock::sessionPath("c2"));
    EXPECT_TRUE(flag(*d, kCGSessionOnConsoleKey));
    // Another user's session id is not taken for ours.
    ASSERT_TRUE(mock->addSession("c3", "seat0", 2000, "bob", true));
    auto other = session(kUid, "c3");
    other->copyCurrentDictionary();
    EXPECT_EQ(other->sessionPath(), deskfake::LogindMock::sessionPath("c1"));
}

// --- Switching users ------------------------------------------------------

TEST_F(LogindSessionTest, SwitchingAwayAndBackDeliversOneActivatedEventPerReturn) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    auto s = session();
    int activated = 0;
    std::vector<bool> onConsoleWhenCalled;
    ASSERT_TRUE(s->setActivatedHandler([&] {
        ++activated;
        auto d = s->copyCurrentDictionary();
        onConsoleWhenCalled.push_back(d && flag(*d, kCGSessionOnConsoleKey));
    }));
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(
            mock->addSession("g" + std::to_string(round), "seat0", 2000 + round, "bob", true));
        ASSERT_TRUE(mock->setSessionBool("c1", "Active", false));
        ASSERT_TRUE(mock->setSessionBool("c1", "Active", true));
    }
    pumpUntil([&] { return activated >= 2; });
    drain();
    EXPECT_EQ(activated, 2);
    EXPECT_EQ(onConsoleWhenCalled, (std::vector<bool>{true, true}));
}

TEST_F(LogindSessionTest, AnotherUsersSessionComingBackIsNotOurs) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    ASSERT_TRUE(mock->addSession("c2", "seat0", 2000, "bob", false));
    auto s = session();
    int activated = 0;
    ASSERT_TRUE(s->setActivatedHandler([&] { ++activated; }));
    ASSERT_TRUE(mock->setSessionBool("c2", "Active", true));
    ASSERT_TRUE(mock->setSessionBool("c1", "Active", false));
    ASSERT_TRUE(mock->setSessionBool("c1", "Active", true));
    // Signals keep their order, so bob's came in before ours did.
    pumpUntil([&] { return activated >= 1; });
    drain();
    EXPECT_EQ(activated, 1);
}

TEST_F(LogindSessionTest, OtherPropertyChangesAreNoActivation) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    auto s = session();
    int activated = 0;
    ASSERT_TRUE(s->setActivatedHandler([&] { ++activated; }));
    ASSERT_TRUE(mock->setSessionBool("c1", "IdleHint", true));
    ASSERT_TRUE(mock->setSessionBool("c1", "LockedHint", true));
    ASSERT_TRUE(mock->setSessionBool("c1", "Active", true)); // already active
    ASSERT_TRUE(mock->setSessionBool("c1", "Active", false));
    ASSERT_TRUE(mock->setSessionBool("c1", "Active", true));
    pumpUntil([&] { return activated >= 1; });
    drain();
    EXPECT_EQ(activated, 1);
}

// --- The session kept from logind's signals -------------------------------

// Each change reaches the kept session through logind's signals alone: once
// the loop has delivered them, the dictionary is right and reading it asks
// logind nothing.
TEST_F(LogindSessionTest, EveryChangeIsKeptFromTheSignalsWithoutAskingAgain) {
    struct Case {
        const char* what;
        std::function<bool()> change;
        bool present, loginDone, onConsole;
    };
    const Case cases[] = {
        {"switched away", [] { return mock->setSessionBool("c1", "Active", false); }, true, true,
         false},
        {"away and back",
         [] {
             return mock->setSessionBool("c1", "Active", false) &&
                    mock->setSessionBool("c1", "Active", true);
         },
         true, true, true},
        {"another user took the seat",
         [] {
             return mock->addSession("c2", "seat0", 2000, "bob", true) &&
                    mock->setSessionBool("c1", "Active", false);
         },
         true, true, false},
        {"locked to a greeter", [] { return mock->setSessionString("c1", "Class", "greeter"); },
         true, false, false},
        {"logging out", [] { return mock->setSessionString("c1", "State", "closing"); }, true,
         false, false},
        {"seat gone", [] { return mock->setSessionSeat("c1", "", "/"); }, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(mock->reset());
        ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
        auto s = session();
        ASSERT_TRUE(s->copyCurrentDictionary());
        const long asked = mock->managerCalls("ListUsers");
        ASSERT_TRUE(c.change());
        auto is = [&] {
            const auto d = s->copyCurrentDictionary();
            return d && flag(*d, kCGSessionLoginDoneKey) == c.loginDone &&
                   flag(*d, kCGSessionOnConsoleKey) == c.onConsole;
        };
        pumpUntil(is);
        drain();
        EXPECT_TRUE(is());
        const long afterSignals = mock->managerCalls("ListUsers");
        for (int i = 0; i < 5; ++i) {
            s->copyCurrentDictionary();
        }
        EXPECT_EQ(mock->managerCalls("ListUsers"), afterSignals) << "a kept session asks nothing";
        EXPECT_GE(afterSignals, asked);
    }
}

TEST_F(LogindSessionTest, ALoginAfterStartIsFoundFromLogindsSignals) {
    auto s = session();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(s->copyCurrentDictionary()) << "nobody is logged in yet";
    testing::internal::GetCapturedStderr();
    const long asked = mock->managerCalls("ListUsers");
    EXPECT_FALSE(s->copyCurrentDictionary());
    EXPECT_EQ(mock->managerCalls("ListUsers"), asked) << "nobody logged in is kept too";

    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    ASSERT_TRUE(mock->emitManagerSignal("SessionNew", "c1"));
    pumpUntil([&] { return s->copyCurrentDictionary().has_value(); });
    const auto d = s->copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_TRUE(flag(*d, kCGSessionOnConsoleKey));
    EXPECT_EQ(s->sessionPath(), deskfake::LogindMock::sessionPath("c1"));
}

// Any local user can address a signal to the agent's connection: none of
// those logind sends counts from anybody else.
TEST_F(LogindSessionTest, ForgedSessionSeatAndManagerSignalsChangeNothing) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    BusPtr agentBus = mock->connect();
    ASSERT_TRUE(agentBus);
    const char* agentName = nullptr;
    ASSERT_GE(sd_bus_get_unique_name(agentBus.get(), &agentName), 0);
    const std::string agent = agentName;
    LogindSession s(loop, BusPtr(sd_bus_ref(agentBus.get())), kUid);
    ASSERT_TRUE(s.copyCurrentDictionary());
    BusPtr forger = mock->connect();
    ASSERT_TRUE(forger);

    struct Forged {
        const char* path;
        const char* interface;
        const char* member;
        std::function<int(sd_bus_message*)> append;
    };
    const Forged forged[] = {
        {"/org/freedesktop/login1/session/c1", "org.freedesktop.DBus.Properties",
         "PropertiesChanged",
         [](sd_bus_message* m) {
             return sd_bus_message_append(m, "sa{sv}as", "org.freedesktop.login1.Session", 1,
                                          "Active", "b", 0, 0);
         }},
        {"/org/freedesktop/login1/seat/seat0", "org.freedesktop.DBus.Properties",
         "PropertiesChanged",
         [](sd_bus_message* m) {
             return sd_bus_message_append(m, "sa{sv}as", "org.freedesktop.login1.Seat", 1,
                                          "ActiveSession", "(so)", "c9",
                                          "/org/freedesktop/login1/session/c9", 0);
         }},
        {"/org/freedesktop/login1", "org.freedesktop.login1.Manager", "SessionRemoved",
         [](sd_bus_message* m) {
             return sd_bus_message_append(m, "so", "c1", "/org/freedesktop/login1/session/c1");
         }},
    };
    const long asked = mock->managerCalls("ListUsers");
    testing::internal::CaptureStderr();
    for (const Forged& f : forged) {
        sd_bus_message* raw = nullptr;
        ASSERT_GE(sd_bus_message_new_signal(forger.get(), &raw, f.path, f.interface, f.member), 0);
        MessagePtr m(raw);
        ASSERT_GE(sd_bus_message_set_destination(m.get(), agent.c_str()), 0);
        ASSERT_GE(f.append(m.get()), 0);
        ASSERT_GE(sd_bus_send(forger.get(), m.get(), nullptr), 0);
    }
    ASSERT_GE(sd_bus_flush(forger.get()), 0);
    drain();
    const std::string err = testing::internal::GetCapturedStderr();
    const auto d = s.copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_TRUE(flag(*d, kCGSessionOnConsoleKey)) << err;
    EXPECT_EQ(mock->managerCalls("ListUsers"), asked)
        << "a forged signal, or the look after it, asked logind: " << err;
}

// --- The agent's wait for the console -------------------------------------

TEST_F(LogindSessionTest, TheAgentWaitsASecondAtATimeUntilTheSessionIsBack) {
    ASSERT_TRUE(mock->addSession("c1", "seat0", kUid, "alice", true));
    ASSERT_TRUE(mock->addSession("g1", "seat0", 2000, "bob", true));
    ASSERT_TRUE(mock->setSessionBool("c1", "Active", false));
    deskfake::AgentPlatform agent;
    agent.platform->setLoginSession(session());
    struct GaveUp {};
    agent.process->onSleep = [](int sleeps) {
        if (sleeps == 3) {
            mock->setSessionBool("c1", "Active", true);
        }
        if (sleeps > 20) {
            throw GaveUp{}; // the session never came back: end the wait, fail below
        }
    };
    testing::internal::CaptureStdout();
    try {
        EXPECT_EQ(SwitchEventsHandler(nullptr, nullptr, nullptr), 0);
    } catch (const GaveUp&) {
        ADD_FAILURE() << "the agent kept waiting after the session came back";
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(agent.process->sleeps, (std::vector<unsigned>{1, 1, 1}));
    EXPECT_EQ(Application::GetApp()->userName, std::optional<std::string>("alice"));
    EXPECT_EQ(Application::GetApp()->userId, 1000);
}

TEST(LogindSessionWithoutBus, HasNoSessionAndCannotReportSwitches) {
    RunLoop loop;
    LogindSession s(loop, nullptr, kUid);
    EXPECT_FALSE(s.copyCurrentDictionary());
    EXPECT_FALSE(s.setActivatedHandler([] {}));
}

TEST(ProcessLoginSession, IsThisProcesssUserLoggedInAtTheConsole) {
    ProcessLoginSession s;
    const auto d = s.copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_EQ(*lookup(*d, kCGSSessionUserIDKey), Value(static_cast<std::int32_t>(getuid())));
    EXPECT_EQ(*lookup(*d, kCGSessionLoginDoneKey), Value(true));
    EXPECT_EQ(*lookup(*d, kCGSessionOnConsoleKey), Value(true));
    const Value* name = lookup(*d, kCGSSessionUserNameKey);
    ASSERT_TRUE(name && name->asString());
    EXPECT_FALSE(name->asString()->empty());
}

} // namespace
} // namespace zed::test
