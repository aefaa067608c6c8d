// One registry service on the bus: an object under the manager's path with
// com.tovik.IOService (read-only ClassName and Properties, SetProperties and
// the Message signal). SetProperties payloads are checked here, at the bus
// boundary: what is not a property list, or is too large, is refused whole
// with a status and never reaches the owner's hook.
#pragma once

#include "Platform/core/IOKit.h"
#include "Platform/dbus/DBusValue.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zed::registryserver {

class HidSystemObject;
class HidSystemCalls;

class ServiceObject {
public:
    // Answers a valid SetProperties with a status; no hook answers
    // kIOReturnUnsupported.
    using SetPropertiesHook = std::function<IOReturn(ServiceObject&, const Dictionary&)>;

    // Serves the object; null with a message when the bus refuses it. With
    // `hid`, the object also serves com.tovik.IOHIDSystem.
    static std::unique_ptr<ServiceObject> create(sd_bus* bus, const std::string& who,
                                                 io_service_t id, std::string className,
                                                 Dictionary properties, SetPropertiesHook hook,
                                                 HidSystemCalls* hid = nullptr);
    ~ServiceObject();
    ServiceObject(const ServiceObject&) = delete;
    ServiceObject& operator=(const ServiceObject&) = delete;

    io_service_t id() const { return id_; }
    const std::string& className() const { return className_; }
    const Dictionary& properties() const { return properties_; }
    const std::string& path() const { return path_; }

    // Sends the Message signal; false with a message when it cannot be sent.
    bool emitMessage(std::uint32_t type, std::uint64_t argument);

private:
    // Only create() makes one: an object not served is never handed out.
    struct Key {
        explicit Key() = default;
    };

public:
    ServiceObject(Key, sd_bus* bus, std::string who, io_service_t id, std::string className,
                  Dictionary properties, SetPropertiesHook hook);

private:
    static const sd_bus_vtable kVtable[];
    static int getClassName(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                            void* userdata, sd_bus_error*);
    static int getProperties(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                             void* userdata, sd_bus_error* error);
    static int onSetProperties(sd_bus_message* m, void* userdata, sd_bus_error* error);

    sd_bus* bus_;
    std::string who_;
    io_service_t id_;
    std::string className_;
    Dictionary properties_;
    SetPropertiesHook hook_;
    std::string path_;
    SlotPtr slot_;
    std::unique_ptr<HidSystemObject> hid_;
};

} // namespace zed::registryserver
