#include "Driver/RegistryThread.h"

#include "Driver/MouseServices.h"
#include "Platform/core/Log.h"
#include "Platform/core/RunLoop.h"
#include "Platform/core/UniqueFd.h"
#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/RegistryServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <malloc.h>
#include <map>
#include <sys/resource.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>
#include <utility>

namespace zed::driver {

namespace {

constexpr int kLargeAllocationBytes = 256 * 1024;
constexpr const char* kLogindName = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";

void say(const std::string& text) {
    zed::log("%s", text.c_str());
}

// Follows logind's PrepareForSleep: the mice release everything before the
// machine sleeps (a delay lock gives them the time) and are opened afresh
// after it wakes (an evdev fd may stop delivering across a resume). Only
// logind's own connection is heard: a match on its name does not stop any
// local user from sending the signal straight to the driver.
class SleepWatch {
public:
    using Announce = std::function<void(bool sleeping, std::function<void()> done)>;
    // `back` runs work on this watch's own thread, from any thread.
    using Back = std::function<void(std::function<void()>)>;

    SleepWatch(sd_bus* bus, std::string who, Announce announce, Back back)
        : bus_(bus), who_(std::move(who)), announce_(std::move(announce)), back_(std::move(back)),
          logind_(bus, kLogindName, {}) {
        if (!logind_.start(registrybus::kDefaultCallTimeoutUsec)) {
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
        std::weak_ptr<bool> alive = alive_;
        auto done = [back = back_, alive, this, sleeping] {
            back([alive, this, sleeping] {
                if (alive.expired()) {
                    return;
                }
                if (sleeping) {
                    lock_.reset(); // the mice are done: the machine may sleep
                } else {
                    takeDelayLock();
                }
            });
        };
        announce_(sleeping, std::move(done));
    }

    // Asked without waiting: the loop must never stall on logind. Without
    // logind (a container, the test machine) there is none to take.
    void takeDelayLock() {
        sd_bus_slot* slot = nullptr;
        if (sd_bus_call_method_async(bus_, &slot, kLogindName, kLogindPath, kLogindManager,
                                     "Inhibit", &SleepWatch::onLock, this, "ssss", "sleep",
                                     who_.c_str(), "Releasing the mice's held buttons",
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
    std::string who_;
    Announce announce_;
    Back back_;
    registrybus::NameOwnerWatch logind_;
    SlotPtr slot_;
    SlotPtr lockCall_;
    UniqueFd lock_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace

// What lives on the registry thread, made and destroyed there.
struct RegistryThread::State {
    RunLoop loop;
    BusPtr bus;
    SlotPtr lost;
    std::unique_ptr<registryserver::RegistryServer> server;
    std::unique_ptr<SleepWatch> sleep;
    std::map<MouseId, std::unique_ptr<MouseServices>> services;
};

RegistryThread::RegistryThread(Key, Options options, Mice mice)
    : options_(std::move(options)), mice_(std::move(mice)) {}

std::unique_ptr<RegistryThread> RegistryThread::start(Options options, Mice mice,
                                                      std::string* error) {
    // A caller's message is read into one buffer of its size. Served from
    // mmap, it goes back to the system once answered; from the heap (where
    // glibc moves such sizes after the first free), the process would keep
    // the largest payload anybody ever sent.
    ::mallopt(M_MMAP_THRESHOLD, kLargeAllocationBytes);
    auto t = std::make_unique<RegistryThread>(Key(), std::move(options), std::move(mice));
    if (!t->inbox_.valid()) {
        *error = "cannot make the registry's wake-up descriptor";
        return nullptr;
    }
    std::promise<std::string> started;
    std::future<std::string> outcome = started.get_future();
    t->thread_ = std::thread([raw = t.get(), &started] {
        raw->run([&started](std::string why) { started.set_value(std::move(why)); });
    });
    std::string why = outcome.get();
    if (!why.empty()) {
        t->thread_.join();
        *error = std::move(why);
        return nullptr;
    }
    return t;
}

RegistryThread::~RegistryThread() {
    if (thread_.joinable()) {
        // Ignored when the thread has ended already (its bus went away).
        inbox_.post([this] { state_->loop.exit(0); });
        thread_.join();
    }
}

void RegistryThread::run(std::function<void(std::string)> started) {
    // Where both want a core, the pointer's loop goes first: the bus can wait.
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    if (errno == 0) {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), std::min(nice + 10, 19));
    }
    State st;
    if (!st.loop.valid()) {
        return started("cannot create the registry's event loop");
    }
    st.bus = options_.connect();
    if (!st.bus) {
        return started("no system bus: the agent could not reach the mice's settings (is dbus "
                       "running? DBUS_SYSTEM_BUS_ADDRESS overrides where to look)");
    }
    // Open until the services have been withdrawn after the loop's end
    // (attached, sd-bus would close it when the loop exits).
    sd_bus_set_close_on_exit(st.bus.get(), 0);
    if (!st.loop.attachBus(st.bus.get())) {
        return started("cannot attach the system bus to the registry's event loop");
    }
    // Without the bus nobody can reach the mice's settings: the driver ends
    // with a failure, so that the service manager starts it again (and the
    // watchdog, fed through this loop, is fed no more). sd-bus turns a lost
    // connection into a local Disconnected signal.
    auto onBusLost = [](sd_bus_message* m, void* userdata, sd_bus_error*) {
        if (sd_bus_message_is_signal(m, "org.freedesktop.DBus.Local", "Disconnected")) {
            auto* self = static_cast<RegistryThread*>(userdata);
            say("the system bus went away: ending, so that the service "
                "manager starts the driver again");
            self->state_->loop.exit(1);
            self->mice_.failed();
        }
        return 0;
    };
    sd_bus_slot* lost = nullptr;
    if (sd_bus_add_filter(st.bus.get(), &lost, onBusLost, this) < 0) {
        return started("cannot follow the system bus connection");
    }
    st.lost.reset(lost);
    st.server = std::make_unique<registryserver::RegistryServer>(st.bus.get());
    if (!st.server->serveObjectManager()) {
        return started("cannot serve the registry");
    }
    if (options_.authorise) {
        st.server->setAuthorisation(options_.authorise);
    }
    // The name first: every service the agent hears of then comes from its
    // owner, and one that looks finds the mice as they are published.
    if (const int r = st.server->requestName(registrybus::kBusName); r < 0) {
        return started(std::string("cannot own ") + registrybus::kBusName +
                       " on the system bus: " + std::strerror(-r) +
                       (r == -EEXIST || r == -EALREADY ? " (is another driver running?)"
                                                       : " (only root may own it)"));
    }
    if (options_.followSleep) {
        st.sleep = std::make_unique<SleepWatch>(
            st.bus.get(), options_.who, mice_.sleep,
            [this](std::function<void()> work) { inbox_.post(std::move(work)); });
    }
    if (!inbox_.attach(st.loop)) {
        return started("cannot hear the mice on the registry's event loop");
    }
    state_ = &st;
    started({});
    st.loop.run();
    // However it ended: the services withdrawn while their bus is open.
    inbox_.detach();
    st.services.clear();
    st.sleep.reset();
    st.server.reset();
    sd_bus_flush(st.bus.get());
    state_ = nullptr;
}

void RegistryThread::publish(MouseId mouse, const MouseIdentity& id) {
    inbox_.post([this, mouse, id] {
        auto services = MouseServices::publish(
            *state_->server, id, [this, mouse](const DriverSettings& s) { mice_.apply(mouse, s); });
        if (!services) {
            say("cannot publish \"" + id.name + "\" (" + id.node +
                ") on the bus; leaving it alone");
            mice_.unpublished(mouse);
            return;
        }
        state_->services[mouse] = std::move(services);
    });
}

void RegistryThread::withdraw(MouseId mouse) {
    inbox_.post([this, mouse] { state_->services.erase(mouse); });
}

void RegistryThread::send(MouseId mouse, std::uint32_t word) {
    inbox_.post([this, mouse, word] {
        if (auto it = state_->services.find(mouse); it != state_->services.end()) {
            it->second->sendMessage(word);
        }
    });
}

void RegistryThread::keepAlive() {
    inbox_.post([] { sd_notify(0, "WATCHDOG=1"); });
}

} // namespace zed::driver
