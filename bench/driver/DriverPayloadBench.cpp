// The driver's loop while SetProperties payloads meant to stall it arrive.
// A plain program: it starts a private bus daemon, then per case a server
// process built as the driver is (the registry with one mouse's services on
// its own thread, with an authorisation that allows or refuses this
// program's uid; on the main thread the sd-event loop that would move the
// pointer, with a 1 ms timer recording the largest gap between its ticks),
// and sends from its own process:
//   refused 200k:  payloads of 200,000 entries (about 5 MB) from a refused caller
//   allowed 200k:  the same from an allowed caller
//   allowed 20M:   one 20 MiB string from an allowed caller
//   refused 20M:   the same from a refused caller
// The floor is the same loop's worst gap with the name owned and no traffic,
// measured in the same process just before. Prints per case the worst gap
// and the floor in wall time and in the loop thread's own CPU time, their ratios,
// the client's slowest call, the server's resident memory before and after,
// and the answer.
#include "Driver/RegistryThread.h"
#include "Platform/core/Log.h"
#include "Platform/core/RunLoop.h"
#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/RegistryServer.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <systemd/sd-event.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kWho = "driver_payload_bench";
constexpr std::uint64_t kTickUsec = 1000;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

zed::BusPtr connect(const std::string& address) {
    sd_bus* raw = nullptr;
    if (sd_bus_new(&raw) < 0) {
        return nullptr;
    }
    zed::BusPtr bus(raw);
    if (sd_bus_set_address(raw, address.c_str()) < 0 || sd_bus_set_bus_client(raw, 1) < 0 ||
        sd_bus_start(raw) < 0) {
        return nullptr;
    }
    return bus;
}

// The largest gap between the ticks of a 1 ms timer (accuracy 1 µs: no
// coalescing) since the last reset, in wall time and in the loop thread's own
// CPU time: on a busy machine the first also holds the time others ran, the
// second is the loop's own work alone.
class GapRecorder {
public:
    explicit GapRecorder(sd_event* event) {
        sd_event_add_time_relative(event, &source_, CLOCK_MONOTONIC, kTickUsec, 1, &onTick, this);
        sd_event_source_set_enabled(source_, SD_EVENT_ON);
        last_ = Clock::now();
        lastCpu_ = cpuMs();
    }
    ~GapRecorder() { sd_event_source_disable_unref(source_); }
    GapRecorder(const GapRecorder&) = delete;
    GapRecorder& operator=(const GapRecorder&) = delete;

    double worst() const { return ms(worst_); }
    double worstCpu() const { return worstCpu_; }
    void reset() {
        worst_ = {};
        worstCpu_ = 0;
    }

private:
    static double cpuMs() {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
    }
    static int onTick(sd_event_source* s, std::uint64_t usec, void* self) {
        auto* r = static_cast<GapRecorder*>(self);
        const auto now = Clock::now();
        const double cpu = cpuMs();
        r->worst_ = std::max(r->worst_, now - r->last_);
        r->worstCpu_ = std::max(r->worstCpu_, cpu - r->lastCpu_);
        r->last_ = now;
        r->lastCpu_ = cpu;
        sd_event_source_set_time(s, usec + kTickUsec);
        sd_event_source_set_enabled(s, SD_EVENT_ON);
        return 0;
    }

    sd_event_source* source_ = nullptr;
    Clock::time_point last_;
    double lastCpu_ = 0;
    Clock::duration worst_{};
    double worstCpu_ = 0;
};

// The server process, built as the driver is: the registry on its own
// thread, the loop that would move the pointer on this one. Says "ready" on
// `out` once the floor is measured, and its figures when SIGTERM ends it.
int serve(const std::string& address, bool allow, int out) {
    zed::RunLoop loop;
    auto term = loop.addSignal(SIGTERM, [&loop] { loop.exit(0); });
    if (!term) {
        zed::log("the server cannot start");
        return 1;
    }
    const uid_t allowed = allow ? ::getuid() : ::getuid() + 1;
    zed::driver::RegistryThread::Options options;
    options.who = kWho;
    options.connect = [address] { return connect(address); };
    options.authorise = [allowed](uid_t uid) { return uid == allowed; };
    options.followSleep = false;
    zed::driver::RegistryThread::Mice mice;
    mice.apply = [](zed::driver::RegistryThread::MouseId, const zed::driver::DriverSettings&) {};
    mice.unpublished = [](zed::driver::RegistryThread::MouseId) {};
    mice.sleep = [](bool, std::function<void()> done) { done(); };
    mice.failed = [] {};
    std::string error;
    auto registry = zed::driver::RegistryThread::start(options, mice, &error);
    if (!registry) {
        zed::log("%s", error.c_str());
        return 1;
    }
    const zed::driver::MouseIdentity id{"Bench Mouse", zed::driver::kMakerVendorId,
                                        zed::driver::kOtherProductId, "/dev/null", "/sys/bench"};
    registry->publish(1, id);
    GapRecorder gaps(loop.event());
    const auto floorEnd = Clock::now() + std::chrono::seconds(1);
    while (Clock::now() < floorEnd) {
        loop.runOnce(0.1);
    }
    const double floor = gaps.worst();
    const double floorCpu = gaps.worstCpu();
    const long rssBefore = residentKb();
    gaps.reset();
    dprintf(out, "ready\n");
    loop.run();
    dprintf(out, "%.3f %.3f %.3f %.3f %ld %ld\n", floor, gaps.worst(), floorCpu, gaps.worstCpu(),
            rssBefore, residentKb());
    return 0;
}

