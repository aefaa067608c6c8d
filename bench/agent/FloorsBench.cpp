// The agent's paths against their floors, measured on a private session bus
// (run under dbus-run-session; scripts/bench does), with the simulated mouse
// as the driver, in rounds that start the agent and the echo agent one after
// the other in both orders. Each path prints its median and 99th percentile
// and the median and spread of the rounds' ratios of medians:
//   message -> first key event     vs the echo agent and a bare round trip
//   settings -> driver properties  vs the echo agent
//   key right behind a step         vs the echo agent fed the same messages,
//                                   and the same key alone
//   step, domain on disk            vs one atomic write of the same file
//   plug -> apply with 16 mice      vs with 1
//   start-up                        vs the echo agent
// then the agent's and the driver's private memory against a C++ sd-bus
// program that only waits, and the agent's memory under a flood of driver
// messages.
// Usage: agent_floors_bench [--samples=N] [--rounds=N] [--flood-seconds=S]
//        [--agent=PATH]   (--agent measures another build, e.g. an earlier one)
#include "Daemon/CallBacks.h"
#include "Platform/core/ApplicationSettings.h"
#include "Platform/core/FilePreferenceDomains.h"
#include "Platform/core/Log.h"
#include "Platform/core/PropertyList.h"
#include "Platform/core/UsbIds.h"
#include "Platform/dbus/DBusValue.h"
#include "tests/support/FakeAgent.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using zed::Value;

constexpr const char* kName = "com.tovik.IORegistry";
constexpr const char* kControlPath = "/com/tovik/MouseSimulator";
constexpr const char* kControl = "com.tovik.MouseSimulator";
constexpr const char* kDomainFile = "com.tovik.ZED.plist";
constexpr std::uint32_t kKeyWord = 0x0000;  // button 1: types key 8
constexpr std::uint32_t kStepWord = 0x0101; // button 2: one step up

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

struct Stats {
    double p50 = 0, p99 = 0;
    std::size_t n = 0;
};
Stats stats(std::vector<double> v) {
    Stats s;
    s.n = v.size();
    if (v.empty()) {
        return s;
    }
    std::sort(v.begin(), v.end());
    s.p50 = v[v.size() / 2];
    s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    return s;
}

// A child with its standard output in a pipe (read for its ready line).
struct Child {
    pid_t pid = -1;
    int out = -1;
    bool start(std::vector<std::string> argv, const std::vector<std::string>& extraEnv) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            env.emplace_back(*e);
        }
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp, args;
        for (auto& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        for (auto& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int r = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out = fds[0];
        if (r != 0) {
            pid = -1;
        }
        return r == 0;
    }
    // Reads its output until the text appears; false at its end or after 10 s.
    bool waitForOutput(const char* text) {
        std::string seen;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        char buf[512];
        while (Clock::now() < deadline) {
            const ssize_t n = read(out, buf, sizeof buf);
            if (n <= 0) {
                return false;
            }
            seen.append(buf, static_cast<std::size_t>(n));
            if (seen.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    // Resident memory in kB, from /proc.
    long rssKb() const {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmRSS:", 0) == 0) {
                return std::atol(line.c_str() + 6);
            }
        }
        return -1;
    }
    // A field of /proc/PID/smaps_rollup in kB: Private_Dirty (what the
    // process alone has written: its own heap, stacks, relocated data) or Pss
    // (its share of all it maps, libraries split among their users).
    long smapsKb(const char* field) const {
        std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
        const std::string want = std::string(field) + ":";
        std::string line;
        while (std::getline(rollup, line)) {
            if (line.rfind(want, 0) == 0) {
                return std::atol(line.c_str() + want.size());
            }
        }
        return -1;
    }
    void stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
        if (out >= 0) {
            close(out);
            out = -1;
        }
    }
    ~Child() { stop(); }
};

zed::BusPtr sessionBus() {
    return zed::openBus(zed::BusKind::Session);
}

// Calls the simulator and waits for its answer; its first u, if any.
std::uint32_t control(sd_bus* bus, const char* member, const char* types, ...) {
    sd_bus_message* raw = nullptr;
    sd_bus_message_new_method_call(bus, &raw, kName, kControlPath, kControl, member);
    zed::MessagePtr call(raw);
    va_list ap;
    va_start(ap, types);
    sd_bus_message_appendv(raw, types, ap);
    va_end(ap);
    sd_bus_message* reply = nullptr;
    std::uint32_t first = 0;
    if (sd_bus_call(bus, raw, 0, nullptr, &reply) >= 0) {
        sd_bus_message_read_basic(reply, 'u', &first);
    }
    sd_bus_message_unref(reply);
    return first;
}

