// The real agent when its session bus goes away: it ends with a failure
// status and says why once, so that its service manager starts it again
// (a new bus comes with a new login, and nothing of the old one is left to
// serve).
#include "AgentProcess.h"
#include "SimulatorHarness.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace zed::test;

namespace {

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

} // namespace

TEST(BusLoss, TheAgentEndsWithAFailureAndOneMessageWhenItsSessionBusGoes) {
    char tmpl[] = "/tmp/zed-bus-loss-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string address = "unix:path=" + dir + "/bus";
    {
        // A bus of its own, so that ending it leaves the test's bus alone.
        ChildProcess bus("dbus-daemon", dir);
        ASSERT_TRUE(bus.start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile",
                               "--address=" + address}));
        ScopedEnv env("DBUS_SESSION_BUS_ADDRESS", address);
        ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir + "/bus"); }, 10))
            << bus.log();
        SimulatorProcess simulator;
        ASSERT_TRUE(simulator.start());
        AgentProcess agent;
        ASSERT_TRUE(agent.start());
        ASSERT_TRUE(waitFor([&] {
            return agent.out().find("Waiting for prefs changes...") != std::string::npos;
        })) << agent.err();

        bus.stop(SIGTERM);
        const int status = agent.wait(10);
        EXPECT_NE(status, -1) << "the agent went on without its bus";
        EXPECT_NE(status, 0);
        EXPECT_EQ(count(agent.err(), "session bus went away"), 1u) << agent.err();
        simulator.stop(SIGKILL);
    }
    std::filesystem::remove_all(dir);
}
