// zed-agent as a child process on the simulator's platform, with its own
// settings folder and its output kept in files.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace zed::test {

class AgentProcess {
public:
    AgentProcess();
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    bool start();
    // Sends the signal and waits; the exit status, or -1.
    int stop(int signo = 15);
    // Waits for the process to end by itself; the exit status, or -1 after the timeout.
    int wait(double timeoutSeconds);
    bool running() const { return pid_ > 0; }

    std::string out() const;
    std::string err() const;
    // The settings folder (XDG_CONFIG_HOME) and the domain file in it.
    const std::string& configHome() const { return home_; }
    std::string domainFile() const { return home_ + "/com.tovik.ZED.plist"; }
    // Writes the domain file before the agent starts (zed-defaults style input).
    void writeDomain(const std::string& xml) const;

private:
    std::string dir_;
    std::string home_;
    pid_t pid_ = -1;
};

} // namespace zed::test
