// zed-agent as a child process on the simulator's (or the desktop's)
// platform, with its own settings folder and its output kept in files.
#pragma once

#include "SimulatorHarness.h"

#include <string>

namespace zed::test {

class AgentProcess {
public:
    AgentProcess();
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    // On the simulator's platform, with more environment if given.
    bool start(const std::map<std::string, std::string>& more = {});
    // On the desktop's platform: the registry of the driver on the system
    // bus, a uinput keyboard, logind when it runs.
    bool startOnDesktop();
    // Sends the signal and waits; the exit status, or -1 when it has not
    // ended within the timeout (it is killed then).
    int stop(int signo = 15, double timeoutSeconds = 10) {
        return child_.stop(signo, timeoutSeconds);
    }
    // Waits for the process to end by itself; the exit status, or -1 after the timeout.
    int wait(double timeoutSeconds) { return child_.wait(timeoutSeconds); }
    bool running() const { return child_.running(); }
    pid_t pid() const { return child_.pid(); }

    std::string out() const { return child_.out(); }
    std::string err() const { return child_.err(); }
    // The settings folder (XDG_CONFIG_HOME) and the domain file in it.
    const std::string& configHome() const { return home_; }
    std::string domainFile() const { return home_ + "/com.tovik.ZED.plist"; }
    // Writes the domain file before the agent starts.
    void writeDomain(const std::string& xml) const;

private:
    static std::string makeDir();

    std::string dir_;
    std::string home_;
    ChildProcess child_;
};

} // namespace zed::test
