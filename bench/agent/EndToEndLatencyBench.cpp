// From the simulated driver sending a message to the HID system being asked
// to post the first key event, through the real agent, next to a bare D-Bus
// round trip to the same simulator. Needs a session bus: run under
// dbus-run-session (scripts/bench does).
#include "Platform/core/PropertyList.h"
#include "Platform/dbus/DBusValue.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* kName = "com.tovik.IORegistry";
constexpr const char* kControlPath = "/com/tovik/MouseSimulator";
constexpr const char* kControl = "com.tovik.MouseSimulator";

pid_t spawn(std::vector<std::string> argv, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        env.emplace_back(*e);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (auto& a : argv) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The simulator and the agent, with button 1 mapped to one key.
struct Machine {
    std::string home;
    pid_t sim = -1;
    pid_t agent = -1;
    zed::BusPtr bus;

    bool start() {
        char tmpl[] = "/tmp/zed-latency-XXXXXX";
        home = mkdtemp(tmpl);
        std::ofstream(home + "/com.tovik.ZED.plist")
            << zed::toXmlPropertyList(zed::Value(zed::Dictionary{
                   {"ButtonMappings", zed::Value(zed::Array{zed::Value(zed::Data{3, '8'})})},
                   {"OtfsOnScreen", zed::Value(std::int32_t{0})}}));
        sim = spawn({ZED_MOUSE_SIM, "serve"}, {});
        bus = zed::openBus(zed::BusKind::Session);
        if (!bus || !waitForOwner()) {
            return false;
        }
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        const int r = sd_bus_call_method(bus.get(), kName, kControlPath, kControl, "Plug", &error,
                                         &reply, "ii", 0x2F1A, 1);
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        if (r < 0) {
            return false;
        }
        agent = spawn({ZED_AGENT}, {"ZED_PLATFORM=simulator", "XDG_CONFIG_HOME=" + home});
        std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the agent's start-up
        return agent > 0;
    }
    bool waitForOwner() {
        for (int i = 0; i < 100; ++i) {
            sd_bus_error error = SD_BUS_ERROR_NULL;
            sd_bus_message* reply = nullptr;
            const int r = sd_bus_call_method(bus.get(), "org.freedesktop.DBus",
                                             "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                             "GetNameOwner", &error, &reply, "s", kName);
            sd_bus_error_free(&error);
            sd_bus_message_unref(reply);
            if (r >= 0) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    ~Machine() {
        for (pid_t p : {agent, sim}) {
            if (p > 0) {
                kill(p, SIGTERM);
                waitpid(p, nullptr, 0);
            }
        }
        if (!home.empty()) {
            std::filesystem::remove_all(home);
        }
    }
};

// A monitor connection that sees the agent's PostEvent calls.
struct PostWatcher {
    zed::BusPtr bus;
    bool seen = false;

    bool start() {
        bus = zed::openBus(zed::BusKind::Session);
        if (!bus) {
            return false;
        }
        sd_bus_message* m = nullptr;
        int r = sd_bus_message_new_method_call(bus.get(), &m, "org.freedesktop.DBus",
                                               "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus.Monitoring", "BecomeMonitor");
        zed::MessagePtr call(m);
        if (r >= 0) {
            r = sd_bus_message_append(m, "asu", 1,
                                      "type='method_call',interface='com.tovik.IOHIDSystem',"
                                      "member='PostEvent'",
                                      0u);
        }
        if (r >= 0) {
            r = sd_bus_call(bus.get(), m, 0, nullptr, nullptr);
        }
        if (r < 0) {
            return false;
        }
        return sd_bus_add_filter(bus.get(), nullptr, &PostWatcher::filter, this) >= 0;
    }
    static int filter(sd_bus_message* m, void* userdata, sd_bus_error*) {
        if (sd_bus_message_is_method_call(m, "com.tovik.IOHIDSystem", "PostEvent")) {
            static_cast<PostWatcher*>(userdata)->seen = true;
        }
        // Handled: a monitor must never answer what it sees.
        return 1;
    }
    // Waits for the next PostEvent; false after two seconds.
    bool waitForPost() {
        seen = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!seen && std::chrono::steady_clock::now() < deadline) {
            if (sd_bus_process(bus.get(), nullptr) == 0) {
                sd_bus_wait(bus.get(), 100000);
            }
        }
        return seen;
    }
    // Lets the rest of a sequence's posts go by.
    void drain() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
        while (std::chrono::steady_clock::now() < until) {
            if (sd_bus_process(bus.get(), nullptr) == 0) {
                sd_bus_wait(bus.get(), 1000);
            }
        }
    }
};

void BM_MessageToFirstKeyEvent(benchmark::State& state) {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        state.SkipWithError("needs a session bus (run under dbus-run-session)");
        return;
    }
    Machine machine;
    PostWatcher watcher;
    if (!machine.start() || !watcher.start()) {
        state.SkipWithError("cannot start the simulator and the agent");
        return;
    }
    for (auto _ : state) {
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        // Button 1, no step: the agent types its key.
        sd_bus_call_method(machine.bus.get(), kName, kControlPath, kControl, "SendMessage", &error,
                           &reply, "uut", 0u, 0u, std::uint64_t{0});
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        if (!watcher.waitForPost()) {
            state.SkipWithError("the agent posted no key event");
            break;
        }
        state.PauseTiming();
        watcher.drain();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MessageToFirstKeyEvent)->UseRealTime()->Iterations(300);

void BM_BareDBusRoundTrip(benchmark::State& state) {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        state.SkipWithError("needs a session bus (run under dbus-run-session)");
        return;
    }
    Machine machine;
    if (!machine.start()) {
        state.SkipWithError("cannot start the simulator");
        return;
    }
    for (auto _ : state) {
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_call_method(machine.bus.get(), kName, kControlPath, kControl, "Show", &error, &reply,
                           "s", "session");
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
    }
}
BENCHMARK(BM_BareDBusRoundTrip)->UseRealTime()->Iterations(300);

} // namespace
