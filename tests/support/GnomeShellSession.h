// GNOME Shell, headless on Wayland, on the test's session bus: ZED's
// extension installed as shipped and enabled, beside a test extension that
// lets the test focus windows and take screenshots through the shell's own
// calls. logind is python-dbusmock's, on a private system bus.
#pragma once

#include "LogindMock.h"
#include "SimulatorHarness.h"

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace zed::test {

// A bus of the test's own, for a service whose well-known name tests running
// at once would otherwise contend for.
class PrivateBus {
public:
    // Empty once it runs, else why not.
    std::string start();
    const std::string& address() const { return address_; }

private:
    ChildProcess daemon_{"private-bus-" + std::to_string(getpid()), "/tmp"};
    std::string address_;
};

class GnomeShellSession {
public:
    GnomeShellSession() = default;
    ~GnomeShellSession();
    GnomeShellSession(const GnomeShellSession&) = delete;
    GnomeShellSession& operator=(const GnomeShellSession&) = delete;

    // Starts the shell, then a foot terminal for each application id (with a
    // desktop file of that name); empty once they run, else why not.
    std::string start(const std::vector<std::string>& applications = {});
    // The result of JavaScript run in the shell, or nullopt when it failed.
    std::optional<std::string> eval(const std::string& script) const;
    // Brings the application's window to the front as a click would.
    bool activate(const std::string& application) const;
    // A screenshot of the area, as a PNG file; false when there is none.
    bool screenshot(int x, int y, int width, int height, const std::string& png) const;

private:
    std::filesystem::path dir_;
    deskfake::LogindMock logind_;
    ChildProcess shell_{"gnome-shell-" + std::to_string(getpid()), "/tmp"};
    std::vector<std::unique_ptr<ChildProcess>> apps_;
};

} // namespace zed::test
