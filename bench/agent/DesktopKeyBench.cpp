// Driver message -> first key on the desktop platform: the agent's own code
// with the desktop's services, logind being python-dbusmock's template on a
// private bus that stands in for the system bus, and the simulated mouse
// serving the driver's registry on the same bus. Keys go to a keyboard that
// notes each press (this machine may have no uinput; writing to it costs
// every agent the same). The floor, in the same process on the same
// connection: an interest in the same driver that types the key at once.
// Agent and floor are measured in turn, in rounds; each round's ratio of
// medians, and their median and spread, are printed.
// Usage: agent_desktop_bench [--samples=N] [--rounds=N]
#include "Daemon/Application.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/FilePreferenceDomains.h"
#include "Platform/core/Log.h"
#include "Platform/core/PropertyList.h"
#include "Platform/core/UsbIds.h"
#include "Platform/dbus/DBusRegistry.h"
#include "Platform/dbus/Platform.h"
#include "Platform/desktop/Desktop.h"
#include "Platform/desktop/DesktopHidSystem.h"
#include "Platform/desktop/LogindSession.h"
#include "tests/support/LogindMock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using zed::Value;

constexpr std::uint32_t kAgentWord = 0x0000; // button 1: mapped to a key
constexpr std::uint32_t kFloorWord = 0x0006; // button 7: not mapped; the floor's
constexpr const char* kSessionId = "c1";

// Presses noted by the keyboards, for the measuring thread.
struct Typed {
    std::mutex m;
    std::condition_variable cv;
    long presses = 0;
    void press() {
        {
            std::lock_guard lock(m);
            ++presses;
        }
        cv.notify_one();
    }
    bool waitPast(long seen) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, std::chrono::seconds(3), [&] { return presses > seen; });
    }
    long now() {
        std::lock_guard lock(m);
        return presses;
    }
};
Typed typed;

class NotingKeyboard : public zed::VirtualKeyboard {
public:
    int key(std::uint16_t, bool pressed) override {
        if (pressed) {
            typed.press();
        }
        return 0;
    }
    int sync() override { return 0; }
};
NotingKeyboard floorKeyboard;

void floorProc(void*, zed::io_service_t, std::uint32_t word, std::uint64_t) {
    if (word == kFloorWord) {
        floorKeyboard.key(9, true);
        floorKeyboard.sync();
    }
}

// The agent's end ends its loop, not the process.
class LoopEnd : public zed::PosixProcessControl {
public:
    void exit(int status) override { zed::Platform::current().runLoop().exit(status); }
};

