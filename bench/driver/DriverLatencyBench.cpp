// From a mouse's report to the virtual pointer's event, on a real kernel
// (scripts/vm-test --bench runs it in the test machine). A virtual USB mouse
// made through uhid sends reports one at a time; the time until each arrives
// on the output device is measured for
//   adopted: a process holding one AdoptedMouse on its sd-event loop, and
//   floor:   a process with a bare loop that reads the mouse's evdev node and
//            writes what it read to a plain uinput device,
// both started from this program, so that the two share the machine and the
// run, and between them the floor's loop on sd-event, to tell the event
// loop's share from the adopted mouse's. Prints p50 and p99 of each, the
// ratios of the adopted mouse to the floor, and the adopted process's resident
// memory while idle.
#include "Driver/AdoptedMouse.h"
#include "Platform/core/Log.h"
#include "Platform/core/RunLoop.h"
#include "Platform/core/UniqueFd.h"
#include "UhidMouse.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <optional>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using zed::UniqueFd;
using Clock = std::chrono::steady_clock;

// Tells the parent the output device's node, one line on standard output.
void announce(const char* node) {
    std::printf("%s\n", node ? node : "");
    std::fflush(stdout);
}

int serveAdopted(const std::string& node) {
    zed::RunLoop loop;
    zed::driver::MouseIdentity id;
    id.name = "benchmark mouse";
    id.node = node;
    std::string error;
    auto mouse = zed::driver::AdoptedMouse::open(loop.event(), id, {}, &error);
    if (!mouse) {
        zed::log("%s", error.c_str());
        return 1;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!mouse->grabbed() && Clock::now() < deadline) {
        loop.runOnce(0.01);
    }
    if (!mouse->grabbed()) {
        zed::log("the adopted mouse never grabbed");
        return 1;
    }
    auto stop = loop.addSignal(SIGTERM, [&] { loop.exit(0); });
    announce(mouse->virtualPointer().devnode());
    return loop.run();
}

// The source node grabbed, and a plain uinput copy of it.
struct Copy {
    UniqueFd in;
    libevdev* dev = nullptr;
    libevdev_uinput* out = nullptr;

    explicit Copy(const std::string& node)
        : in(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        if (!in || libevdev_new_from_fd(in.get(), &dev) != 0 ||
            ::ioctl(in.get(), EVIOCGRAB, 1) != 0 ||
            libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &out) != 0) {
            zed::log("cannot grab %s or make its copy", node.c_str());
            out = nullptr;
        }
    }
    ~Copy() {
        libevdev_uinput_destroy(out);
        libevdev_free(dev);
    }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;
};

// The same bare read and write, on an sd-event loop: how much of the
// adopted mouse's time is the event loop's own.
int serveLoop(const std::string& node) {
    Copy copy(node);
    if (!copy.out) {
        return 1;
    }
    zed::RunLoop loop;
    const int outFd = libevdev_uinput_get_fd(copy.out);
    auto source = loop.addFd(copy.in.get(), POLLIN, [&](std::uint32_t) {
        input_event events[64];
        const ssize_t n = ::read(copy.in.get(), events, sizeof events);
        if (n > 0 && ::write(outFd, events, static_cast<std::size_t>(n)) != n) {
            loop.exit(1);
        }
    });
    auto stop = loop.addSignal(SIGTERM, [&] { loop.exit(0); });
    announce(libevdev_uinput_get_devnode(copy.out));
    return loop.run();
}

int serveFloor(const std::string& node) {
    Copy copy(node);
    if (!copy.out) {
        return 1;
    }
    announce(libevdev_uinput_get_devnode(copy.out));
    const int outFd = libevdev_uinput_get_fd(copy.out);
    UniqueFd& in = copy.in;
    input_event events[64];
    for (;;) { // ends with SIGTERM; the kernel destroys the device
        pollfd p{in.get(), POLLIN, 0};
        if (::poll(&p, 1, -1) < 0 && errno != EINTR) {
            return 1;
        }
        const ssize_t n = ::read(in.get(), events, sizeof events);
        if (n > 0 && ::write(outFd, events, static_cast<std::size_t>(n)) != n) {
            return 1;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return 1;
        }
    }
}

// A child process serving one mode, and the output node it announced.
struct Server {
    pid_t pid = -1;
    std::string node;
};

Server start(const char* mode, const std::string& source) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return {};
    }
    UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(writeEnd.get(), STDOUT_FILENO);
        ::execl("/proc/self/exe", "driver_latency_bench", mode, source.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    writeEnd.reset();
    Server server;
    server.pid = pid;
    std::string line;
    char c = 0;
    pollfd p{readEnd.get(), POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0 && ::read(readEnd.get(), &c, 1) == 1 && c != '\n') {
        line += c;
    }
    server.node = line;
    return server;
}

void stop(Server& server) {
    if (server.pid > 0) {
        ::kill(server.pid, SIGTERM);
        ::waitpid(server.pid, nullptr, 0);
        server.pid = -1;
    }
}

// Waits for the end of the next frame on the node's descriptor; when the
// kernel took it in (the output device's write), on the monotonic clock.
std::optional<Clock::time_point> awaitFrame(int fd) {
    input_event events[64];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) {
            return std::nullopt;
        }
        const ssize_t n = ::read(fd, events, sizeof events);
        for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof(input_event)); ++i) {
            if (events[i].type == EV_SYN && events[i].code == SYN_REPORT) {
                const auto since = std::chrono::seconds(events[i].input_event_sec) +
                                   std::chrono::microseconds(events[i].input_event_usec);
                return Clock::time_point(std::chrono::duration_cast<Clock::duration>(since));
            }
        }
    }
}

