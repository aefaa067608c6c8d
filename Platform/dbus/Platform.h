// The process's platform: the services through which the agent and the pane
// reach the operating system (preferences, notifications, the driver's
// registry, the HID system, the login session). Chosen once at start-up
// (ZED_PLATFORM: unset or "linux" for the desktop, "simulator" for the
// simulated mouse); tests install fakes. It lives beside the D-Bus clients
// because the default one sends its notifications on the session bus.
#pragma once

#include "Platform/core/Focus.h"
#include "Platform/core/IOKit.h"
#include "Platform/core/InstalledApplications.h"
#include "Platform/core/NotificationCenter.h"
#include "Platform/core/PreferenceDomains.h"
#include "Platform/core/RunLoop.h"
#include "Platform/core/Session.h"

#include <functional>
#include <memory>
#include <string>
#include <systemd/sd-bus.h>
#include <utility>

namespace zed {

class Platform {
public:
    enum class Kind { Linux, Simulator, Test };

    // The installed platform; installs the default one on first use.
    static Platform& current();
    // Replaces the process's platform (tests, or a program choosing its own).
    static void install(std::unique_ptr<Platform> platform);
    // The platform that ZED_PLATFORM selects: the user's preference files and
    // notifications on the session bus. The agent adds the rest.
    static std::unique_ptr<Platform> makeDefault();

    explicit Platform(Kind kind);
    ~Platform();

    Kind kind() const { return kind_; }
    RunLoop& runLoop() { return *runLoop_; }
    PreferenceDomains& preferences() { return *preferences_; }
    NotificationCenter& distributedCenter() { return *distributedCenter_; }
    Registry& registry() { return *registry_; }
    HidSystem& hidSystem() { return *hidSystem_; }
    LoginSession& loginSession() { return *loginSession_; }
    ProcessControl& process() { return *process_; }
    // The desktop's menu entries, for the pane's choice of applications.
    InstalledApplications& installedApplications() { return *installedApplications_; }
    // The agent's answer to which application is in front, for the pane.
    FrontApplicationQuery& frontApplication() { return *frontApplication_; }

    void setPreferences(std::unique_ptr<PreferenceDomains> p) { preferences_ = std::move(p); }
    void setDistributedCenter(std::unique_ptr<NotificationCenter> c) {
        distributedCenter_ = std::move(c);
    }
    void setRegistry(std::unique_ptr<Registry> r) { registry_ = std::move(r); }
    void setHidSystem(std::unique_ptr<HidSystem> h) { hidSystem_ = std::move(h); }
    void setLoginSession(std::unique_ptr<LoginSession> s) { loginSession_ = std::move(s); }
    void setProcess(std::unique_ptr<ProcessControl> p) { process_ = std::move(p); }
    void setFrontApplication(std::unique_ptr<FrontApplicationQuery> q) {
        frontApplication_ = std::move(q);
    }
    void setInstalledApplications(std::unique_ptr<InstalledApplications> a) {
        installedApplications_ = std::move(a);
    }
    // How to follow the application in front; none until one is set.
    void setFocusTrackers(FocusTrackerFactory f) { focusTrackers_ = std::move(f); }
    std::unique_ptr<FocusTracker> trackFocus(FocusCallback callback, std::string* why) {
        if (!focusTrackers_) {
            *why = "no way to follow the window in front is built in";
            return nullptr;
        }
        return focusTrackers_(*runLoop_, std::move(callback), why);
    }

    // Preference writes wait kWriteDelay after the first unwritten change, so
    // that the synchronizes of a burst are one durable write and the messages
    // right behind a change do not wait for it; however busy the loop, never
    // longer. For programs that run the loop (the agent); others write at
    // each synchronize.
    static constexpr double kWriteDelay = 0.01; // seconds
    void writePreferencesSoon();

    // The default platform's session bus connection (owned by its
    // notification center, attached to the run loop), for the other clients
    // on that bus to share: one connection per bus. Null when there is none.
    sd_bus* sessionBus() const { return sessionBus_; }

    // Called once, from the run loop, when the session bus connection of the
    // default platform is lost (the bus ended, or closed it). Without a
    // handler the process goes on without that bus.
    void setSessionBusLostHandler(std::function<void()> handler) {
        sessionBusLost_ = std::move(handler);
    }
    void sessionBusLost() {
        if (auto handler = std::exchange(sessionBusLost_, nullptr)) {
            handler();
        }
    }

private:
    Kind kind_;
    // Declared first so that it outlives the services whose sources it holds.
    std::unique_ptr<RunLoop> runLoop_;
    std::unique_ptr<PreferenceDomains> preferences_;
    std::unique_ptr<NotificationCenter> distributedCenter_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<HidSystem> hidSystem_;
    std::unique_ptr<LoginSession> loginSession_;
    std::unique_ptr<ProcessControl> process_;
    std::unique_ptr<InstalledApplications> installedApplications_;
    std::unique_ptr<FrontApplicationQuery> frontApplication_;
    std::function<void()> sessionBusLost_;
    FocusTrackerFactory focusTrackers_;
    sd_bus* sessionBus_ = nullptr;
    // The preference write that waits for its timer.
    struct WriteBatch {
        std::function<void()> write;
        RunLoop::SourcePtr timer;
    };
    std::shared_ptr<WriteBatch> pendingWrite_;
};

// Parses ZED_PLATFORM; unknown values get a message and mean the desktop.
Platform::Kind platformKindFromEnvironment();

} // namespace zed