// The agent, as its main builds it on a desktop, until it is told to quit.
void runAgent(std::string address, std::string home, std::atomic<bool>* ready) {
    auto platform = std::make_unique<zed::Platform>(zed::Platform::Kind::Linux);
    platform->setPreferences(std::make_unique<zed::FilePreferenceDomains>(home));
    auto connect = [&] {
        sd_bus* bus = nullptr;
        sd_bus_new(&bus);
        zed::BusPtr owned(bus);
        sd_bus_set_address(bus, address.c_str());
        sd_bus_set_bus_client(bus, 1);
        return sd_bus_start(bus) >= 0 ? std::move(owned) : nullptr;
    };
    zed::BusPtr system = connect();
    if (!system || !platform->runLoop().attachBus(system.get())) {
        zed::log("cannot reach the private bus");
        return;
    }
    auto hid = std::make_unique<zed::DesktopHidSystem>(
        [](int*) { return std::make_unique<NotingKeyboard>(); }, nullptr,
        std::make_shared<zed::DesktopHidProperties>(nullptr));
    platform->setRegistry(zed::makeDesktopRegistry(
        std::make_unique<zed::DBusRegistry>(zed::BusPtr(sd_bus_ref(system.get()))),
        hid->propertyTarget()));
    platform->setHidSystem(std::move(hid));
    platform->setLoginSession(std::make_unique<zed::LogindSession>(
        platform->runLoop(), zed::BusPtr(sd_bus_ref(system.get())), getuid(), kSessionId));
    platform->setProcess(std::make_unique<LoopEnd>());
    platform->writePreferencesSoon();
    zed::Platform::install(std::move(platform));

    std::vector<zed::io_service_t> drivers;
    zed::Platform::current().registry().getMatchingServices(zed::driver::kDriverClassName,
                                                            &drivers);
    zed::NotificationPtr floorInterest;
    if (drivers.empty() ||
        zed::Platform::current().registry().addInterestNotification(
            drivers.front(), floorProc, nullptr, &floorInterest) != zed::kIOReturnSuccess) {
        zed::log("no driver to listen to");
        return;
    }
    *ready = true;
    Application::GetApp()->Run();
    floorInterest.reset();
    Application::sApp.reset();
    zed::Platform::install(nullptr);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int samples = 200, rounds = 7;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--samples=", 10) == 0) {
            samples = std::max(8, std::atoi(argv[i] + 10));
        } else if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
            rounds = std::max(5, std::atoi(argv[i] + 9));
        } else {
            std::fprintf(stderr, "usage: %s [--samples=N] [--rounds=N]\n", argv[0]);
            return 2;
        }
    }
    deskfake::LogindMock logind;
    if (const std::string why = logind.start(); !why.empty()) {
        zed::log("%s", why.c_str());
        return 1;
    }
    if (!logind.addSession(kSessionId, "seat0", getuid(), "bench", true)) {
        zed::log("the logind stand-in took no session");
        return 1;
    }
    // The simulated mouse serves the driver's registry on the same bus.
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return 1;
    }
    deskfake::Child sim;
    sim.start({ZED_MOUSE_SIM, "serve"}, {"DBUS_SESSION_BUS_ADDRESS=" + logind.address()}, out[1]);
    close(out[1]);
    std::string said;
    for (char c; said.find("serving") == std::string::npos && read(out[0], &c, 1) == 1;) {
        said += c;
    }
    zed::BusPtr bus = logind.connect();
    sd_bus_message* reply = nullptr;
    if (said.find("serving") == std::string::npos ||
        sd_bus_call_method(bus.get(), "com.tovik.IORegistry", "/com/tovik/MouseSimulator",
                           "com.tovik.MouseSimulator", "Plug", nullptr, &reply, "ii",
                           zed::kTovikVendorId, 1) < 0) {
        zed::log("the simulated mouse did not start");
        return 1;
    }
    sd_bus_message_unref(reply);

    char tmpl[] = "/tmp/zed-desktop-bench-XXXXXX";
    const std::string home = mkdtemp(tmpl);
    std::ofstream(home + "/com.tovik.ZED.plist") << zed::toXmlPropertyList(Value(zed::Dictionary{
        {"ButtonMappings", Value(zed::Array{Value(zed::Data{3, '8'}), Value(zed::Data{7})})},
        {"OtfsOnScreen", Value(std::int32_t{0})}}));
    // The agent's loop takes the quit signals; no other thread may.
    sigset_t quit;
    sigemptyset(&quit);
    for (int signo : Application::kQuitSignals) {
        sigaddset(&quit, signo);
    }
    pthread_sigmask(SIG_BLOCK, &quit, nullptr);
    std::atomic<bool> ready = false;
    std::thread agent(runAgent, logind.address(), home, &ready);

    // One message; the time to the next press, or a negative time.
    const auto once = [&](std::uint32_t word) {
        const long seen = typed.now();
        sd_bus_message* m = nullptr;
        sd_bus_message_new_method_call(bus.get(), &m, "com.tovik.IORegistry",
                                       "/com/tovik/MouseSimulator", "com.tovik.MouseSimulator",
                                       "SendMessage");
        zed::MessagePtr call(m);
        sd_bus_message_append(m, "uut", 0u, word, std::uint64_t{0});
        sd_bus_message_set_expect_reply(m, 0);
        const auto t = Clock::now();
        sd_bus_send(bus.get(), m, nullptr);
        sd_bus_flush(bus.get());
        const bool pressed = typed.waitPast(seen);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return pressed ? ms : -1.0;
    };
    // Until the agent types: it waits for its session and applies the settings first.
    bool typing = false;
    for (int i = 0; i < 100 && !ready; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (int i = 0; ready && i < 10 && !typing; ++i) {
        typing = once(kAgentWord) >= 0;
    }
    std::vector<double> agentAll, floorAll, ratios;
    for (int r = 0; typing && r < rounds; ++r) {
        std::vector<double> a, f;
        for (int turn = 0; turn < 2; ++turn) {
            const bool agentTurn = (turn == 0) == (r % 2 == 0);
            for (int i = 0; i < samples; ++i) {
                const double ms = once(agentTurn ? kAgentWord : kFloorWord);
                if (ms >= 0) {
                    (agentTurn ? a : f).push_back(ms);
                }
            }
        }
        if (median(f) > 0) {
            ratios.push_back(median(a) / median(f));
        }
        agentAll.insert(agentAll.end(), a.begin(), a.end());
        floorAll.insert(floorAll.end(), f.begin(), f.end());
    }
    kill(getpid(), SIGTERM);
    agent.join();
    std::filesystem::remove_all(home);
    if (ratios.empty()) {
        zed::log("the agent typed nothing");
        return 1;
    }
    const auto p99 = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, v.size() * 99 / 100)];
    };
    const double ratio = median(ratios);
    std::printf("%-34s %8.3f %8.3f   %-20s %8.3f %8.3f   %5.2f x [%.2f-%.2f]  (goal <= 1.2: %s)   "
                "n=%zu/%zu, %zu rounds\n",
                "message -> key, desktop + logind", median(agentAll), p99(agentAll),
                "same-process floor", median(floorAll), p99(floorAll), ratio,
                *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), ratio <= 1.2 ? "met" : "NOT met",
                agentAll.size(), floorAll.size(), ratios.size());
    return 0;
}
