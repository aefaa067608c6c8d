// Runs zed-mouse-sim as a child process for tests on a real session bus
// (the tests run under dbus-run-session), and the loop-driving helpers those
// tests share.
#pragma once

#include "Platform/DBusValue.h"
#include "Platform/RunLoop.h"

#include <functional>
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
// Runs a zed-mouse-sim command against the running simulator.
ProgramResult sim(const std::vector<std::string>& args);
// Its standard output split into lines.
std::vector<std::string> lines(const std::string& text);

// Whether some connection owns the name, asked on a private connection.
bool nameHasOwner(const char* name);
// Polls until the name's ownership is as wanted; false after 10 seconds.
bool waitForOwnership(const char* name, bool owned);

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