// Sends a driver message through the simulator without waiting for its answer.
void sendMessageAsync(sd_bus* bus, std::uint32_t word) {
    sd_bus_message* raw = nullptr;
    sd_bus_message_new_method_call(bus, &raw, kName, kControlPath, kControl, "SendMessage");
    zed::MessagePtr call(raw);
    sd_bus_message_append(raw, "uut", 0u, word, std::uint64_t{0});
    sd_bus_message_set_expect_reply(raw, 0);
    sd_bus_send(bus, raw, nullptr);
    sd_bus_flush(bus);
}

// A monitor of the agent's calls: PostEvent to the HID system and
// SetProperties to a service, each with the object path it went to.
struct Monitor {
    zed::BusPtr bus;
    struct Seen {
        std::string member, path;
        bool mappings = false;
    };
    std::vector<Seen> seen;
    Clock::time_point lastPost{};

    bool start() {
        bus = sessionBus();
        sd_bus_message* m = nullptr;
        int r = sd_bus_message_new_method_call(bus.get(), &m, "org.freedesktop.DBus",
                                               "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus.Monitoring", "BecomeMonitor");
        zed::MessagePtr call(m);
        if (r >= 0) {
            r = sd_bus_message_append(
                m, "asu", 2,
                "type='method_call',interface='com.tovik.IOHIDSystem',member='PostEvent'",
                "type='method_call',interface='com.tovik.IOService',member='SetProperties'", 0u);
        }
        if (r >= 0) {
            r = sd_bus_call(bus.get(), m, 0, nullptr, nullptr);
        }
        return r >= 0 && sd_bus_add_filter(bus.get(), nullptr, &Monitor::filter, this) >= 0;
    }
    static int filter(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<Monitor*>(userdata);
        const char* member = sd_bus_message_get_member(m);
        const char* path = sd_bus_message_get_path(m);
        if (member && path) {
            Seen s{member, path, false};
            if (s.member == "PostEvent") {
                self->lastPost = Clock::now();
            }
            if (s.member == "SetProperties") {
                std::string why;
                auto d = zed::readDictionary(m, &why);
                s.mappings = d && d->count("ButtonMappings");
            }
            self->seen.push_back(std::move(s));
        }
        return 1; // a monitor never answers
    }
    void pump(int waitUsec) {
        if (sd_bus_process(bus.get(), nullptr) == 0) {
            sd_bus_wait(bus.get(), static_cast<std::uint64_t>(waitUsec));
        }
    }
    // Waits until a call matching `want` arrives after the ones seen so far;
    // each call is offered to `want` once.
    bool waitFor(const std::function<bool(const Seen&)>& want, double seconds = 3) {
        std::size_t next = seen.size();
        const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < deadline) {
            for (; next < seen.size(); ++next) {
                if (want(seen[next])) {
                    return true;
                }
            }
            pump(100000);
        }
        return false;
    }
    // Takes everything that has arrived.
    void pumpAll() {
        while (sd_bus_process(bus.get(), nullptr) > 0) {
            seen.clear();
        }
    }
    // Lets whatever follows settle.
    void drain(int ms = 5) {
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until) {
            pump(1000);
        }
        seen.clear();
    }
};

bool isPost(const Monitor::Seen& s) {
    return s.member == "PostEvent";
}

struct Bench {
    int samples = 200;
    int floodSeconds = 10;
    std::string home;
    Child sim;
    zed::BusPtr bus;
    Monitor monitor;
    std::uint32_t driver = 0;

    std::string driverPath() const {
        return "/com/tovik/IORegistry/service/" + std::to_string(driver);
    }

    bool start() {
        char tmpl[] = "/tmp/zed-floors-XXXXXX";
        home = mkdtemp(tmpl);
        std::ofstream(home + "/" + kDomainFile) << zed::toXmlPropertyList(Value(zed::Dictionary{
            {"ButtonMappings", Value(zed::Array{Value(zed::Data{3, '8'}), Value(zed::Data{7})})},
            {"OtfsOnScreen", Value(std::int32_t{0})},
            {"Sensitivity", Value(5.0)}}));
        if (!sim.start({ZED_MOUSE_SIM, "serve"}, {}) || !sim.waitForOutput("serving")) {
            return false;
        }
        bus = sessionBus();
        driver = control(bus.get(), "Plug", "ii", zed::kTovikVendorId, 1);
        return driver != 0 && monitor.start();
    }
    ~Bench() {
        sim.stop();
        if (!home.empty()) {
            std::filesystem::remove_all(home);
        }
    }