struct Figures {
    double p50 = 0;
    double p99 = 0;
    std::size_t lost = 0;
};

// One path from a uhid mouse to an output node, and what it took.
struct Path {
    zed::test::UhidMouse* mouse;
    UniqueFd output;
    std::vector<double> took; // microseconds
    std::size_t lost = 0;

    Figures figures() {
        Figures f;
        f.lost = lost;
        if (!took.empty()) {
            std::sort(took.begin(), took.end());
            f.p50 = took[took.size() / 2];
            f.p99 = took[std::min(took.size() - 1, took.size() * 99 / 100)];
        }
        return f;
    }
};

// Opens an output node with event times on the clock of steady_clock, so
// that the time this reader takes to wake up stays out of the figures.
UniqueFd openOutput(const std::string& node) {
    UniqueFd fd(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    int clock = CLOCK_MONOTONIC;
    if (!fd || ::ioctl(fd.get(), EVIOCSCLOCKID, &clock) != 0) {
        zed::logErrno(errno, "cannot read %s", node.c_str());
        return UniqueFd();
    }
    return fd;
}

// Sends one report of motion; the time until the output device took in its
// frame, unless `record` is false (warming up).
void sendOne(Path& path, int i, bool record) {
    // A mouse at 1 kHz: the driver sleeps between reports.
    std::this_thread::sleep_for(std::chrono::microseconds(1000));
    const auto sent = Clock::now();
    std::optional<Clock::time_point> arrived;
    if (path.mouse->send({.x = static_cast<std::int16_t>(i % 2 ? 1 : -1)})) {
        arrived = awaitFrame(path.output.get());
    }
    if (!record) {
        return;
    }
    if (!arrived) {
        ++path.lost;
        return;
    }
    path.took.push_back(std::chrono::duration<double, std::micro>(*arrived - sent).count());
}

// A process's resident memory in kB, from /proc.
long residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--serve-adopted") {
        return serveAdopted(argv[2]);
    }
    if (argc == 3 && std::string(argv[1]) == "--serve-loop") {
        return serveLoop(argv[2]);
    }
    if (argc == 3 && std::string(argv[1]) == "--serve-floor") {
        return serveFloor(argv[2]);
    }
    int count = 2000;
    if (argc == 3 && std::string(argv[1]) == "--reports") {
        count = std::max(10, std::atoi(argv[2]));
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: driver_latency_bench [--reports N]\n");
        return 2;
    }
    for (const char* node : {"/dev/uhid", "/dev/uinput"}) {
        if (::access(node, R_OK | W_OK) != 0) {
            zed::log("needs %s (run it in the test machine: scripts/vm-test --bench)", node);
            return 1;
        }
    }
    // Everything on one processor: the figures are the software's path, not
    // how soon the machine wakes a sleeping processor (seconds of noise under
    // emulation). The processes started below inherit it.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    ::sched_setaffinity(0, sizeof one, &one);

    // One mouse for each path, their reports alternating, so that all see the
    // same machine at the same time.
    struct Setup {
        const char* mode;
        const char* label;
        zed::test::UhidMouse mouse;
        Server server;
        Path path;
    };
    Setup setups[] = {
        {"--serve-adopted", "adopted mouse", {}, {}, {}},
        {"--serve-loop", "read and write on sd-event", {}, {}, {}},
        {"--serve-floor", "floor (read and write)", {}, {}, {}},
    };
    bool started = true;
    for (Setup& setup : setups) {
        const std::string node = setup.mouse.evdevNode();
        setup.server = node.empty() ? Server{} : start(setup.mode, node);
        setup.path.mouse = &setup.mouse;
        setup.path.output = setup.server.node.empty() ? UniqueFd() : openOutput(setup.server.node);
        if (!setup.path.output) {
            zed::log("%s did not start %s", setup.label, setup.mouse.error().c_str());
            started = false;
        }
    }
    if (!started) {
        for (Setup& setup : setups) {
            stop(setup.server);
        }
        return 1;
    }
    const int warmup = std::max(10, count / 20);
    // Each path takes its turn first, second and last.
    constexpr std::size_t kPaths = std::size(setups);
    for (int i = 0; i < warmup + count; ++i) {
        for (std::size_t k = 0; k < kPaths; ++k) {
            sendOne(setups[(static_cast<std::size_t>(i) + k) % kPaths].path, i, i >= warmup);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long rss = residentKb(setups[0].server.pid);
    for (Setup& setup : setups) {
        stop(setup.server);
    }

    std::ifstream clocksource("/sys/devices/system/clocksource/clocksource0/current_clocksource");
    std::string clockName;
    clocksource >> clockName;
    std::printf("bench: %d reports of motion on each path, from the uhid report to the output "
                "device's event (clock source %s)\n",
                count, clockName.c_str());
    bool lost = false;
    Figures figures[std::size(setups)];
    for (std::size_t k = 0; k < std::size(setups); ++k) {
        figures[k] = setups[k].path.figures();
        std::printf("bench: %-28s p50 %8.1f us  p99 %8.1f us  (lost %zu)\n", setups[k].label,
                    figures[k].p50, figures[k].p99, figures[k].lost);
        lost = lost || figures[k].lost;
    }
    const Figures& d = figures[0];
    const Figures& f = figures[2];
    if (f.p50 > 0 && f.p99 > 0) {
        std::printf("bench: ratio adopted / floor: p50 %.2f  p99 %.2f (goal: at most 1.5)\n",
                    d.p50 / f.p50, d.p99 / f.p99);
    }
    std::printf("bench: adopted mouse process resident when idle: %ld kB\n", rss);
    return lost ? 1 : 0;
}
