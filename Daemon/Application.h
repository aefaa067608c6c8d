// The agent's single Application: waits for a console login, installs the
// handlers and runs the event loop.
#pragma once

#include "ApplicationSwitch.h"
#include "Platform/core/IOKit.h"
#include "Preferences.h"

#include <csignal>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Holds the device registrations; they are delivered on the run loop.
struct NotificationPort {
    std::vector<zed::NotificationPtr> registrations;
    std::vector<std::shared_ptr<zed::ServiceIterator>> iterators;
    // One general-interest registration per driver instance.
    std::map<zed::io_service_t, zed::NotificationPtr> driverRegistrations;
};

class Application {
public:
    static constexpr double kResendDelay = 15.0;    // seconds after start
    static constexpr unsigned kLoginPollPeriod = 1; // seconds
    // The quit request: a service manager's stop, or Ctrl+C in a terminal.
    static constexpr int kQuitSignals[] = {SIGTERM, SIGINT};

    static Application* GetApp();
    virtual ~Application();

    // From what the session's change signals last said; askNow asks the
    // session service instead (a wait that does not run the loop).
    bool IsLoggedIn(bool askNow = false);
    void Init();
    void Run();
    void Terminate();
    void RegisterForDeviceNotif();
    // Polls the console once a period until this user is logged in on it. A
    // quit request meanwhile ends the process as the quit handler does; false
    // then (when the process control's exit returns, as a test's does).
    bool WaitForConsole();

    zed::io_service_t driverService = 0;
    zed::io_service_t hidSystem = 0;
    std::optional<std::string> userName;
    std::int32_t userId = 0;
    std::unique_ptr<Preferences> prefs;
    std::unique_ptr<NotificationPort> notifyPort;
    ApplicationSwitch perApplication;
    bool hadPrefs = false;

    // The one instance; tests reset it between cases.
    static std::unique_ptr<Application> sApp;

private:
    Application() = default;
    void InstallQuitHandler();
    bool RunAsConsoleUser();

    bool quitHandlerInstalled = false;
};

// Writes the message and a newline to standard output.
void PrintMsg(const char* message);

// The one-shot timer that re-applies the settings after start.
void ResendPrefs(void* timer, void* info);