    std::vector<double> messageToKey() {
        std::vector<double> out;
        for (int i = 0; i < samples; ++i) {
            monitor.drain(2);
            const auto t = Clock::now();
            sendMessageAsync(bus.get(), kKeyWord);
            if (!monitor.waitFor(isPost)) {
                break;
            }
            out.push_back(msSince(t));
        }
        return out;
    }
    std::vector<double> bareRoundTrip() {
        std::vector<double> out;
        for (int i = 0; i < samples; ++i) {
            const auto t = Clock::now();
            control(bus.get(), "Show", "s", "session");
            out.push_back(msSince(t));
        }
        return out;
    }
    std::vector<double> settingsToDriver() {
        std::vector<double> out;
        const std::string path = driverPath();
        for (int i = 0; i < samples; ++i) {
            monitor.drain(2);
            sd_bus_message* raw = nullptr;
            sd_bus_message_new_signal(bus.get(), &raw, "/com/tovik/DistributedNotificationCenter",
                                      "com.tovik.DistributedNotificationCenter", "Notification");
            zed::MessagePtr m(raw);
            sd_bus_message_append(raw, "ss", "TovikCopperhound", "PrefsChange");
            zed::appendDictionary(raw, {{"Sensitivity", Value(3.0 + (i % 5))}});
            const auto t = Clock::now();
            sd_bus_send(bus.get(), raw, nullptr);
            sd_bus_flush(bus.get());
            if (!monitor.waitFor([&](const Monitor::Seen& s) {
                    return s.member == "SetProperties" && s.path == path;
                })) {
                break;
            }
            out.push_back(msSince(t));
        }
        return out;
    }
    // From the step message to the domain file replaced.
    std::vector<double> stepToDisk() {
        std::vector<double> out;
        const int fd = inotify_init1(IN_CLOEXEC);
        inotify_add_watch(fd, home.c_str(), IN_MOVED_TO);
        for (int i = 0; i < samples; ++i) {
            monitor.drain(2);
            char buf[4096];
            const int flags = fcntl(fd, F_GETFL);
            fcntl(fd, F_SETFL, flags | O_NONBLOCK);
            while (read(fd, buf, sizeof buf) > 0) {
            }
            fcntl(fd, F_SETFL, flags);
            const auto t = Clock::now();
            sendMessageAsync(bus.get(), (i % 2) ? 0x01FF : kStepWord);
            bool replaced = false;
            while (!replaced) {
                const ssize_t n = read(fd, buf, sizeof buf);
                if (n <= 0) {
                    break;
                }
                for (char* p = buf; p < buf + n;) {
                    auto* e = reinterpret_cast<inotify_event*>(p);
                    replaced = replaced || (e->len && std::strcmp(e->name, kDomainFile) == 0);
                    p += sizeof(inotify_event) + e->len;
                }
            }
            if (!replaced) {
                break;
            }
            out.push_back(msSince(t));
        }
        close(fd);
        return out;
    }
    // One write of the same bytes as the agent's: temporary file, fsync,
    // rename over the file; timed to the rename, as the step is (the folder's
    // fsync that both do after it is left out of both).
    std::vector<double> atomicWrite() {
        std::vector<double> out;
        std::ifstream in(home + "/" + kDomainFile);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        const std::string target = home + "/floor.plist";
        for (int i = 0; i < samples; ++i) {
            const auto t = Clock::now();
            const std::string tmp = target + ".tmp";
            const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd < 0 || write(fd, bytes.data(), bytes.size()) < 0 || fsync(fd) != 0) {
                break;
            }
            close(fd);
            rename(tmp.c_str(), target.c_str());
            out.push_back(msSince(t));
            const int dir = open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            fsync(dir);
            close(dir);
        }
        return out;
    }
    // The key message sent right behind a step message: from the key's send
    // to its event, the `posts`th event after the pair (the echo agent posts
    // one for the step too).
    std::vector<double> keyBehindStep(bool withStep, int posts = 1) {
        std::vector<double> out;
        for (int i = 0; i < samples; ++i) {
            monitor.drain(withStep ? 20 : 2);
            if (withStep) {
                sendMessageAsync(bus.get(), (i % 2) ? 0x01FF : kStepWord);
            }
            const auto t = Clock::now();
            sendMessageAsync(bus.get(), kKeyWord);
            int seen = 0;
            if (!monitor.waitFor(
                    [&](const Monitor::Seen& s) { return isPost(s) && ++seen == posts; })) {
                break;
            }
            out.push_back(msSince(t));
        }
        return out;
    }
    // From plugging one more mouse to its full configuration arriving, with
    // `others` mice already plugged.
    std::vector<double> plugToApply(int others) {
        std::vector<std::uint32_t> extra;
        for (int i = 0; i < others; ++i) {
            extra.push_back(control(bus.get(), "Plug", "ii", zed::kTovikVendorId, 2));
        }
        monitor.drain(200);
        std::vector<double> out;
        for (int i = 0; i < samples / 4; ++i) {
            const auto t = Clock::now();
            const std::uint32_t added = control(bus.get(), "Plug", "ii", zed::kTovikVendorId, 2);
            const std::string path = "/com/tovik/IORegistry/service/" + std::to_string(added);
            // The agent configures the last driver found; the new one may
            // not be it, so any full configuration counts.
            if (!monitor.waitFor([](const Monitor::Seen& s) {
                    return s.member == "SetProperties" && s.mappings;
                })) {
                break;
            }
            out.push_back(msSince(t));
            control(bus.get(), "Unplug", "u", added);
            monitor.drain(30);
        }
        for (std::uint32_t id : extra) {
            control(bus.get(), "Unplug", "u", id);
        }
        monitor.drain(100);
        return out;
    }
};

