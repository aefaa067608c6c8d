// A test with the simulated mouse on the session bus and room for a
// zed-agent beside it; it skips where there is no session bus, and ends
// whatever it started.
#pragma once

#include "AgentProcess.h"
#include "SimulatorHarness.h"

#include <gtest/gtest.h>

namespace zed::test {

class AgentSimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        ASSERT_TRUE(simulator.start());
    }
    void TearDown() override {
        if (agent.running()) {
            agent.stop();
        }
        simulator.stop();
    }

    // Posts the pane's settings notification, the settings as a GVariant text.
    static void postSettings(const std::string& gvariant) {
        auto r = runProgram({"/usr/bin/gdbus", "emit", "--session", "--object-path",
                             "/com/tovik/DistributedNotificationCenter", "--signal",
                             "com.tovik.DistributedNotificationCenter.Notification",
                             "'TovikCopperhound'", "'PrefsChange'", gvariant});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    SimulatorProcess simulator;
    AgentProcess agent;
};

} // namespace zed::test
