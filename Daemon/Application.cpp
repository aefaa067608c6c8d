#include "Application.h"

#include "CallBacks.h"
#include "HidUtils.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"
#include "Platform/core/SettingsKeys.h"
#include "Platform/dbus/Platform.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

std::unique_ptr<Application> Application::sApp;

namespace {
// The status reported when the quit handler cannot be installed.
constexpr zed::IOReturn kQuitHandlerFailed = -1;
} // namespace

Application* Application::GetApp() {
    if (!sApp) {
        sApp.reset(new Application());
    }
    return sApp.get();
}

Application::~Application() = default;

void PrintMsg(const char* message) {
    if (!message) {
        return;
    }
    std::fprintf(stdout, "%s\n", message);
    std::fflush(stdout);
}

bool Application::IsLoggedIn(bool askNow) {
    auto& login = zed::Platform::current().loginSession();
    auto session = askNow ? login.askCurrentDictionary() : login.copyCurrentDictionary();
    if (!session) {
        PrintMsg("Unable to get session dictionary.");
        return false;
    }
    auto flag = [&](const char* key) {
        const zed::Value* v = zed::lookup(*session, key);
        return v && v->toBool().value_or(false);
    };
    if (!flag(zed::kCGSessionLoginDoneKey)) {
        return false;
    }
    const zed::Value* name = zed::lookup(*session, zed::kCGSSessionUserNameKey);
    userName =
        (name && name->asString()) ? std::optional<std::string>(*name->asString()) : std::nullopt;
    const zed::Value* uid = zed::lookup(*session, zed::kCGSSessionUserIDKey);
    userId = uid ? uid->toInt32().value_or(0) : 0;
    return flag(zed::kCGSessionOnConsoleKey);
}

// The quit request reaches a desktop agent as a signal. Its run-loop sources
// also keep the signals blocked, so that the waits for the console can take
// them (ProcessControl::sleep) instead of their default action ending the
// process with a signal status.
void Application::InstallQuitHandler() {
    if (quitHandlerInstalled) {
        return;
    }
    quitHandlerInstalled = true;
    bool installed = true;
    for (int signo : kQuitSignals) {
        if (auto source = zed::Platform::current().runLoop().addSignal(
                signo, [] { HandleAEQuit(nullptr, nullptr, 0); })) {
            source->detach();
        } else {
            installed = false;
        }
    }
    PrintIOErrMsg(installed ? zed::kIOReturnSuccess : kQuitHandlerFailed,
                  "Error registering for Quit apple event.");
    // Without its session bus the agent hears no pane and reaches no session;
    // a failure status has the service manager start it again.
    zed::Platform::current().setSessionBusLostHandler([] {
        zed::log("the session bus went away; ending.");
        if (sApp) {
            sApp->Terminate();
        }
        zed::Platform::current().process().exit(1);
    });
}

bool Application::WaitForConsole() {
    auto& process = zed::Platform::current().process();
    while (!IsLoggedIn(true)) {
        if (process.sleep(kLoginPollPeriod, kQuitSignals) != 0) {
            HandleAEQuit(nullptr, nullptr, 0);
            return false;
        }
    }
    return true;
}

// Takes on the console user's identity.
//
// Not root: setuid with that user's id, result ignored; an ordinary user can
// only become itself, and the agent runs on as the user it started as.
//
// Root, for a user other than root: that user's supplementary groups, primary
// group and then user id, in that order (the group calls need root), each
// checked. Any failure ends the agent with status 1 rather than going on:
// still root, or half switched, it would write root-owned files into the
// user's home and serve their session with rights that are not theirs.
// Then HOME comes from the password database and XDG_CONFIG_HOME goes, so
// that the domain read and written is the one in the user's home, not in the
// home of the environment root was started with.
bool Application::RunAsConsoleUser() {
    auto& process = zed::Platform::current().process();
    const uid_t uid = userId != 0 ? static_cast<uid_t>(userId) : process.getuid();
    if (process.geteuid() != 0 || uid == 0) {
        process.setuid(uid);
        return true;
    }
    auto fail = [&](const std::string& what) {
        zed::log("%s; not going on as root.", what.c_str());
        process.exit(1);
        return false;
    };
    const std::string id = "user id " + std::to_string(uid);
    const auto user = process.userById(uid);
    if (!user) {
        return fail(id + " is not in the password database");
    }
    auto failed = [&](const char* what) {
        const int error = errno;
        return fail("cannot set the " + std::string(what) + " of \"" + user->name + "\" (" + id +
                    "): " + std::strerror(error));
    };
    if (process.initgroups(user->name, user->gid) != 0) {
        return failed("supplementary groups");
    }
    if (process.setgid(user->gid) != 0) {
        return failed("group");
    }
    if (process.setuid(uid) != 0) {
        return failed("user id");
    }
    process.setEnvironment("HOME", user->home.empty() ? std::nullopt : std::optional(user->home));
    process.setEnvironment("XDG_CONFIG_HOME", std::nullopt);
    return true;
}

