// zed-driver: the mouse's driver, a system service. It adopts the mice udev
// finds (the maker's, and any an administrator marks), re-emits their events
// through virtual pointers as the agent's settings say, and serves their
// registry services on the system bus.
#include "Driver/AdoptedMouse.h"
#include "Driver/Authoriser.h"
#include "Driver/Discovery.h"
#include "Driver/MouseServices.h"
#include "Platform/core/RunLoop.h"
#include "Platform/core/UniqueFd.h"
#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/RegistryServer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/types.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-daemon.h>
#include <systemd/sd-event.h>
#include <unistd.h>

namespace {

using namespace zed::driver;

void usage(FILE* out) {
    std::fputs("Usage: zed-driver [--user NAME]\n"
               "       zed-driver --list\n"
               "Adopts the mice udev finds (the maker's, and any a udev rule marks with\n"
               "ZED_DRIVER=1) and serves their settings on the system bus as\n"
               "com.tovik.IORegistry.\n"
               "  --list       print every mouse, whether it is adopted, and the udev\n"
               "               rule line that would adopt it; then exit\n"
               "  --user NAME  without logind, let this user change the settings and\n"
               "               receive the buttons' messages (otherwise only root)\n"
               "  --help       this text\n",
               out);
}

int usageError(const std::string& why) {
    std::fprintf(stderr, "zed-driver: %s\n", why.c_str());
    usage(stderr);
    return 2;
}

std::string hexIds(const MouseIdentity& id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04x:%04x", id.vendor, id.product);
    return buf;
}

int listMiceCommand() {
    std::string error;
    const auto mice = listMice(&error);
    if (!mice) {
        std::fprintf(stderr, "zed-driver: %s\n", error.c_str());
        return 1;
    }
    // Without udevd nothing carries ID_INPUT_MOUSE: say why the list is empty.
    if (::access("/run/udev/control", F_OK) != 0) {
        std::fprintf(stderr, "zed-driver: udev does not seem to run here (no "
                             "/run/udev/control): devices may lack their properties\n");
    }
    if (mice->empty()) {
        std::printf("No mice (no evdev device that udev classes as a mouse).\n");
        return 0;
    }
    for (const MouseCandidate& c : *mice) {
        const MouseIdentity& id = c.identity;
        std::printf("%s  %s  \"%s\"\n", id.node.empty() ? "(no node)" : id.node.c_str(),
                    hexIds(id).c_str(), id.name.c_str());
        if (isOurVirtualDevice(c.phys)) {
            std::printf("  adopted: no, it is this driver's own virtual pointer (phys %s)\n",
                        c.phys.c_str());
            continue;
        }
        if (shouldAdopt(c)) {
            std::printf("  adopted: yes (%s)\n", c.hasIds && id.fromMaker()
                                                     ? "the maker's mouse"
                                                     : "a udev rule sets ZED_DRIVER=1");
        } else {
            std::printf("  adopted: no\n");
        }
        std::printf("  rule:    %s\n", adoptionRule(c).c_str());
    }
    return 0;
}

int runDriver(std::optional<uid_t> allowedUser);

} // namespace

int main(int argc, char** argv) {
    bool list = false;
    std::optional<uid_t> allowedUser;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--list") {
            list = true;
        } else if (a == "--user" || a.rfind("--user=", 0) == 0) {
            std::string name;
            if (a == "--user") {
                if (i + 1 >= argc) {
                    return usageError("--user needs a user name");
                }
                name = argv[++i];
            } else {
                name = a.substr(7);
            }
            errno = 0;
            const passwd* pw = name.empty() ? nullptr : ::getpwnam(name.c_str());
            if (!pw) {
                return usageError("--user: no user \"" + name + "\"");
            }
            allowedUser = pw->pw_uid;
        } else {
            return usageError("unknown option \"" + a + "\"");
        }
    }
    if (list) {
        if (allowedUser) {
            return usageError("--list takes no other option");
        }
        return listMiceCommand();
    }
    return runDriver(allowedUser);
}

