// sway headless for tests, run as nobody (sway refuses root) with its own
// runtime folder: Wayland clients, swaymsg and grim against it.
#pragma once

#include "SimulatorHarness.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace zed::test {

// Why the programs cannot run here: the first one missing; empty if none.
std::string missingPrograms(std::initializer_list<std::string> programs);

class SwaySession {
public:
    SwaySession() = default;
    ~SwaySession();
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    // Starts sway on one 800x600 output HEADLESS-1 with the further config
    // lines, and waits for its IPC socket; empty when it runs, else why not
    // (the test is skipped then).
    std::string start(const std::string& moreConfig = {});

    // The IPC socket (SWAYSOCK) and the Wayland socket by its full path,
    // which clients of other users name in WAYLAND_DISPLAY.
    const std::string& ipcSocket() const { return ipc_; }
    std::string waylandDisplay() const;
    const std::string& runtimeDir() const { return runtime_; }

    // swaymsg's output for the command.
    std::string swaymsg(std::vector<std::string> args) const;
    // Starts a Wayland client on this sway as nobody.
    bool startClient(ChildProcess& client, std::vector<std::string> argv) const;
    // Runs a Wayland client on this sway as nobody to its end.
    ProgramResult runClient(std::vector<std::string> argv) const;

private:
    std::vector<std::string> asNobody(std::vector<std::string> argv) const;

    std::string runtime_;
    std::string ipc_;
    ChildProcess sway_{"sway", "/tmp"};
};

} // namespace zed::test
