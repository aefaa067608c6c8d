// The device registry and HID system as the agent sees them: services named by
// 32-bit handles, IOKit-style 32-bit statuses, matching and interest
// notifications delivered on the run loop.
#pragma once

#include "Value.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zed {

using io_service_t = std::uint32_t; // 0 = none
using io_connect_t = std::uint32_t; // 0 = none
using IOReturn = std::int32_t;

// The statuses a service can answer with, and their texts.
constexpr IOReturn kIOReturnSuccess = 0;
constexpr IOReturn kIOReturnError = static_cast<IOReturn>(0xe00002bc);
constexpr IOReturn kIOReturnNoMemory = static_cast<IOReturn>(0xe00002bd);
constexpr IOReturn kIOReturnNoResources = static_cast<IOReturn>(0xe00002be);
constexpr IOReturn kIOReturnIPCError = static_cast<IOReturn>(0xe00002bf);
constexpr IOReturn kIOReturnNoDevice = static_cast<IOReturn>(0xe00002c0);
constexpr IOReturn kIOReturnNotPrivileged = static_cast<IOReturn>(0xe00002c1);
constexpr IOReturn kIOReturnBadArgument = static_cast<IOReturn>(0xe00002c2);
constexpr IOReturn kIOReturnExclusiveAccess = static_cast<IOReturn>(0xe00002c5);
constexpr IOReturn kIOReturnUnsupported = static_cast<IOReturn>(0xe00002c7);
constexpr IOReturn kIOReturnInternalError = static_cast<IOReturn>(0xe00002c9);
constexpr IOReturn kIOReturnNotOpen = static_cast<IOReturn>(0xe00002cd);
constexpr IOReturn kIOReturnTimeout = static_cast<IOReturn>(0xe00002d6);
constexpr IOReturn kIOReturnNotReady = static_cast<IOReturn>(0xe00002d8);
constexpr IOReturn kIOReturnNotAttached = static_cast<IOReturn>(0xe00002d9);
constexpr IOReturn kIOReturnNotPermitted = static_cast<IOReturn>(0xe00002e2);
constexpr IOReturn kIOReturnOffline = static_cast<IOReturn>(0xe00002e3);
constexpr IOReturn kIOReturnNotResponding = static_cast<IOReturn>(0xe00002ed);
constexpr IOReturn kIOReturnNotFound = static_cast<IOReturn>(0xe00002f0);

// The text of a status in the style "(iokit/common) general error"; unknown
// codes get a generic text naming the system and subsystem.
std::string machErrorString(IOReturn status);

// The services that matched or terminated since the iterator was last drained.
class ServiceIterator {
public:
    io_service_t next(); // 0 when drained
    void add(io_service_t s) { pending_.push_back(s); }
    bool empty() const { return pending_.empty(); }

private:
    std::deque<io_service_t> pending_;
};

enum class MatchEvent { FirstMatch, Terminate };

// Whether a service's properties hold every entry of a matching dictionary;
// integers compare by value whatever their width, other values strictly.
bool propertiesMatch(const Dictionary& properties,
                     const Dictionary& matching); // "IOServiceFirstMatch", "IOServiceTerminate"

using MatchingCallback = void (*)(void* refCon, ServiceIterator& iterator);
// argument 0 is the null argument.
using InterestCallback = void (*)(void* refCon, io_service_t service, std::uint32_t messageType,
                                  std::uint64_t argument);

// A registration; dropping it stops the notifications.
class Notification {
public:
    virtual ~Notification();
    // Whether notifications can still arrive. A registration dies with its
    // service, with the provider that served it and with its registry, and
    // stays dead: a service that comes back under the same handle is heard
    // only through a new registration.
    virtual bool live() const = 0;
};
using NotificationPtr = std::unique_ptr<Notification>;

// What a registry keeps of one registration. The registration handed out
// only marks it inactive when dropped, so either may outlive the other.
struct RegistryWatch {
    bool matching = true; // else interest
    MatchEvent event = MatchEvent::FirstMatch;
    std::string className;
    Dictionary match;
    MatchingCallback matchingCallback = nullptr;
    InterestCallback interestCallback = nullptr;
    void* refCon = nullptr;
    std::weak_ptr<ServiceIterator> iterator;
    bool active = true;
};

// A matching watch of the registry's own Watch type (a RegistryWatch), with
// the iterator it fills; the registry keeps both.
template <typename Watch>
std::shared_ptr<Watch> makeMatchingWatch(MatchEvent event, const std::string& className,
                                         const Dictionary& matching, MatchingCallback callback,
                                         void* refCon,
                                         const std::shared_ptr<ServiceIterator>& iterator) {
    auto w = std::make_shared<Watch>();
    w->matching = true;
    w->event = event;
    w->className = className;
    w->match = matching;
    w->matchingCallback = callback;
    w->refCon = refCon;
    w->iterator = iterator;
    return w;
}

class WatchRegistration : public Notification {
public:
    explicit WatchRegistration(std::shared_ptr<RegistryWatch> watch) : watch_(std::move(watch)) {}
    ~WatchRegistration() override { watch_->active = false; }
    bool live() const override { return watch_->active; }

private:
    std::shared_ptr<RegistryWatch> watch_;
};

// The watches still registered, copied so that callbacks may add or drop
// registrations while the caller walks them.
template <typename Watch>
std::vector<std::shared_ptr<Watch>> liveWatches(const std::vector<std::shared_ptr<Watch>>& all) {
    std::vector<std::shared_ptr<Watch>> out;
    for (const auto& w : all) {
        if (w->active) {
            out.push_back(w);
        }
    }
    return out;
}

class Registry {
public:
    virtual ~Registry();