// 200,000 entries "K000000" -> int32: about 4.8 MB on the wire.
int appendManyEntries(sd_bus_message* m) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    char key[16];
    for (int i = 0; r >= 0 && i < 200'000; ++i) {
        std::snprintf(key, sizeof key, "K%06d", i);
        r = sd_bus_message_append(m, "{sv}", key, "i", i);
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

int appendHugeString(sd_bus_message* m) {
    const std::string text(20u << 20, 'x');
    return sd_bus_message_append(m, "a{sv}", 1, "Name", "s", text.c_str());
}

struct Case {
    const char* name;
    bool allow;
    int (*append)(sd_bus_message*);
    int calls;
};

// One case: its server, its calls, its figures.
bool run(const std::string& address, const Case& c) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return false;
    }
    const pid_t server = ::fork();
    if (server == 0) {
        ::close(pipeFds[0]);
        // Exec'd afresh: the server's memory is its own, not a copy of this one's.
        const std::string fd = std::to_string(pipeFds[1]);
        ::execl("/proc/self/exe", kWho, "--serve", address.c_str(), c.allow ? "allow" : "refuse",
                fd.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(pipeFds[1]);
    FILE* from = ::fdopen(pipeFds[0], "r");
    char line[256] = {};
    if (server < 0 || !from || !std::fgets(line, sizeof line, from)) {
        zed::log("the server did not start");
        return false;
    }
    zed::BusPtr bus = connect(address);
    const std::string path = zed::registrybus::servicePath(1);
    double slowest = 0;
    std::string answer;
    for (int i = 0; bus && i < c.calls; ++i) {
        sd_bus_message* raw = nullptr;
        sd_bus_message_new_method_call(bus.get(), &raw, zed::registrybus::kBusName, path.c_str(),
                                       zed::registrybus::kServiceInterface, "SetProperties");
        zed::MessagePtr call(raw);
        if (!call || c.append(call.get()) < 0) {
            zed::log("cannot build the payload");
            return false;
        }
        zed::BusError error;
        sd_bus_message* reply = nullptr;
        const auto start = Clock::now();
        const int r = sd_bus_call(bus.get(), call.get(), 60'000'000, error.get(), &reply);
        slowest = std::max(slowest, ms(Clock::now() - start));
        zed::MessagePtr kept(reply);
        std::int32_t status = 0;
        answer =
            r < 0 ? error.text(r)
                  : (sd_bus_message_read(reply, "i", &status) >= 0 ? std::to_string(status) : "?");
    }
    ::kill(server, SIGTERM);
    double floor = 0, worst = 0, floorCpu = 0, worstCpu = 0;
    long rssBefore = 0, rssAfter = 0;
    const bool got = std::fgets(line, sizeof line, from) &&
                     std::sscanf(line, "%lf %lf %lf %lf %ld %ld", &floor, &worst, &floorCpu,
                                 &worstCpu, &rssBefore, &rssAfter) == 6;
    std::fclose(from);
    int status = 0;
    ::waitpid(server, &status, 0);
    if (!got) {
        zed::log("no figures from the server");
        return false;
    }
    std::printf("%-13s worst gap %7.2f ms (floor %5.2f, ratio %5.1f)  its own CPU %7.2f ms "
                "(floor %4.2f, ratio %5.1f)  slowest call %6.1f ms  RSS %4.1f -> %4.1f MB  %s\n",
                c.name, worst, floor, worst / floor, worstCpu, floorCpu, worstCpu / floorCpu,
                slowest, rssBefore / 1024.0, rssAfter / 1024.0, answer.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--serve") == 0) {
        return serve(argv[2], std::strcmp(argv[3], "allow") == 0, std::atoi(argv[4]));
    }
    char tmpl[] = "/tmp/zed-payload-bench-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string address = "unix:path=" + dir + "/bus";
    const pid_t daemon = ::fork();
    if (daemon == 0) {
        const std::string arg = "--address=" + address;
        ::execl("/usr/bin/dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile",
                arg.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    for (int i = 0; i < 100 && !std::filesystem::exists(dir + "/bus"); ++i) {
        ::usleep(50'000);
    }
    const Case cases[] = {
        {"refused 200k", false, &appendManyEntries, 5},
        {"allowed 200k", true, &appendManyEntries, 5},
        {"allowed 20M", true, &appendHugeString, 3},
        {"refused 20M", false, &appendHugeString, 3},
    };
    bool ok = daemon > 0;
    for (const Case& c : cases) {
        ok = ok && run(address, c);
    }
    if (daemon > 0) {
        ::kill(daemon, SIGTERM);
        ::waitpid(daemon, nullptr, 0);
    }
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
