// Settings per application on a real X server: a private Xvfb with openbox,
// two X clients of different classes (xcalc, xedit) brought to the front with xdotool as a
// user's click would. The driver (the simulated mouse) gets each
// application's settings, and a switch writes nothing.
#include "AgentSimulatorTest.h"
#include "Platform/core/ApplicationSettings.h"
#include "Platform/core/PropertyList.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using zed::Value;
using namespace zed::test;

namespace {

// The driver's last record, and whether it holds the property at the value.
bool lastRecordHas(const char* key, double value) {
    const auto records = lines(sim({"show", "driver"}).out);
    const std::string want = std::string("\"") + key + "\":{\"type\":\"int32\",\"value\":" +
                             std::to_string(static_cast<int>(value * 65536)) + "}";
    return !records.empty() && records.back().find(want) != std::string::npos;
}

class PerApplication : public AgentSimulatorTest {
protected:
    void SetUp() override {
        for (const char* p : {"/usr/bin/Xvfb", "/usr/bin/openbox", "/usr/bin/xcalc",
                              "/usr/bin/xedit", "/usr/bin/xdotool"}) {
            if (!std::filesystem::exists(p)) {
                GTEST_SKIP() << p << " is not installed";
            }
        }
        AgentSimulatorTest::SetUp();
        // A display of its own: no other test's windows, no other manager.
        display_ = ":" + std::to_string(200 + getpid() % 500);
        ASSERT_TRUE(x_.start({"/usr/bin/Xvfb", display_, "-nolisten", "tcp"}));
        ASSERT_TRUE(waitFor(
            [&] { return std::filesystem::exists("/tmp/.X11-unix/X" + display_.substr(1)); }));
        ASSERT_TRUE(wm_.start({"/usr/bin/openbox"}, {{"DISPLAY", display_}}));
        ASSERT_TRUE(calc_.start({"/usr/bin/xcalc"}, {{"DISPLAY", display_}}));
        ASSERT_TRUE(edit_.start({"/usr/bin/xedit"}, {{"DISPLAY", display_}}));
    }
    // Brings the first window of the class to the front, as a click would.
    void activate(const char* cls) {
        std::string id;
        ASSERT_TRUE(waitFor([&] {
            id = runProgram({"/usr/bin/env", "DISPLAY=" + display_, "/usr/bin/xdotool", "search",
                             "--class", cls})
                     .out;
            return !id.empty();
        }));
        id = id.substr(0, id.find('\n'));
        runProgram({"/usr/bin/env", "DISPLAY=" + display_, "/usr/bin/xdotool", "windowactivate",
                    "--sync", id});
    }

    std::string display_;
    ChildProcess x_{"xvfb", "/tmp"}, wm_{"openbox", "/tmp"}, calc_{"xcalc", "/tmp"},
        edit_{"xedit", "/tmp"};
};

} // namespace

TEST_F(PerApplication, TheApplicationInFrontGetsItsSetAndASwitchWritesNothing) {
    const auto set = [](const char* name, const char* app, zed::Dictionary overrides) {
        return zed::settings::SettingsSet{name, {app}, std::move(overrides)};
    };
    zed::Dictionary domain{
        {"ButtonMappings", Value(zed::Array{Value(zed::Data{0}), Value(zed::Data{7})})},
        {"OtfsOnScreen", Value(std::int32_t{0})},
        {"Sensitivity", Value(5.0)},
        {zed::settings::kApplicationSettingsKey,
         zed::settings::storedSets(
             {set("Calculator", "XCalc", {{"Sensitivity", Value(8.0)}}),
              set("Editor", "xedit.desktop",
                  {{"Sensitivity", Value(3.0)}, {"ScrollWheelSpeed", Value(2.0)}})})}};
    agent.writeDomain(zed::toXmlPropertyList(Value(domain)));
    const std::string written = readFile(agent.domainFile());
    ASSERT_TRUE(agent.start({{"DISPLAY", display_}, {"XDG_SESSION_TYPE", "x11"}}));
    sim({"plug"});

    activate("XCalc");
    EXPECT_TRUE(waitFor([] { return lastRecordHas("Sensitivity", 8.0); })) << agent.err();
    activate("Xedit");
    EXPECT_TRUE(waitFor([] {
        return lastRecordHas("Sensitivity", 3.0) && lastRecordHas("ScrollWheelSpeed", 2.0);
    })) << agent.err();
    activate("XCalc");
    EXPECT_TRUE(waitFor([] {
        return lastRecordHas("Sensitivity", 8.0) && lastRecordHas("ScrollWheelSpeed", 10.0);
    })) << "the editor's wheel speed goes back to the default";
    EXPECT_EQ(readFile(agent.domainFile()), written) << "a switch wrote the settings";

    // A step while the calculator is in front changes its set only.
    ASSERT_EQ(sim({"press", "2", "--step", "up"}).exitCode, 0);
    ASSERT_TRUE(waitFor([] { return lastRecordHas("Sensitivity", 8.2); }));
    ASSERT_TRUE(waitFor([&] { return readFile(agent.domainFile()) != written; }));
    const auto stored = zed::parsePropertyList(readFile(agent.domainFile()));
    ASSERT_TRUE(stored && stored->asDictionary());
    const auto sets = zed::settings::readSets(
        zed::lookup(*stored->asDictionary(), zed::settings::kApplicationSettingsKey));
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_NEAR(*zed::lookup(sets[0].overrides, "Sensitivity")->toDouble(), 8.2, 1e-9);
    EXPECT_EQ(*zed::lookup(*stored->asDictionary(), "Sensitivity"), Value(5.0));
}