// One step in the agent's own thread, on fakes but with the domain on disk:
// the handler, the loop until it would wait, and the write the agent leaves to
// its timer, done at once so that only work is timed; then the floor, one
// atomic write of the same file in the same folder.
std::pair<std::vector<double>, std::vector<double>> stepInProcess(int samples) {
    char tmpl[] = "/tmp/zed-floors-step-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    std::vector<double> steps, writes;
    {
        FakeAgent agent(std::make_unique<zed::FilePreferenceDomains>(dir));
        zed::Platform::current().writePreferencesSoon();
        agent.apply(zed::Array{Value(zed::Data{7})},
                    {{"OtfsOnScreen", Value(std::int32_t{0})}, {"Sensitivity", Value(5.0)}});
        auto& loop = zed::Platform::current().runLoop();
        for (int i = 0; i < samples; ++i) {
            const auto t = Clock::now();
            DriverNotifProc(nullptr, agent.driver, (i % 2) ? 0x00FF : 0x0001, 0);
            while (loop.runOnce(0)) {
            }
            zed::Platform::current().preferences().writeWaiting();
            steps.push_back(msSince(t));
        }
    }
    std::ifstream in(dir + "/" + kDomainFile);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const std::string target = dir + "/floor.plist";
    for (int i = 0; i < samples; ++i) {
        const auto t = Clock::now();
        const std::string tmp = target + ".tmp";
        const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) < 0 || fsync(fd) != 0) {
            break;
        }
        close(fd);
        rename(tmp.c_str(), target.c_str());
        const int d = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        fsync(d);
        close(d);
        writes.push_back(msSince(t));
    }
    std::filesystem::remove_all(dir);
    return {steps, writes};
}

// A private X server with a window manager and two applications of
// different classes, whose window in front the benchmark changes as a pager
// does (a _NET_ACTIVE_WINDOW request to the root).
struct XDesktop {
    std::string display;
    Child server, manager, first, second;
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t active = 0, clients = 0;
    std::vector<xcb_window_t> windows; // of "XCalc", then of "Xedit"

