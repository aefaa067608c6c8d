// The settings application on a real X display, driven with real key presses
// (xdotool), with the real agent and the simulated mouse on the session bus:
// choosing the left hand in the pane reaches the mouse's driver.
#include "Platform/PropertyList.h"
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

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A program running beside the test, with settings of its own and its output
// kept in files.
class Child {
public:
    Child(std::string name, std::string dir) : name_(std::move(name)), dir_(std::move(dir)) {}
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool start(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& env) {
        std::vector<std::string> entries;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string key = entry.substr(0, entry.find('='));
            if (!env.count(key)) {
                entries.push_back(entry);
            }
        }
        for (const auto& [key, value] : env) {
            if (!value.empty()) {
                entries.push_back(key + "=" + value);
            }
        }
        std::vector<char*> envp, args;
        for (auto& e : entries) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        std::vector<std::string> argvCopy = argv;
        for (auto& a : argvCopy) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
        const int r = posix_spawn(&pid_, args[0], &actions, &attr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        if (r != 0) {
            pid_ = -1;
        }
        return r == 0;
    }

    // Its exit status once it has ended by itself, or -1 after the timeout.
    int wait(double seconds) {
        int status = 0;
        const bool ended =
            waitFor([&] { return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_; }, seconds);
        if (!ended) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    std::string out() const { return dir_ + "/" + name_ + ".out"; }
    std::string err() const { return dir_ + "/" + name_ + ".err"; }
    std::string log() const { return slurp(out()) + slurp(err()); }

private:
    std::string name_;
    std::string dir_;
    pid_t pid_ = -1;
};

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
    std::unique_ptr<Child> agent, prefs;
};

TEST_F(PrefsEndToEnd, LeftHandChosenWithTheKeyboardReachesTheDriver) {
    const ProgramResult plugged = sim({"plug"});
    ASSERT_EQ(plugged.exitCode, 0) << plugged.err;

    agent = std::make_unique<Child>("agent", dir);
    ASSERT_TRUE(agent->start({ZED_AGENT}, env()));
    // The agent writes its defaults and applies them: right hand, button mode 2.
    ASSERT_TRUE(waitFor([] { return driverReceived(int32("HIDPointerButtonMode", 2)); }))
        << agent->log();

    prefs = std::make_unique<Child>("prefs", dir);
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

    const std::optional<Value> stored = parsePropertyList(slurp(config + "/com.tovik.ZED.plist"));
    ASSERT_TRUE(stored && stored->asDictionary());
    const Value* orientation = lookup(*stored->asDictionary(), "Orientation");
    ASSERT_NE(orientation, nullptr);
    EXPECT_EQ(*orientation, Value(std::int32_t{1}));

    // Ctrl+Q leaves the pane and ends the application.
    xdotool({"windowfocus", "--sync", window});
    xdotool({"key", "--clearmodifiers", "ctrl+q"});
    EXPECT_EQ(prefs->wait(20), 0) << prefs->log();
}

} // namespace
} // namespace zed::test
