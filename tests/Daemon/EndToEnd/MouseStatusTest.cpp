// What the settings pane's status line asks, against the real simulated
// mouse and agent on a real bus: the answer follows plugging, unplugging and
// the agent and the driver starting and stopping.
#include "Platform/dbus/MouseStatus.h"

#include "AgentSimulatorTest.h"

#include <gtest/gtest.h>

using namespace zed::test;

namespace {

class MouseStatusProbe : public AgentSimulatorTest {
protected:
    zed::MouseStatus probe() { return probe_.probe(); }

    zed::MouseStatusProbe probe_{zed::Platform::Kind::Simulator};
};

zed::MouseStatus status(bool driver, int mice, bool agent) {
    return {.simulated = true, .driverRunning = driver, .mice = mice, .agentRunning = agent};
}

std::string plugged(const char* product) {
    const auto l = lines(sim({"plug", "--product", product}).out);
    return l.empty() ? std::string() : l.back();
}

} // namespace

TEST_F(MouseStatusProbe, FollowsTheMiceTheAgentAndTheDriver) {
    EXPECT_EQ(probe(), status(true, 0, false));
    const std::string first = plugged("1");
    plugged("2");
    // Another maker's mouse on the same driver is not one of ours.
    ASSERT_EQ(sim({"plug", "--vendor", "1133", "--product", "1"}).exitCode, 0);
    EXPECT_EQ(probe(), status(true, 2, false));

    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(waitFor([&] { return probe().agentRunning; })) << agent.err();
    ASSERT_EQ(sim({"unplug", first}).exitCode, 0);
    EXPECT_EQ(probe(), status(true, 1, true));

    ASSERT_EQ(agent.stop(), 0) << agent.err();
    EXPECT_EQ(probe(), status(true, 1, false));
    simulator.stop();
    EXPECT_EQ(probe(), status(false, 0, false));
}