    ~XDesktop() {
        if (c) {
            xcb_disconnect(c);
        }
    }
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(r);
        return a;
    }
    // The managed window whose WM_CLASS class is `cls`; 0 for none.
    xcb_window_t find(const char* cls) {
        xcb_get_property_reply_t* list = xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, clients, XCB_ATOM_WINDOW, 0, 1024), nullptr);
        xcb_window_t found = 0;
        const int n = list ? xcb_get_property_value_length(list) / 4 : 0;
        for (int i = 0; i < n && !found; ++i) {
            const xcb_window_t w = static_cast<xcb_window_t*>(xcb_get_property_value(list))[i];
            xcb_get_property_reply_t* wm = xcb_get_property_reply(
                c, xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr);
            const std::string text =
                wm ? std::string(static_cast<const char*>(xcb_get_property_value(wm)),
                                 static_cast<std::size_t>(xcb_get_property_value_length(wm)))
                   : std::string();
            std::free(wm);
            const auto end = text.find('\0');
            if (end != std::string::npos && text.compare(end + 1, std::strlen(cls), cls) == 0) {
                found = w;
            }
        }
        std::free(list);
        return found;
    }
    bool start() {
        display = ":" + std::to_string(300 + getpid() % 500);
        const std::vector<std::string> env = {"DISPLAY=" + display};
        if (!server.start({"/usr/bin/Xvfb", display, "-nolisten", "tcp"}, {})) {
            return false;
        }
        for (int i = 0; i < 100 && (!c || xcb_connection_has_error(c)); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (c) {
                xcb_disconnect(c);
            }
            c = xcb_connect(display.c_str(), nullptr);
        }
        if (xcb_connection_has_error(c) || !manager.start({"/usr/bin/openbox"}, env) ||
            !first.start({"/usr/bin/xcalc"}, env) || !second.start({"/usr/bin/xedit"}, env)) {
            return false;
        }
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
        active = atom("_NET_ACTIVE_WINDOW");
        clients = atom("_NET_CLIENT_LIST");
        for (int i = 0; i < 200 && windows.size() < 2; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            windows.clear();
            for (const char* cls : {"XCalc", "Xedit"}) {
                if (const xcb_window_t w = find(cls)) {
                    windows.push_back(w);
                }
            }
        }
        return windows.size() == 2;
    }
    // Waits for the window manager to announce the window in front, as any
    // X client hears it: false after a second.
    bool announced() {
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        while (Clock::now() < deadline) {
            xcb_generic_event_t* e = xcb_poll_for_event(c);
            if (!e) {
                std::this_thread::sleep_for(std::chrono::microseconds(20));
                continue;
            }
            const bool is = (e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                            reinterpret_cast<xcb_property_notify_event_t*>(e)->atom == active;
            std::free(e);
            if (is) {
                return true;
            }
        }
        return false;
    }
    void activate(xcb_window_t w) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = w;
        e.type = active;
        e.data.data32[0] = 2; // from a pager: the window manager obeys at once
        xcb_send_event(c, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&e));
        xcb_flush(c);
    }
};

// Medians of per-round ratios: the middle one and the spread.
struct Ratios {
    std::vector<double> each;
    void add(const std::vector<double>& path, const std::vector<double>& floor) {
        const double f = stats(floor).p50;
        if (!path.empty() && f > 0) {
            each.push_back(stats(path).p50 / f);
        }
    }
};

void row(const char* path, const std::vector<double>& s, const char* floorName,
         const std::vector<double>& f, const Ratios& r, double goal) {
    const Stats a = stats(s), b = stats(f), q = stats(r.each);
    const double lo = r.each.empty() ? 0 : *std::min_element(r.each.begin(), r.each.end());
    const double hi = r.each.empty() ? 0 : *std::max_element(r.each.begin(), r.each.end());
    std::printf("%-34s %8.3f %8.3f   %-20s %8.3f %8.3f   %5.2f x [%.2f-%.2f]", path, a.p50, a.p99,
                floorName, b.p50, b.p99, q.p50, lo, hi);
    if (goal > 0) {
        std::printf("  (goal <= %.1f: %s)", goal, q.p50 > 0 && q.p50 <= goal ? "met" : "NOT met");
    }
    std::printf("   n=%zu/%zu, %zu rounds\n", a.n, b.n, r.each.size());
}

// One measurement of a program's memory once it has settled.
struct Memory {
    long rss = 0, dirty = 0, pss = 0;
    static Memory of(const Child& c) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return {c.rssKb(), c.smapsKb("Private_Dirty"), c.smapsKb("Pss")};
    }
};

void memoryRow(const char* what, long kb, const char* floorName, long floorKb, double goal) {
    const double ratio = floorKb > 0 ? static_cast<double>(kb) / static_cast<double>(floorKb) : 0;
    std::printf("%-34s %8ld kB   %-20s %8ld kB   %5.2f x", what, kb, floorName, floorKb, ratio);
    if (goal > 0) {
        std::printf("  (goal <= %.1f: %s)", goal, ratio > 0 && ratio <= goal ? "met" : "NOT met");
    }
    std::printf("\n");
}