    // Services whose class is className, in registry order.
    virtual IOReturn getMatchingServices(const std::string& className,
                                         std::vector<io_service_t>* services) = 0;
    // The service's properties; empty when it is gone or cannot be read.
    virtual std::optional<Dictionary> copyProperties(io_service_t service) = 0;
    virtual IOReturn setProperties(io_service_t service, const Dictionary& properties) = 0;
    // Sends the properties without waiting for the answer: done gets the
    // status later, on the run loop (at once when they cannot be sent).
    // Properties set after these still arrive after them. By default it
    // waits, as setProperties does.
    using SetDone = std::function<void(IOReturn)>;
    virtual void setPropertiesAsync(io_service_t service, const Dictionary& properties,
                                    SetDone done) {
        const IOReturn status = setProperties(service, properties);
        if (done) {
            done(status);
        }
    }

    // Watches services of className whose properties include every entry of
    // `matching`. For FirstMatch the iterator starts with the services that
    // already match; the caller drains it once to arm the registration.
    // Callbacks run on the run loop.
    virtual IOReturn addMatchingNotification(MatchEvent event, const std::string& className,
                                             const Dictionary& matching, MatchingCallback callback,
                                             void* refCon,
                                             std::shared_ptr<ServiceIterator>* iterator,
                                             NotificationPtr* registration) = 0;
    // Delivers the service's general-interest messages.
    virtual IOReturn addInterestNotification(io_service_t service, InterestCallback callback,
                                             void* refCon, NotificationPtr* registration) = 0;
    // How many messages have arrived and still wait to be delivered: how far
    // behind the provider the process is. 0 when it cannot tell.
    virtual std::size_t waitingMessages() const { return 0; }
};

// The HID system's event record: 48 bytes, all zero but for the key code of
// key events, which is its fifth 16-bit field.
struct NXEventData {
    std::array<std::uint8_t, 48> bytes{};
    static constexpr std::size_t kKeyCodeOffset = 8;
    void setKeyCode(std::uint16_t code) {
        bytes[kKeyCodeOffset] = static_cast<std::uint8_t>(code & 0xFF);
        bytes[kKeyCodeOffset + 1] = static_cast<std::uint8_t>(code >> 8);
    }
    std::uint16_t keyCode() const {
        return static_cast<std::uint16_t>(bytes[kKeyCodeOffset] | (bytes[kKeyCodeOffset + 1] << 8));
    }
};

constexpr std::uint32_t kIOHIDParamConnectType = 1;
constexpr std::uint32_t NX_KEYDOWN = 10;
constexpr std::uint32_t NX_KEYUP = 11;
constexpr std::uint32_t NX_FLAGSCHANGED = 12;
constexpr std::uint32_t kIOHIDSetGlobalEventFlags = 1;

// The HID system's parameter connection: button mode, acceleration, posted events.
class HidSystem {
public:
    virtual ~HidSystem();

    virtual IOReturn open(io_service_t hidSystem, std::uint32_t type, io_connect_t* connect) = 0;
    virtual void close(io_connect_t connect) = 0;
    virtual IOReturn setMouseButtonMode(io_connect_t connect, std::int32_t mode) = 0;
    virtual IOReturn setAccelerationWithKey(io_connect_t connect, const std::string& key,
                                            double acceleration) = 0;
    virtual IOReturn getAccelerationWithKey(io_connect_t connect, const std::string& key,
                                            double* acceleration) = 0;
    virtual IOReturn postEvent(io_connect_t connect, std::uint32_t eventType, std::int16_t x,
                               std::int16_t y, const NXEventData& data, std::uint32_t dataVersion,
                               std::uint32_t eventFlags, std::uint32_t options) = 0;
    // The end of a sequence of posted key events: every key that the
    // connection's events left down goes up, plain keys included (a
    // flags-changed event only clears the modifiers, and a key left down
    // would repeat).
    virtual IOReturn releaseHeldKeys(io_connect_t connect) = 0;
};

// A platform without a registry: no services, nothing to watch.
class NullRegistry : public Registry {
public:
    IOReturn getMatchingServices(const std::string&, std::vector<io_service_t>* services) override;
    std::optional<Dictionary> copyProperties(io_service_t) override { return std::nullopt; }
    IOReturn setProperties(io_service_t, const Dictionary&) override { return kIOReturnNoDevice; }
    IOReturn addMatchingNotification(MatchEvent, const std::string&, const Dictionary&,
                                     MatchingCallback, void*,
                                     std::shared_ptr<ServiceIterator>* iterator,
                                     NotificationPtr* registration) override;
    IOReturn addInterestNotification(io_service_t, InterestCallback, void*,
                                     NotificationPtr*) override {
        return kIOReturnNoDevice;
    }
};

// A platform without a HID system: nothing can be opened.
class NullHidSystem : public HidSystem {
public:
    IOReturn open(io_service_t, std::uint32_t, io_connect_t* connect) override;
    void close(io_connect_t) override {}
    IOReturn setMouseButtonMode(io_connect_t, std::int32_t) override { return kIOReturnNotOpen; }
    IOReturn setAccelerationWithKey(io_connect_t, const std::string&, double) override {
        return kIOReturnNotOpen;
    }
    IOReturn getAccelerationWithKey(io_connect_t, const std::string&, double*) override {
        return kIOReturnNotOpen;
    }
    IOReturn postEvent(io_connect_t, std::uint32_t, std::int16_t, std::int16_t, const NXEventData&,
                       std::uint32_t, std::uint32_t, std::uint32_t) override {
        return kIOReturnNotOpen;
    }
    IOReturn releaseHeldKeys(io_connect_t) override { return kIOReturnNotOpen; }
};

} // namespace zed
