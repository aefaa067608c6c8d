// The whole road of a setting: the pane model's setter writes the domain and
// posts the notification, the real agent applies it, the simulated driver
// receives it.
#include "AgentProcess.h"
#include "Platform/dbus/Platform.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "SimulatorHarness.h"

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace zed::test;

namespace {

std::string lastDriverRecord() {
    const auto records = lines(sim({"show", "driver"}).out);
    return records.empty() ? std::string() : records.back();
}

} // namespace

TEST(PaneToDriver, SettersAndMappingChangesReachTheSimulatedDriverThroughTheAgent) {
    if (auto why = sessionBusMissing(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.start());
    ASSERT_EQ(sim({"plug"}).exitCode, 0);
    AgentProcess agent;
    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(waitFor([] {
        return lines(sim({"show", "driver"}).out).size() == 1;
    })) << agent.err();

    // The pane runs as the same user, on the same settings folder and bus.
    setenv("XDG_CONFIG_HOME", agent.configHome().c_str(), 1);
    zed::Platform::install(zed::Platform::makeDefault());
    {
        TovikCopperhoundPref pane;
        pane.willSelect(); // reads the agent's defaults and saves once
        ASSERT_TRUE(waitFor([] { return lines(sim({"show", "driver"}).out).size() == 2; }));

        pane.setSensitivity(3.0);
        ASSERT_TRUE(waitFor([] {
            return lastDriverRecord().find(
                       "\"Sensitivity\":{\"type\":\"int32\",\"value\":196608}") !=
                   std::string::npos;
        })) << lastDriverRecord();
        // The pane sends its whole dictionary: the agent passes all of it on.
        EXPECT_NE(lastDriverRecord().find("\"NumButtons\""), std::string::npos);

        pane.setProperty("orientation", 1);
        ASSERT_TRUE(waitFor([] {
            return lastDriverRecord().find(
                       "\"HIDPointerButtonMode\":{\"type\":\"int32\",\"value\":1}") !=
                   std::string::npos;
        }));

        ASSERT_NE(pane.button2Mapping(), nullptr);
        pane.button2Mapping()->setMapType(7);
        ASSERT_TRUE(waitFor([] {
            return lastDriverRecord().find("{\"type\":\"data\",\"value\":\"07\"},{\"type\":"
                                           "\"data\",\"value\":\"07\"}") != std::string::npos;
        })) << lastDriverRecord();
        pane.didUnselect();
    }
    EXPECT_EQ(agent.stop(), 0);
    zed::Platform::install(nullptr);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
