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

    SimulatorProcess simulator;
    AgentProcess agent;
};

} // namespace zed::test
