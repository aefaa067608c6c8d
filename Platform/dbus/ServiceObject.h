// One registry service on the bus: an object under the manager's path with
// com.tovik.IOService (read-only ClassName and Properties, SetProperties,
// AddInterest and the Message signal). SetProperties payloads are checked
// here, at the bus boundary: a caller the access check refuses gets an
// access-denied error before anything of its payload is decoded; what is not
// a property list, or is too large, is refused whole with a status and never
// reaches the owner's hook. Message signals go
// only to the connections that called AddInterest, each addressed to it
// alone, and only while the access check allows its user: button timing is
// nobody else's business.
#pragma once

#include "Platform/core/IOKit.h"
#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/DBusValue.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zed::registryserver {

class CallerAccess;
class HidSystemObject;
class HidSystemCalls;

// What one SetProperties payload may hold, checked while it is decoded: a
// few hundred values, a string, key or byte array of 4 KiB at most (a button
// mapping's limit), little nesting, and kMaxPropertiesBytes in memory. What
// crosses a bound is refused whole without being built.
inline constexpr ReadLimits kSetPropertiesLimits{.values = 512,
                                                 .elementBytes = 4096,
                                                 .depth = 8,
                                                 .totalBytes = registrybus::kMaxPropertiesBytes};

class ServiceObject {
public:
    // Answers a valid SetProperties with a status; no hook answers
    // kIOReturnUnsupported.
    using SetPropertiesHook = std::function<IOReturn(ServiceObject&, const Dictionary&)>;

    // Serves the object; null with a message when the bus refuses it. With
    // `hid`, the object also serves com.tovik.IOHIDSystem.
    // `access` must outlive the service.
    static std::unique_ptr<ServiceObject> create(sd_bus* bus, CallerAccess& access, io_service_t id,
                                                 std::string className, Dictionary properties,
                                                 SetPropertiesHook hook,
                                                 HidSystemCalls* hid = nullptr);
    ~ServiceObject();
    ServiceObject(const ServiceObject&) = delete;
    ServiceObject& operator=(const ServiceObject&) = delete;

    io_service_t id() const { return id_; }
    const std::string& className() const { return className_; }
    const Dictionary& properties() const { return properties_; }
    // What Properties shows from now on (a driver shows the values last set).
    void setProperties(Dictionary properties) { properties_ = std::move(properties); }
    const std::string& path() const { return path_; }

    // Sends the Message signal to every interested connection the access
    // check allows now; false with a message when one could not be sent.
    bool emitMessage(std::uint32_t type, std::uint64_t argument);
    // The unique names that registered interest, with their users.
    const std::map<std::string, std::optional<uid_t>>& interested() const { return interested_; }
    // A connection left the bus: it hears nothing more.
    void forget(const std::string& uniqueName) { interested_.erase(uniqueName); }

private:
    // Only create() makes one: an object not served is never handed out.
    struct Key {
        explicit Key() = default;
    };

public:
    ServiceObject(Key, sd_bus* bus, CallerAccess& access, io_service_t id, std::string className,
                  Dictionary properties, SetPropertiesHook hook);

private:
    static const sd_bus_vtable kVtable[];
    static int getClassName(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                            void* userdata, sd_bus_error*);
    static int getProperties(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                             void* userdata, sd_bus_error* error);
    static int onSetProperties(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onAddInterest(sd_bus_message* m, void* userdata, sd_bus_error* error);
    // Decodes the payload within kSetPropertiesLimits and hands it to the
    // hook; the caller gets its status (kIOReturnBadArgument when refused).
    int applyProperties(sd_bus_message* m);

    sd_bus* bus_;
    CallerAccess& access_;
    io_service_t id_;
    std::string className_;
    Dictionary properties_;
    SetPropertiesHook hook_;
    std::string path_;
    SlotPtr slot_;
    std::unique_ptr<HidSystemObject> hid_;
    std::map<std::string, std::optional<uid_t>> interested_;
    // Calls waiting for the bus to say who sent them; answered with an
    // error if the service goes first.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace zed::registryserver
