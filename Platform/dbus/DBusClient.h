// What the registry, HID system and login-session clients share: the names of
// the provider's objects, tracking which connection owns the provider's bus
// name, and short synchronous calls whose failures become IOKit statuses.
#pragma once

#include "DBusValue.h"
#include "Platform/core/IOKit.h"

#include <cstdint>
#include <functional>
#include <string>

namespace zed::registrybus {

inline constexpr const char* kBusName = "com.tovik.IORegistry";
inline constexpr const char* kManagerPath = "/com/tovik/IORegistry";
inline constexpr const char* kServicePathPrefix = "/com/tovik/IORegistry/service/";
inline constexpr const char* kServiceInterface = "com.tovik.IOService";
inline constexpr const char* kHidSystemInterface = "com.tovik.IOHIDSystem";
inline constexpr const char* kSessionPath = "/com/tovik/LoginSession";
inline constexpr const char* kSessionInterface = "com.tovik.LoginSession";

// Long enough for a busy provider, short enough that the agent's single
// thread is never stuck for long behind one that hangs.
inline constexpr std::uint64_t kDefaultCallTimeoutUsec = 3'000'000;

// The biggest property dictionary a client or the simulator accepts (its
// rough in-memory size); anything larger is refused whole.
inline constexpr std::size_t kMaxPropertiesBytes = 1 << 20;

std::string servicePath(io_service_t service);
// The handle named by a service path; 0 when the path is not one.
io_service_t serviceFromPath(const char* path);

// Rough size of a value in memory, for refusing oversized payloads.
std::size_t footprint(const Value& v);
std::size_t footprint(const Dictionary& d);

// The status a failed call stands for: provider gone or silent, object gone,
// bad arguments, or an IPC failure.
IOReturn statusFromBusError(const sd_bus_error* error, int r);

// Follows which unique connection owns a well-known name, so that signals can
// be accepted from that connection only.
class NameOwnerWatch {
public:
    using Changed = std::function<void(const std::string& oldOwner, const std::string& newOwner)>;

    NameOwnerWatch(sd_bus* bus, std::string name, Changed changed);
    NameOwnerWatch(const NameOwnerWatch&) = delete;
    NameOwnerWatch& operator=(const NameOwnerWatch&) = delete;

    // Subscribes to owner changes, then asks for the current owner. False
    // when the bus refused the subscription.
    bool start(std::uint64_t timeoutUsec);
    const std::string& owner() const { return owner_; }
    // Whether the message was sent by the current owner.
    bool sentByOwner(sd_bus_message* m) const;

private:
    static int onOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error* error);
    void setOwner(std::string owner);

    sd_bus* bus_;
    std::string name_;
    Changed changed_;
    std::string owner_;
    SlotPtr slot_;
};

// A method call on the provider with a timeout. On success the reply is
// stored and kIOReturnSuccess returned; otherwise the status says why, and
// unless `report` is false a message naming `what` goes to standard error.
// `left`, when given, says whether the call failed because the provider is
// no longer on the bus.
IOReturn callProvider(sd_bus* bus, const std::string& destination, const std::string& path,
                      const char* interface, const char* member,
                      const std::function<int(sd_bus_message*)>& append, std::uint64_t timeoutUsec,
                      const char* what, MessagePtr* reply, bool report = true,
                      bool* left = nullptr);

// Whether a call's error says that its destination is no longer on the bus.
bool providerLeft(const sd_bus_error* error);

} // namespace zed::registrybus
