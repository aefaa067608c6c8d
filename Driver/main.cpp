// zed-driver: the mouse's driver, a system service. It adopts the mice udev
// finds (the maker's, and any an administrator marks), re-emits their events
// through virtual pointers as the agent's settings say, and serves their
// registry services on the system bus.
#include "Driver/AdoptedMouse.h"
#include "Driver/Authoriser.h"
#include "Driver/Discovery.h"
#include "Driver/RegistryThread.h"
#include "Platform/core/Log.h"
#include "Platform/core/LoopInbox.h"
#include "Platform/core/RunLoop.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
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
    zed::log("%s", why.c_str());
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
        zed::log("%s", error.c_str());
        return 1;
    }
    // Without udevd nothing carries ID_INPUT_MOUSE: say why the list is empty.
    if (::access("/run/udev/control", F_OK) != 0) {
        zed::log("udev does not seem to run here (no /run/udev/control): devices may lack their "
                 "properties");
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

void say(const std::string& text) {
    zed::log("%s", text.c_str());
}

std::string describe(const MouseIdentity& id) {
    return "\"" + id.name + "\" (" + hexIds(id) + ", " + id.node + ")";
}

// The adopted mice on the input loop, each known to the registry side by a
// number: settings the agent sets reach the device, the device's message
// words reach the agent.
class Mice {
public:
    explicit Mice(zed::RunLoop& loop) : loop_(loop) {}
    ~Mice() { finish(); }
    Mice(const Mice&) = delete;
    Mice& operator=(const Mice&) = delete;

    void added(const MouseIdentity& id) {
        for (const auto& [number, device] : mice_) {
            if (device->identity().syspath == id.syspath) {
                return;
            }
        }
        const RegistryThread::MouseId mouse = next_++;
        AdoptedMouse::Callbacks callbacks;
        callbacks.message = [this, mouse](std::uint32_t word) {
            if (registry_) {
                registry_->send(mouse, word);
            }
        };
        // The device reports its loss from its own callback: it is destroyed
        // once that has returned.
        callbacks.lost = [this, mouse] {
            if (auto timer = loop_.addTimer(zed::RunLoop::now(), [this, mouse] { lost(mouse); })) {
                timer->detach();
            }
        };
        std::string error;
        if (!registry_) {
            return;
        }
        auto device = AdoptedMouse::open(loop_.event(), id, std::move(callbacks), &error);
        if (!device) {
            say("cannot adopt " + describe(id) + ": " + error);
            return;
        }
        say("adopted " + describe(id));
        mice_.emplace(mouse, std::move(device));
        registry_->publish(mouse, id);
    }

    void removed(const std::string& syspath) {
        for (auto it = mice_.begin(); it != mice_.end(); ++it) {
            if (it->second->identity().syspath == syspath) {
                say("unplugged " + describe(it->second->identity()));
                drop(it);
                return;
            }
        }
    }

    void apply(RegistryThread::MouseId mouse, const DriverSettings& settings) {
        if (auto it = mice_.find(mouse); it != mice_.end()) {
            it->second->setSettings(settings);
        }
    }
    // Its services could not be published: nobody could set it up.
    void unpublished(RegistryThread::MouseId mouse) {
        if (auto it = mice_.find(mouse); it != mice_.end()) {
            drop(it);
        }
    }
    void suspend() {
        for (auto& [mouse, device] : mice_) {
            device->suspend();
        }
    }
    void resume() {
        for (auto& [mouse, device] : mice_) {
            device->resume();
        }
    }
    // The registry side that publishes the mice from now on.
    void serve(std::unique_ptr<RegistryThread> registry) { registry_ = std::move(registry); }
    void keepAlive() {
        if (registry_) {
            registry_->keepAlive();
        }
    }
    // Releases every button and gesture, then withdraws every service and
    // ends the registry side, the last words delivered.
    void finish() {
        while (!mice_.empty()) {
            drop(mice_.begin());
        }
        registry_.reset();
    }

private:
    using Devices = std::map<RegistryThread::MouseId, std::unique_ptr<AdoptedMouse>>;

    void lost(RegistryThread::MouseId mouse) {
        if (auto it = mice_.find(mouse); it != mice_.end()) {
            say("lost " + describe(it->second->identity()));
            drop(it);
        }
    }
    void drop(Devices::iterator it) {
        const RegistryThread::MouseId mouse = it->first;
        // The device first: the words it sends as it releases everything (a
        // gesture's end) reach the agent before its services go.
        it->second.reset();
        mice_.erase(it);
        if (registry_) {
            registry_->withdraw(mouse);
        }
    }

    zed::RunLoop& loop_;
    std::unique_ptr<RegistryThread> registry_;
    Devices mice_;
    RegistryThread::MouseId next_ = 1;
};

int runDriver(std::optional<uid_t> allowedUser) {
    zed::RunLoop loop;
    if (!loop.valid()) {
        say("cannot create the event loop");
        return 1;
    }
    auto stop = [&loop] { loop.exit(0); };
    // Blocked here, before the registry's thread starts, so that it inherits
    // the mask and the signals reach this loop only.
    auto term = loop.addSignal(SIGTERM, stop);
    auto intr = loop.addSignal(SIGINT, stop);
    if (!term || !intr) {
        say("cannot handle SIGTERM and SIGINT");
        return 1;
    }
    if (::access("/dev/uinput", W_OK) != 0) {
        say(std::string("cannot write /dev/uinput (") + std::strerror(errno) +
            "): no virtual pointer can be made, so no mouse can be adopted (is the uinput "
            "module loaded, and does the driver run as root?)");
    }
    if (::access("/run/udev/control", F_OK) != 0) {
        say("udev does not seem to run here (no /run/udev/control): mice lack the properties "
            "that say what they are");
    }

    // What the registry's thread asks of the mice runs on this loop.
    zed::LoopInbox fromRegistry;
    if (!fromRegistry.attach(loop)) {
        say("cannot hear the registry on the event loop");
        return 1;
    }
    Mice mice(loop);
    RegistryThread::Mice asked;
    asked.apply = [&](RegistryThread::MouseId mouse, const DriverSettings& s) {
        fromRegistry.post([&mice, mouse, s] { mice.apply(mouse, s); });
    };
    asked.unpublished = [&](RegistryThread::MouseId mouse) {
        fromRegistry.post([&mice, mouse] { mice.unpublished(mouse); });
    };
    asked.sleep = [&](bool sleeping, std::function<void()> done) {
        fromRegistry.post([&mice, sleeping, done = std::move(done)] {
            sleeping ? mice.suspend() : mice.resume();
            done();
        });
    };
    asked.failed = [&] { fromRegistry.post([&loop] { loop.exit(1); }); };

    // Root, or the seat's active user (or the named one, without logind).
    std::shared_ptr<Authoriser> authoriser = makeSeatAuthoriser(allowedUser);
    RegistryThread::Options options;
    options.connect = [] { return zed::openBus(zed::BusKind::System); };
    options.authorise = [authoriser](uid_t uid) { return authoriser->mayControl(uid); };
    std::string error;
    std::unique_ptr<RegistryThread> registry = RegistryThread::start(options, asked, &error);
    if (!registry) {
        say(error);
        return 1;
    }
    mice.serve(std::move(registry));

    auto discovery = Discovery::start(
        loop.event(),
        {.added = [&mice](const MouseIdentity& id) { mice.added(id); },
         .removed = [&mice](const std::string& syspath) { mice.removed(syspath); }},
        &error);
    if (!discovery) {
        say(error);
        return 1;
    }

    // The service manager's watchdog, fed through both loops: a hung driver
    // would keep its grabs, and one deaf to the bus is of no use either.
    zed::RunLoop::SourcePtr watchdog;
    std::uint64_t watchdogUsec = 0;
    if (sd_watchdog_enabled(0, &watchdogUsec) > 0 && watchdogUsec > 0) {
        watchdog = loop.addRepeatingTimer(static_cast<double>(watchdogUsec) / 4e6,
                                          [&mice] { mice.keepAlive(); });
    }
    sd_notify(0, "READY=1\nSTATUS=Serving the mice");
    const int r = loop.run();
    sd_notify(0, "STOPPING=1");
    // Every button released and every gesture ended before the exit, and
    // the last words delivered before the services go.
    watchdog.reset();
    discovery.reset();
    mice.finish();
    return r == 0 ? 0 : 1;
}

} // namespace
