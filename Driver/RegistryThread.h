// The driver's registry side, on a thread of its own: the system bus
// connection, the registry server with each adopted mouse's two services,
// who may use them, and logind's sleep announcements. The bus library reads a
// caller's message whole before anything can look at it (a payload of many
// megabytes takes tens of milliseconds), so whatever arrives on the bus holds
// up this thread only, never the loop that moves the pointer.
//
// The two sides talk by posting work to each other's loop: the mice's side
// calls publish(), withdraw() and send() from its own thread; the registry
// side calls the Mice callbacks from its thread, and they must post onwards.
#pragma once

#include "Driver/DriverSettings.h"
#include "Driver/MouseIdentity.h"
#include "Platform/core/LoopInbox.h"
#include "Platform/dbus/CallerAccess.h"
#include "Platform/dbus/DBusValue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace zed::driver {

class RegistryThread {
public:
    // A mouse as both sides name it: a number never used twice in a run, so
    // that late work for a mouse unplugged and plugged again finds nothing.
    using MouseId = std::uint64_t;

    // What the registry side asks of the mice, from the registry thread.
    struct Mice {
        // The agent set new settings on the mouse's driver service.
        std::function<void(MouseId, const DriverSettings&)> apply;
        // The mouse's services could not be published: leave it alone.
        std::function<void(MouseId)> unpublished;
        // The machine is about to sleep (true) or woke (false). `done`, which
        // may be called from any thread, once the mice have released
        // everything (or been opened again).
        std::function<void(bool sleeping, std::function<void()> done)> sleep;
        // The registry side cannot go on (its bus went away): end the driver
        // with a failure, so that the service manager starts it again.
        std::function<void()> failed;
    };

    struct Options {
        std::string who = "zed-driver"; // names the program to logind (its sleep lock)
        // Opens the bus to serve on (called on the registry thread).
        std::function<BusPtr()> connect;
        // Who may set properties and hear messages; empty: everybody.
        registryserver::CallerAccess::Check authorise;
        // Whether logind's sleep announcements are followed.
        bool followSleep = true;
    };

    // Starts the thread and waits until it serves the registry and owns
    // com.tovik.IORegistry (before any mouse is published, so that every
    // arrival comes from the name's owner). Null with *error otherwise.
    static std::unique_ptr<RegistryThread> start(Options options, Mice mice, std::string* error);
    // Withdraws every service, flushes the bus and ends the thread.
    ~RegistryThread();
    RegistryThread(const RegistryThread&) = delete;
    RegistryThread& operator=(const RegistryThread&) = delete;

    // From the mice's thread; carried out on the registry thread in order.
    void publish(MouseId mouse, const MouseIdentity& id);
    void withdraw(MouseId mouse);
    void send(MouseId mouse, std::uint32_t word);
    // Tells the service manager that both sides are alive: called from the
    // mice's loop, said from the registry's.
    void keepAlive();

private:
    struct Key {
        explicit Key() = default;
    };
    struct State;

public:
    RegistryThread(Key, Options options, Mice mice);

private:
    void run(std::function<void(std::string)> started);

    Options options_;
    Mice mice_;
    LoopInbox inbox_;
    std::thread thread_;
    State* state_ = nullptr; // the registry thread's alone, while it runs
};

} // namespace zed::driver
