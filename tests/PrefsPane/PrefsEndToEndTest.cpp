// The settings application on a real X display, driven with real key presses
// (xdotool), with the real agent and the simulated mouse on the session bus:
// choosing the left hand in the pane reaches the mouse's driver.
#include "Platform/core/PropertyList.h"
#include "SimulatorHarness.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zed::test {
namespace {

std::string xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    const ProgramResult r = runProgram(argv);
    return r.exitCode == 0 ? r.out : std::string();
}

bool driverReceived(const std::string& text) {
    for (const std::string& record : lines(sim({"show", "driver"}).out)) {
        if (record.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string int32(const char* key, long value) {
    return std::string("\"") + key + "\":{\"type\":\"int32\",\"value\":" + std::to_string(value) +
           "}";
}

class PrefsEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        if (auto why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) {
            GTEST_SKIP() << "needs an X display: run under xvfb-run";
        }
        if (access("/usr/bin/xdotool", X_OK) != 0) {
            GTEST_SKIP() << "needs xdotool";
        }
        char tmpl[] = "/tmp/zed-prefs-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        config = dir + "/config";
        std::filesystem::create_directories(config);
        ASSERT_TRUE(simulator.start());
    }
    void TearDown() override {
        prefs.reset();
        agent.reset();
        simulator.stop();
        if (!dir.empty()) {
            std::filesystem::remove_all(dir);
        }
    }
    std::map<std::string, std::string> env() const {
        return {{"XDG_CONFIG_HOME", config},
                {"ZED_PLATFORM", "simulator"},
                {"QT_QPA_PLATFORM", ""},
                {"LANG", "C.UTF-8"},
                {"LANGUAGE", ""}};
    }

    std::string dir, config;
    SimulatorProcess simulator;
    std::unique_ptr<ChildProcess> agent, prefs;
};

TEST_F(PrefsEndToEnd, LeftHandChosenWithTheKeyboardReachesTheDriver) {
    const ProgramResult plugged = sim({"plug"});
    ASSERT_EQ(plugged.exitCode, 0) << plugged.err;

    agent = std::make_unique<ChildProcess>("agent", dir);
    ASSERT_TRUE(agent->start({ZED_AGENT}, env()));
    // The agent writes its defaults and applies them: right hand, button mode 2.
    ASSERT_TRUE(waitFor([] { return driverReceived(int32("HIDPointerButtonMode", 2)); }))
        << agent->log();

    prefs = std::make_unique<ChildProcess>("prefs", dir);
    ASSERT_TRUE(prefs->start({ZED_PREFS}, env()));
    std::string window;
    ASSERT_TRUE(waitFor([&] {
        window = xdotool({"search", "--onlyvisible", "--name", "ZED Mouse Settings"});
        return !window.empty();
    })) << prefs->log();
    window = window.substr(0, window.find('\n'));

    // Real key presses into the focused window: Alt+L is "Left hand".
    xdotool({"windowfocus", "--sync", window});
    xdotool({"key", "--clearmodifiers", "alt+l"});
    EXPECT_TRUE(waitFor([] { return driverReceived(int32("HIDPointerButtonMode", 1)); }))
        << "pane:\n"
        << prefs->log() << "agent:\n"
        << agent->log();

    const std::optional<Value> stored =
        parsePropertyList(readFile(config + "/com.tovik.ZED.plist"));
    ASSERT_TRUE(stored && stored->asDictionary());
    const Value* orientation = lookup(*stored->asDictionary(), "Orientation");
    ASSERT_NE(orientation, nullptr);
    EXPECT_EQ(*orientation, Value(std::int32_t{1}));

    // Ctrl+Q leaves the pane and ends the application.
    xdotool({"windowfocus", "--sync", window});
    xdotool({"key", "--clearmodifiers", "ctrl+q"});
    EXPECT_EQ(prefs->wait(20), 0) << prefs->log();
}

// Without a display Qt would end the application with an abort; it says why
// and ends instead.
TEST(PrefsWithoutDisplay, SaysWhyAndEnds) {
    for (const char* display : {"DISPLAY=", "DISPLAY=:987"}) {
        const ProgramResult r = runProgram(
            {"/usr/bin/env", "-u", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=", display, ZED_PREFS});
        EXPECT_EQ(r.exitCode, 1) << display << ": " << r.err;
        EXPECT_NE(r.err.find("zed-prefs: "), std::string::npos) << r.err;
    }
}

} // namespace
} // namespace zed::test