// A program started on its own and measured once settled; empty when it
// would not start.
std::optional<Memory> settledMemory(std::vector<std::string> argv,
                                    const std::vector<std::string>& env, const char* ready) {
    Child c;
    if (!c.start(std::move(argv), env) || (ready && !c.waitForOutput(ready))) {
        return std::nullopt;
    }
    if (!ready) {
        // The driver frees what its start-up needed within a second.
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    }
    return Memory::of(c);
}

} // namespace

int main(int argc, char** argv) {
    Bench b;
    std::string agentPath = ZED_AGENT;
    int rounds = 7;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--samples=", 10) == 0) {
            b.samples = std::max(8, std::atoi(argv[i] + 10));
        } else if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
            rounds = std::max(5, std::atoi(argv[i] + 9));
        } else if (std::strncmp(argv[i], "--agent=", 8) == 0) {
            agentPath = argv[i] + 8;
        } else if (std::strncmp(argv[i], "--flood-seconds=", 16) == 0) {
            b.floodSeconds = std::max(0, std::atoi(argv[i] + 16));
        } else {
            std::fprintf(stderr,
                         "usage: %s [--samples=N] [--rounds=N] [--flood-seconds=S] "
                         "[--agent=PATH]\n",
                         argv[0]);
            return 2;
        }
    }
    const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!session) {
        zed::log("needs a session bus: run under dbus-run-session");
        return 1;
    }
    // A program just built has dirty pages in the page cache, which smaps
    // counts as its private dirty memory until they are written back.
    sync();
    // The memory floor: a C++ program on sd-bus that only waits for a
    // signal. The driver is measured idle (no mouse), on this bus as its
    // system bus, before the simulator takes the registry's name.
    const auto floor = settledMemory({ZED_BUS_FLOOR}, {}, "ready");
    const auto driverMemory =
        settledMemory({ZED_DRIVER}, {std::string("DBUS_SYSTEM_BUS_ADDRESS=") + session}, nullptr);
    if (!floor || !b.start()) {
        zed::log("cannot start the memory floor or the simulator");
        return 1;
    }
    const std::vector<std::string> env = {"ZED_PLATFORM=simulator", "XDG_CONFIG_HOME=" + b.home};

    // Each round measures the echo agent and the agent, one after the other,
    // in both orders; the agent goes last in the last round and stays for the
    // rest. Ratios are taken within a round.
    struct Turn {
        std::vector<double> start, key, bare, settings, behind, alone, step, write;
    };
    Turn echoAll, agentAll;
    Ratios rKey, rBare, rSettings, rBehind, rAlone, rStep, rStart;
    Memory echoMemory, agentMemory;
    Child agent;
    for (int r = 0; r < rounds; ++r) {
        Turn e, a;
        const auto echoTurn = [&] {
            Child echo;
            const auto t = Clock::now();
            if (!echo.start({ZED_ECHO_AGENT}, env) || !echo.waitForOutput("ready")) {
                return false;
            }
            e.start = {msSince(t)};
            if (r == rounds - 1) {
                echoMemory = Memory::of(echo); // idle, as the agent's
            }
            b.monitor.drain(50);
            e.key = b.messageToKey();
            e.settings = b.settingsToDriver();
            e.behind = b.keyBehindStep(true, 2);
            return true;
        };
        const auto agentTurn = [&] {
            agent.stop();
            const auto t = Clock::now();
            if (!agent.start({agentPath}, env) ||
                !agent.waitForOutput("Waiting for prefs changes")) {
                return false;
            }
            a.start = {msSince(t)};
            if (r == rounds - 1) {
                agentMemory = Memory::of(agent); // idle, with the mouse configured
            }
            b.monitor.drain(50);
            a.key = b.messageToKey();
            a.bare = b.bareRoundTrip();
            a.settings = b.settingsToDriver();
            a.behind = b.keyBehindStep(true);
            a.alone = b.keyBehindStep(false);
            a.step = b.stepToDisk();
            a.write = b.atomicWrite();
            return true;
        };
        const bool agentFirst = (rounds - r) % 2 == 0;
        if (!(agentFirst ? agentTurn() && echoTurn() : echoTurn() && agentTurn())) {
            zed::log("the agent or the echo agent did not start");
            return 1;
        }
        rStart.add(a.start, e.start);
        rKey.add(a.key, e.key);
        rBare.add(a.key, a.bare);
        rSettings.add(a.settings, e.settings);
        rBehind.add(a.behind, e.behind);
        rAlone.add(a.behind, a.alone);
        rStep.add(a.step, a.write);
        for (auto [all, one] : {std::pair{&echoAll, &e}, std::pair{&agentAll, &a}}) {
            for (auto m : {&Turn::start, &Turn::key, &Turn::bare, &Turn::settings, &Turn::behind,
                           &Turn::alone, &Turn::step, &Turn::write}) {
                (all->*m).insert((all->*m).end(), (one->*m).begin(), (one->*m).end());
            }
        }
    }
    b.monitor.drain(50);
    // Measured once: the in-process step and plugging.
    const auto [inSteps, inWrites] = stepInProcess(b.samples);
    Ratios rInStep;
    rInStep.add(inSteps, inWrites);
    const std::vector<double> one = b.plugToApply(0), sixteen = b.plugToApply(15);
    Ratios rPlug;
    rPlug.add(sixteen, one);

    std::printf("%-34s %8s %8s   %-20s %8s %8s   %s\n", "path (ms)", "p50", "p99", "floor", "p50",
                "p99", "median of the rounds' ratios [spread]");
    row("message -> first key event", agentAll.key, "echo agent", echoAll.key, rKey, 1.2);
    row("message -> first key event", agentAll.key, "bare round trip", agentAll.bare, rBare, 0);
    row("settings -> driver properties", agentAll.settings, "echo agent", echoAll.settings,
        rSettings, 1.2);
    row("key right behind a step", agentAll.behind, "echo agent, same msgs", echoAll.behind,
        rBehind, 1.5);
    row("key right behind a step", agentAll.behind, "the same key alone", agentAll.alone, rAlone,
        0);
    row("step in the agent, domain on disk", inSteps, "one atomic write", inWrites, rInStep, 1.5);
    row("step through the bus to disk", agentAll.step, "one atomic write", agentAll.write, rStep,
        0);
    row("plug -> apply, 16 mice", sixteen, "1 mouse", one, rPlug, 1.2);
    row("start-up", agentAll.start, "echo agent", echoAll.start, rStart, 2.0);
    std::printf("(the step reaches the disk %.0f ms after it, by design: what comes right behind "
                "it is not kept waiting)\n",
                zed::Platform::kWriteDelay * 1000);
    memoryRow("agent private dirty memory", agentMemory.dirty, "C++ sd-bus floor", floor->dirty,
              1.2);
    if (driverMemory) {
        memoryRow("driver private dirty memory", driverMemory->dirty, "C++ sd-bus floor",
                  floor->dirty, 1.2);
    } else {
        std::printf("driver private dirty memory: the driver did not start\n");
    }
    memoryRow("echo agent private dirty memory", echoMemory.dirty, "C++ sd-bus floor", floor->dirty,
              0);
    memoryRow("agent Pss", agentMemory.pss, "C++ sd-bus floor", floor->pss, 0);
    memoryRow("agent RSS", agentMemory.rss, "C++ sd-bus floor", floor->rss, 0);

    if (b.floodSeconds > 0) {
        // Key messages and steps, 2000 a second, as fast as the bus takes them.
        const long before = agent.rssKb();
        long peak = before;
        const auto start = Clock::now();
        int sent = 0;
        while (msSince(start) < b.floodSeconds * 1000.0) {
            for (int k = 0; k < 20; ++k, ++sent) {
                sendMessageAsync(b.bus.get(), sent % 4 == 0 ? kStepWord : kKeyWord);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            b.monitor.pumpAll();
            if (sent % 2000 == 0) {
                peak = std::max(peak, agent.rssKb());
            }
        }
        const long atEnd = agent.rssKb();
        // Busy after: until the agent's last key event of the flood, taken
        // as the first pause of 500 ms in its events.
        const auto end = Clock::now();
        while (msSince(b.monitor.lastPost) < 500 && msSince(end) < 120000) {
            b.monitor.pump(10000);
            b.monitor.pumpAll();
        }
        const double busyAfter = std::max(
            0.0, std::chrono::duration<double, std::milli>(b.monitor.lastPost - end).count());
        // Once it has handled the flood: what it kept.
        const long settled = agent.rssKb();
        const double kept =
            before > 0 ? 100.0 * static_cast<double>(settled - before) / static_cast<double>(before)
                       : 0.0;
        std::printf(
            "flood: %d driver messages in %d s; agent RSS %ld kB before, %ld kB peak, %ld kB "
            "at its end, %ld kB once handled (%+.0f%%, goal within 10%%: %s); busy for %.0f ms "
            "after the flood\n",
            sent, b.floodSeconds, before, peak, atEnd, settled, kept,
            std::abs(kept) <= 10.0 ? "met" : "NOT met", busyAfter);
    }
    // The focus path: an agent with a set for each of two X applications;
    // each change of the window in front (well apart, so each is the first
    // of its burst) until the driver's properties are set. Its floor is the
    // echo agent following the same changes, in rounds of both orders.
    XDesktop desk;
    if (desk.start()) {
        std::ofstream(b.home + "/" + kDomainFile) << zed::toXmlPropertyList(Value(zed::Dictionary{
            {"ButtonMappings", Value(zed::Array{Value(zed::Data{3, '8'}), Value(zed::Data{7})})},
            {"OtfsOnScreen", Value(std::int32_t{0})},
            {"Sensitivity", Value(5.0)},
            {zed::settings::kApplicationSettingsKey,
             zed::settings::storedSets({{"A", {"XCalc"}, {{"Sensitivity", Value(8.0)}}, 0},
                                        {"B", {"Xedit"}, {{"Sensitivity", Value(3.0)}}, 1}})}}));
        agent.stop();
        std::vector<std::string> focusEnv = env;
        focusEnv.insert(focusEnv.end(), {"DISPLAY=" + desk.display, "XDG_SESSION_TYPE=x11"});
        const std::string path = b.driverPath();
        // One program's turn: the switches it made, and the WM's announcements.
        const auto turn = [&](std::vector<std::string> argv, const char* ready,
                              std::vector<double>& focus, std::vector<double>* announce) {
            Child program;
            if (!program.start(std::move(argv), focusEnv) || !program.waitForOutput(ready)) {
                return;
            }
            for (int i = 0; i < b.samples; ++i) {
                b.monitor.drain(150);
                while (xcb_generic_event_t* e = xcb_poll_for_event(desk.c)) {
                    std::free(e);
                }
                const auto t = Clock::now();
                desk.activate(desk.windows[static_cast<std::size_t>(i % 2)]);
                const bool heard = desk.announced();
                const double wm = msSince(t);
                if (!heard || !b.monitor.waitFor([&](const Monitor::Seen& s) {
                        return s.member == "SetProperties" && s.path == path;
                    })) {
                    continue; // already in front: no switch
                }
                focus.push_back(msSince(t));
                if (announce) {
                    announce->push_back(wm);
                }
            }
            program.stop();
        };
        std::vector<double> focus, echoFocus, announce;
        Ratios rFocus, rAnnounce;
        for (int r = 0; r < rounds; ++r) {
            std::vector<double> a, e, wm;
            const auto agentTurn = [&] { turn({agentPath}, "Waiting for prefs changes", a, &wm); };
            const auto echoTurn = [&] { turn({ZED_ECHO_AGENT, "--focus"}, "ready", e, nullptr); };
            if (r % 2) {
                agentTurn();
                echoTurn();
            } else {
                echoTurn();
                agentTurn();
            }
            rFocus.add(a, e);
            rAnnounce.add(a, wm);
            focus.insert(focus.end(), a.begin(), a.end());
            echoFocus.insert(echoFocus.end(), e.begin(), e.end());
            announce.insert(announce.end(), wm.begin(), wm.end());
        }
        row("focus change -> driver properties", focus, "echo agent (focus)", echoFocus, rFocus,
            1.2);
        row("focus change -> driver properties", focus, "the WM's announcement", announce,
            rAnnounce, 0);
        const Stats f = stats(focus);
        std::printf("%-34s p99 %.3f ms (goal <= one 60 Hz frame, 16.7 ms: %s)\n",
                    "focus change -> driver properties", f.p99,
                    f.n > 0 && f.p99 <= 1000.0 / 60 ? "met" : "NOT met");
    } else {
        std::printf("focus change -> driver properties: no X server with a window manager here "
                    "(Xvfb, openbox, xcalc, xedit)\n");
    }

    agent.stop();
    return 0;
}