void Application::Init() {
    auto& platform = zed::Platform::current();
    prefs = std::make_unique<Preferences>();
    notifyPort = std::make_unique<NotificationPort>();

    InstallQuitHandler(); // done already when Run came first

    platform.loginSession().setActivatedHandler(
        [] { SwitchEventsHandler(nullptr, nullptr, nullptr); });

    platform.distributedCenter().addObserver(
        nullptr, zed::settings::kNotificationName, zed::settings::kNotificationObject,
        [](const std::string& name, const std::string& object, const zed::Dictionary* userInfo) {
            PrefNotifProc(nullptr, nullptr, name, object, userInfo);
        });

    // Device arrival and removal, for each product id; each registration's
    // iterator is drained at once, which applies the settings to a mouse
    // that is already plugged in.
    zed::Dictionary matching{{zed::driver::kVendorIdKey, zed::Value(zed::kTovikVendorId)}};
    for (std::int32_t product : zed::kCopperhoundProductIds) {
        matching[zed::driver::kProductIdKey] = zed::Value(product);
        struct Step {
            zed::MatchEvent event;
            zed::MatchingCallback callback;
            const char* error;
        };
        for (const Step& step : {Step{zed::MatchEvent::FirstMatch, DeviceAddedNotifProc,
                                      "Error registering matching notif proc."},
                                 Step{zed::MatchEvent::Terminate, DeviceRemovedNotifProc,
                                      "Error registering terminated notif proc."}}) {
            std::shared_ptr<zed::ServiceIterator> iterator;
            zed::NotificationPtr registration;
            PrintIOErrMsg(platform.registry().addMatchingNotification(
                              step.event, zed::driver::kUsbDeviceClassName, matching, step.callback,
                              nullptr, &iterator, &registration),
                          step.error);
            if (registration) {
                notifyPort->registrations.push_back(std::move(registration));
            }
            if (iterator) {
                notifyPort->iterators.push_back(iterator);
                step.callback(nullptr, *iterator);
            }
        }
    }
}

void Application::RegisterForDeviceNotif() {
    if (!notifyPort) {
        return;
    }
    auto& registry = zed::Platform::current().registry();
    // A registration dies with its driver instance or with the provider that
    // served it; dead ones are dropped, so a handle handed out again (a new
    // instance, or a restarted provider) is registered afresh.
    std::erase_if(notifyPort->driverRegistrations,
                  [](const auto& entry) { return !entry.second->live(); });
    if (notifyPort->driverRegistrations.count(driverService)) {
        return; // one registration per instance: each message arrives once
    }
    zed::NotificationPtr registration;
    PrintIOErrMsg(
        registry.addInterestNotification(driverService, DriverNotifProc, nullptr, &registration),
        "Error registering driver notif proc.");
    if (registration) {
        notifyPort->driverRegistrations[driverService] = std::move(registration);
    }
}

void Application::Run() {
    auto& platform = zed::Platform::current();
    // Before the first wait, so that a stop while waiting is a quit.
    InstallQuitHandler();
    if (!WaitForConsole() || !RunAsConsoleUser()) {
        return;
    }

    hidSystem = FindHidSystem();
    if (hidSystem == 0) {
        return;
    }
    hadPrefs = Preferences::HasPrefs();
    Init();

    if (auto timer = platform.runLoop().addTimer(zed::RunLoop::now() + kResendDelay,
                                                 [this] { ResendPrefs(nullptr, this); })) {
        timer->detach();
    }
    PrintMsg("Waiting for prefs changes...");
    const int r = platform.runLoop().run();
    if (r < 0) {
        zed::logPlain("The event loop failed (%d).", r);
    }
    Terminate();
}

void Application::Terminate() {
    SendWaitingSteps(); // the last steps are not lost with the agent
    perApplication.SetSets({});
    zed::Platform::current().distributedCenter().removeObserver(
        nullptr, zed::settings::kNotificationName, zed::settings::kNotificationObject);
    prefs.reset();
    // An overlay still on screen goes with the agent, before its display does.
    ResetDriverNotifProc();
}

void ResendPrefs(void*, void* info) {
    auto* app = static_cast<Application*>(info);
    // Fills in only what the domain still lacks: the settings stored since
    // start are kept, and what the domain then holds is applied.
    if (!app->hadPrefs) {
        Preferences::InitPrefs();
    }
    if (app->prefs) {
        app->prefs->ReadPrefs();
    }
}
