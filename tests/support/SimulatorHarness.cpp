#include "SimulatorHarness.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zed::test {

namespace {

// argv for posix_spawn: pointers into the strings, null-terminated.
std::vector<char*> cArgs(const std::vector<std::string>& argv) {
    std::vector<char*> out;
    for (const std::string& a : argv) {
        out.push_back(const_cast<char*>(a.c_str()));
    }
    out.push_back(nullptr);
    return out;
}

// The child starts with no blocked signals, whatever the test blocked.
struct SpawnAttr {
    posix_spawnattr_t attr;
    SpawnAttr() {
        posix_spawnattr_init(&attr);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnAttr() { posix_spawnattr_destroy(&attr); }
};

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (pipe(fd) != 0) {
            fd[0] = fd[1] = -1;
        }
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int i) {
        if (fd[i] >= 0) {
            close(fd[i]);
            fd[i] = -1;
        }
    }
};

} // namespace

std::string sessionBusMissing() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) {
        return "needs a session bus: run under dbus-run-session";
    }
    return {};
}

ProgramResult runProgram(const std::vector<std::string>& argv) {
    ProgramResult result;
    Pipe out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
    posix_spawn_file_actions_addclose(&actions, out.fd[0]);
    posix_spawn_file_actions_addclose(&actions, err.fd[0]);
    SpawnAttr attr;
    auto args = cArgs(argv);
    pid_t pid = -1;
    const int r = posix_spawn(&pid, args[0], &actions, &attr.attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (r != 0) {
        result.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(r);
        return result;
    }
    out.closeEnd(1);
    err.closeEnd(1);
    pollfd fds[2] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                continue;
            }
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

ProgramResult sim(const std::vector<std::string>& args) {
    std::vector<std::string> argv{ZED_MOUSE_SIM};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv);
}

double lastDriverValue(const std::string& key) {
    const std::string field = "\"" + key + "\":{\"type\":\"int32\",\"value\":";
    const auto records = lines(sim({"show", "driver"}).out);
    const auto at = records.empty() ? std::string::npos : records.back().find(field);
    return at == std::string::npos ? 0
                                   : std::atof(records.back().c_str() + at + field.size()) / 65536;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool nameHasOwner(const char* name, BusKind kind) {
    BusPtr bus = openBus(kind);
    if (!bus) {
        return false;
    }
    sd_bus_message* reply = nullptr;
    int has = 0;
    int r = sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s", name);
    MessagePtr owned(reply);
    if (r >= 0) {
        r = sd_bus_message_read(reply, "b", &has);
    }
    return r >= 0 && has;
}

bool waitForOwnership(const char* name, bool owned) {
    for (int i = 0; i < 1000; ++i) {
        if (nameHasOwner(name) == owned) {
            return true;
        }
        usleep(10000);
    }
    return false;
}

bool SimulatorProcess::start(const std::vector<std::string>& options) {
    if (pid_ > 0) {
        return false;
    }
    std::vector<std::string> argv{ZED_MOUSE_SIM, "serve"};
    argv.insert(argv.end(), options.begin(), options.end());
    auto args = cArgs(argv);
    SpawnAttr attr;
    if (posix_spawn(&pid_, args[0], nullptr, &attr.attr, args.data(), environ) != 0) {
        pid_ = -1;
        return false;
    }
    return waitForOwnership("com.tovik.IORegistry", true);
}

bool SimulatorProcess::stop(int signo) {
    if (pid_ <= 0) {
        return true;
    }
    kill(pid_, signo);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return waitForOwnership("com.tovik.IORegistry", false);
}

bool runUntil(RunLoop& loop, const std::function<bool()>& condition, double timeoutSeconds) {
    const double deadline = RunLoop::now() + timeoutSeconds;
    while (!condition()) {
        const double left = deadline - RunLoop::now();
        if (left <= 0) {
            return false;
        }
        loop.runOnce(left < 0.1 ? left : 0.1);
    }
    return true;
}

BusPtr attachedSessionBus(RunLoop& loop) {
    BusPtr bus = openBus(BusKind::Session);
    if (bus) {
        loop.attachBus(bus.get());
    }
    return bus;
}

bool waitFor(const std::function<bool()>& condition, double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int>(timeoutSeconds * 1000));
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

ChildProcess::ChildProcess(std::string name, std::string dir)
    : name_(std::move(name)), dir_(std::move(dir)) {}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool ChildProcess::start(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env) {
    std::vector<std::string> entries;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.count(entry.substr(0, entry.find('=')))) {
            entries.push_back(entry);
        }
    }
    for (const auto& [key, value] : env) {
        if (!value.empty()) {
            entries.push_back(key + "=" + value);
        }
    }
    std::vector<char*> envp;
    for (auto& e : entries) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    auto args = cArgs(argv);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string outPath = dir_ + "/" + name_ + ".out";
    const std::string errPath = dir_ + "/" + name_ + ".err";
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    SpawnAttr attr;
    const int r = posix_spawn(&pid_, args[0], &actions, &attr.attr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (r != 0) {
        pid_ = -1;
    }
    return r == 0;
}

int ChildProcess::wait(double timeoutSeconds) {
    int status = 0;
    if (pid_ <= 0 ||
        !waitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeoutSeconds)) {
        return -1;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int ChildProcess::stop(int signo, double timeoutSeconds) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, signo);
    const int status = wait(timeoutSeconds);
    if (status < 0 && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    return status;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ChildProcess::out() const {
    return readFile(dir_ + "/" + name_ + ".out");
}

std::string ChildProcess::err() const {
    return readFile(dir_ + "/" + name_ + ".err");
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        old_ = old;
    }
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (old_) {
        setenv(name_, old_->c_str(), 1);
    } else {
        unsetenv(name_);
    }
}

} // namespace zed::test
