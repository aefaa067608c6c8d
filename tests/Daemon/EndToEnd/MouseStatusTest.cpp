// What the settings pane's status line asks, against the real simulated
// mouse and agent on a real bus: the answer follows plugging, unplugging and
// the agent and the driver starting and stopping.
#include "Platform/dbus/MouseStatus.h"

#include "AgentSimulatorTest.h"

#include <gtest/gtest.h>

namespace zed::test {
namespace {

class MouseStatusProbe : public AgentSimulatorTest {
protected:
    MouseStatus probe() { return probe_.probe(); }

    zed::MouseStatusProbe probe_{Platform::Kind::Simulator};
};

MouseStatus status(bool driver, int mice, bool agent) {
    return {.simulated = true, .driverRunning = driver, .mice = mice, .agentRunning = agent};
}

TEST_F(MouseStatusProbe, FollowsTheMiceTheAgentAndTheDriver) {
    EXPECT_EQ(probe(), status(true, 0, false));
    const auto first = lines(sim({"plug", "--product", "1"}).out);
    ASSERT_EQ(sim({"plug", "--product", "2"}).exitCode, 0);
    // Another maker's mouse on the same driver is not one of ours.
    ASSERT_EQ(sim({"plug", "--vendor", "1133", "--product", "1"}).exitCode, 0);
    EXPECT_EQ(probe(), status(true, 2, false));

    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(waitFor([&] { return probe().agentRunning; })) << agent.err();
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(sim({"unplug", first.back()}).exitCode, 0);
    EXPECT_EQ(probe(), status(true, 1, true));

    ASSERT_EQ(agent.stop(), 0) << agent.err();
    EXPECT_EQ(probe(), status(true, 1, false));
    simulator.stop();
    EXPECT_EQ(probe(), status(false, 0, false));
}

} // namespace
} // namespace zed::test