namespace {

constexpr const char* kLogindName = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";

void say(const std::string& text) {
    std::fprintf(stderr, "zed-driver: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string describe(const MouseIdentity& id) {
    return "\"" + id.name + "\" (" + hexIds(id) + ", " + id.node + ")";
}

// The adopted mice, each its device and its two registry services wired
// together: settings the agent sets reach the device, the device's message
// words reach the agent.
class Mice {
public:
    Mice(zed::RunLoop& loop, zed::registryserver::RegistryServer& server)
        : loop_(loop), server_(server) {}
    ~Mice() { clear(); }
    Mice(const Mice&) = delete;
    Mice& operator=(const Mice&) = delete;

    void added(const MouseIdentity& id) {
        if (mice_.count(id.syspath)) {
            return;
        }
        const std::string key = id.syspath;
        AdoptedMouse::Callbacks callbacks;
        callbacks.message = [this, key](std::uint32_t word) {
            if (auto it = mice_.find(key); it != mice_.end() && it->second.services) {
                it->second.services->sendMessage(word);
            }
        };
        // The device reports its loss from its own callback: it is destroyed
        // once that has returned.
        callbacks.lost = [this, key] {
            if (auto timer = loop_.addTimer(zed::RunLoop::now(), [this, key] { lost(key); })) {
                timer->detach();
            }
        };
        std::string error;
        Adopted adopted;
        adopted.device = AdoptedMouse::open(loop_.event(), id, std::move(callbacks), &error);
        if (!adopted.device) {
            say("cannot adopt " + describe(id) + ": " + error);
            return;
        }
        adopted.services =
            MouseServices::publish(server_, id, [this, key](const DriverSettings& s) {
                if (auto it = mice_.find(key); it != mice_.end() && it->second.device) {
                    it->second.device->setSettings(s);
                }
            });
        if (!adopted.services) {
            say("cannot publish " + describe(id) + " on the bus; leaving it alone");
            return;
        }
        say("adopted " + describe(id));
        mice_.emplace(key, std::move(adopted));
    }

    void removed(const std::string& syspath) {
        auto it = mice_.find(syspath);
        if (it == mice_.end()) {
            return;
        }
        say("unplugged " + describe(it->second.device->identity()));
        drop(it);
    }

    void suspend() {
        for (auto& [key, m] : mice_) {
            m.device->suspend();
        }
    }
    void resume() {
        for (auto& [key, m] : mice_) {
            m.device->resume();
        }
    }
    // Releases every button and gesture and withdraws every service.
    void clear() {
        while (!mice_.empty()) {
            drop(mice_.begin());
        }
    }

private:
    struct Adopted {
        std::unique_ptr<AdoptedMouse> device;
        std::unique_ptr<MouseServices> services;
    };

    void lost(const std::string& syspath) {
        auto it = mice_.find(syspath);
        if (it == mice_.end()) {
            return;
        }
        say("lost " + describe(it->second.device->identity()));
        drop(it);
    }
    void drop(std::map<std::string, Adopted>::iterator it) {
        // The device first, while its entry is still found: the words it
        // sends as it releases everything (a gesture's end) reach the agent.
        it->second.device.reset();
        Adopted m = std::move(it->second);
        mice_.erase(it);
        m.services.reset();
    }

    zed::RunLoop& loop_;
    zed::registryserver::RegistryServer& server_;
    std::map<std::string, Adopted> mice_;
};

// Follows logind's PrepareForSleep: the mice release everything before the
// machine sleeps (a delay lock gives them the time) and are opened afresh
// after it wakes (an evdev fd may stop delivering across a resume). Only
// logind's own connection is heard: a match on its name does not stop any
// local user from sending the signal straight to the driver.
class SleepWatch {
public:
    SleepWatch(sd_bus* bus, Mice& mice) : bus_(bus), mice_(mice), logind_(bus, kLogindName, {}) {
        if (!logind_.start(zed::registrybus::kDefaultCallTimeoutUsec)) {
            say("cannot follow who logind is: sleep announcements are ignored");
            return;
        }
        sd_bus_slot* slot = nullptr;
        if (sd_bus_match_signal(bus_, &slot, kLogindName, kLogindPath, kLogindManager,
                                "PrepareForSleep", &SleepWatch::onSignal, this) >= 0) {
            slot_.reset(slot);
        } else {
            say("cannot follow logind's sleep announcements");
        }
        takeDelayLock();
    }

private:
    static int onSignal(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* watch = static_cast<SleepWatch*>(self);
        if (!watch->logind_.sentByOwner(m)) {
            const char* sender = sd_bus_message_get_sender(m);
            say(std::string("ignored a sleep announcement from ") +
                (sender ? sender : "an unknown sender") + ", which is not logind");
            return 0;
        }
        int sleeping = 0;
        if (sd_bus_message_read(m, "b", &sleeping) >= 0) {
            watch->prepare(sleeping != 0);
        }
        return 0;
    }

    void prepare(bool sleeping) {
        if (sleeping) {
            mice_.suspend();
            lock_.reset(); // done: the machine may sleep
        } else {
            mice_.resume();
            takeDelayLock();
        }
    }

    // Asked without waiting: the loop must never stall on logind. Without
    // logind (a container, the test machine) there is none to take.
    void takeDelayLock() {
        sd_bus_slot* slot = nullptr;
        if (sd_bus_call_method_async(bus_, &slot, kLogindName, kLogindPath, kLogindManager,
                                     "Inhibit", &SleepWatch::onLock, this, "ssss", "sleep",
                                     "zed-driver", "Releasing the mice's held buttons",
                                     "delay") >= 0) {
            lockCall_.reset(slot);
        }
    }

    static int onLock(sd_bus_message* reply, void* self, sd_bus_error*) {
        auto* watch = static_cast<SleepWatch*>(self);
        int fd = -1;
        if (!sd_bus_message_is_method_error(reply, nullptr) &&
            sd_bus_message_read(reply, "h", &fd) >= 0 && fd >= 0) {
            watch->lock_.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
        }
        watch->lockCall_.reset();
        return 0;
    }

    sd_bus* bus_;
    Mice& mice_;
    zed::registrybus::NameOwnerWatch logind_;
    zed::SlotPtr slot_;
    zed::SlotPtr lockCall_;
    zed::UniqueFd lock_;
};

int runDriver(std::optional<uid_t> allowedUser) {
    zed::RunLoop loop;
    if (!loop.valid()) {
        say("cannot create the event loop");
        return 1;
    }
    auto stop = [&loop] { loop.exit(0); };
    auto term = loop.addSignal(SIGTERM, stop);
    auto intr = loop.addSignal(SIGINT, stop);
    if (!term || !intr) {
        say("cannot handle SIGTERM and SIGINT");
        return 1;
    }
    // The service manager's watchdog: a hung driver would keep its grabs.
    sd_event_set_watchdog(loop.event(), 1);

    zed::BusPtr bus = zed::openBus(zed::BusKind::System);
    if (!bus) {
        say("no system bus: the agent could not reach the mice's settings (is dbus running? "
            "DBUS_SYSTEM_BUS_ADDRESS overrides where to look)");
        return 1;
    }
    // Open until the mice have sent their last words after the loop's end
    // (attached, sd-bus would close it when the loop exits).
    sd_bus_set_close_on_exit(bus.get(), 0);
    if (!loop.attachBus(bus.get())) {
        say("cannot attach the system bus to the event loop");
        return 1;
    }
    // Without the bus nobody can reach the mice's settings: end with a
    // failure, so that the service manager starts the driver again (and the
    // watchdog, fed by the loop, is fed no more). sd-bus turns a lost
    // connection into a local Disconnected signal.
    auto onBusLost = [](sd_bus_message* m, void* userdata, sd_bus_error*) {
        if (sd_bus_message_is_signal(m, "org.freedesktop.DBus.Local", "Disconnected")) {
            std::fputs("zed-driver: the system bus went away: ending, so that the service "
                       "manager starts the driver again\n",
                       stderr);
            static_cast<zed::RunLoop*>(userdata)->exit(1);
        }
        return 0;
    };
    sd_bus_slot* lostSlot = nullptr;
    if (sd_bus_add_filter(bus.get(), &lostSlot, onBusLost, &loop) < 0) {
        say("cannot follow the system bus connection");
        return 1;
    }
    const zed::SlotPtr lost(lostSlot);
    if (::access("/dev/uinput", W_OK) != 0) {
        say(std::string("cannot write /dev/uinput (") + std::strerror(errno) +
            "): no virtual pointer can be made, so no mouse can be adopted (is the uinput "
            "module loaded, and does the driver run as root?)");
    }
    if (::access("/run/udev/control", F_OK) != 0) {
        say("udev does not seem to run here (no /run/udev/control): mice lack the properties "
            "that say what they are");
    }

    zed::registryserver::RegistryServer server(bus.get(), "zed-driver");
    if (!server.serveObjectManager()) {
        return 1;
    }
    // Root, or the seat's active user (or the named one, without logind).
    std::shared_ptr<Authoriser> authoriser = makeSeatAuthoriser(allowedUser);
    server.setAuthorisation([authoriser](uid_t uid) { return authoriser->mayControl(uid); });

    Mice mice(loop, server);
    SleepWatch sleep(bus.get(), mice);
    std::string error;
    auto discovery = Discovery::start(
        loop.event(),
        {.added = [&mice](const MouseIdentity& id) { mice.added(id); },
         .removed = [&mice](const std::string& syspath) { mice.removed(syspath); }},
        &error);
    if (!discovery) {
        say(error);
        return 1;
    }

    // Last, so that a client that sees the name finds the mice in place.
    if (const int r = server.requestName(zed::registrybus::kBusName); r < 0) {
        say(std::string("cannot own ") + zed::registrybus::kBusName +
            " on the system bus: " + std::strerror(-r) +
            (r == -EEXIST || r == -EALREADY ? " (is another driver running?)"
                                            : " (only root may own it)"));
        return 1;
    }
    sd_notify(0, "READY=1\nSTATUS=Serving the mice");
    const int r = loop.run();
    sd_notify(0, "STOPPING=1");
    // Every button released and every gesture ended before the exit.
    discovery.reset();
    mice.clear();
    sd_bus_flush(bus.get());
    return r == 0 ? 0 : 1;
}

} // namespace
