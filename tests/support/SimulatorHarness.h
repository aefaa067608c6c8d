// Runs zed-mouse-sim as a child process for tests on a real session bus
// (the tests run under dbus-run-session), and the loop-driving helpers those
// tests share.
#pragma once

#include "Platform/core/RunLoop.h"
#include "Platform/dbus/DBusValue.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zed::test {

// Why a bus test cannot run here, or empty when it can.
std::string sessionBusMissing();

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a program to its end, capturing its output.
ProgramResult runProgram(const std::vector<std::string>& argv);
// A file's whole contents (empty when it cannot be read).
std::string readFile(const std::string& path);
// Runs a zed-mouse-sim command against the running simulator.
ProgramResult sim(const std::vector<std::string>& args);
// Its standard output split into lines.
std::vector<std::string> lines(const std::string& text);
// The 32-bit integer under the key in the driver's last record, in 16.16
// fixed point as a number; 0 when the record has none.
double lastDriverValue(const std::string& key);

// Whether some connection owns the name, asked on a private connection to
// the given bus.
bool nameHasOwner(const char* name, BusKind bus = BusKind::Session);
// Polls until the name's ownership is as wanted; false after 10 seconds.
bool waitForOwnership(const char* name, bool owned);

// A program running beside the test, its output kept in DIR/NAME.out and
// DIR/NAME.err; killed if still running when the object goes.
class ChildProcess {
public:
    ChildProcess(std::string name, std::string dir);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The test's environment with `env` laid over it (an empty value removes
    // the variable); no signal blocked in the child.
    bool start(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& env = {});
    // Its exit status once it has ended by itself, or -1 after the timeout.
    int wait(double timeoutSeconds);
    // Sends the signal and waits for the exit status (-1, and killed, when it
    // has not ended within the timeout).
    int stop(int signo = 15, double timeoutSeconds = 10);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    std::string out() const;
    std::string err() const;
    std::string log() const { return out() + err(); }

private:
    std::string name_;
    std::string dir_;
    pid_t pid_ = -1;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// The simulator serving on the session bus while this object lives.
class SimulatorProcess {
public:
    SimulatorProcess() = default;
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
    ~SimulatorProcess() { stop(); }

    // Starts "serve" and waits until it owns its name.
    bool start(const std::vector<std::string>& options = {});
    // Ends it with the signal and waits for it and for its name to go.
    bool stop(int signo = 15);
    bool running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

// Polls the condition (other processes make it true) every 50 ms; false when
// it still does not hold after timeoutSeconds.
bool waitFor(const std::function<bool()>& condition, double timeoutSeconds = 20);

// Runs the loop until the condition holds; false after timeoutSeconds.
bool runUntil(RunLoop& loop, const std::function<bool()>& condition, double timeoutSeconds = 10);

// A new session-bus connection attached to the loop.
BusPtr attachedSessionBus(RunLoop& loop);

} // namespace zed::test
