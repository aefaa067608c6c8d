#include "ServiceObject.h"

#include "HidSystemObject.h"
#include "Platform/dbus/DBusClient.h"
#include "ServerCall.h"

#include <cstring>
#include <utility>

namespace zed::registryserver {

using namespace registrybus;

// clang-format off
const sd_bus_vtable ServiceObject::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("ClassName", "s", getClassName, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Properties", "a{sv}", getProperties, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD_WITH_NAMES("SetProperties", "a{sv}", SD_BUS_PARAM(properties),
                             "i", SD_BUS_PARAM(status), onSetProperties, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL_WITH_NAMES("Message", "ut", SD_BUS_PARAM(type) SD_BUS_PARAM(argument), 0),
    SD_BUS_VTABLE_END,
};
// clang-format on

ServiceObject::ServiceObject(Key, sd_bus* bus, std::string who, io_service_t id,
                             std::string className, Dictionary properties, SetPropertiesHook hook)
    : bus_(bus), who_(std::move(who)), id_(id), className_(std::move(className)),
      properties_(std::move(properties)), hook_(std::move(hook)), path_(servicePath(id)) {}

// The HID interface goes before the service's own, as it came after it.
ServiceObject::~ServiceObject() {
    hid_.reset();
}

std::unique_ptr<ServiceObject> ServiceObject::create(sd_bus* bus, const std::string& who,
                                                     io_service_t id, std::string className,
                                                     Dictionary properties, SetPropertiesHook hook,
                                                     HidSystemCalls* hid) {
    auto s = std::make_unique<ServiceObject>(Key(), bus, who, id, std::move(className),
                                             std::move(properties), std::move(hook));
    sd_bus_slot* slot = nullptr;
    int r =
        sd_bus_add_object_vtable(bus, &slot, s->path_.c_str(), kServiceInterface, kVtable, s.get());
    if (r < 0) {
        std::fprintf(stderr, "%s: cannot serve %s: %s\n", who.c_str(), s->path_.c_str(),
                     std::strerror(-r));
        return nullptr;
    }
    s->slot_.reset(slot);
    if (hid) {
        s->hid_ = HidSystemObject::create(bus, who, s->path_, *hid);
        if (!s->hid_) {
            return nullptr;
        }
    }
    return s;
}

bool ServiceObject::emitMessage(std::uint32_t type, std::uint64_t argument) {
    int r =
        sd_bus_emit_signal(bus_, path_.c_str(), kServiceInterface, "Message", "ut", type, argument);
    if (r < 0) {
        std::fprintf(stderr, "%s: cannot send the message: %s\n", who_.c_str(), std::strerror(-r));
        return false;
    }
    return true;
}

int ServiceObject::getClassName(sd_bus*, const char*, const char*, const char*,
                                sd_bus_message* reply, void* userdata, sd_bus_error*) {
    return sd_bus_message_append(reply, "s",
                                 static_cast<ServiceObject*>(userdata)->className_.c_str());
}

int ServiceObject::getProperties(sd_bus*, const char*, const char*, const char*,
                                 sd_bus_message* reply, void* userdata, sd_bus_error* error) {
    auto* s = static_cast<ServiceObject*>(userdata);
    return guardedCall(s->who_, error, [&] { return appendDictionary(reply, s->properties_); });
}

int ServiceObject::onSetProperties(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* s = static_cast<ServiceObject*>(userdata);
    return guardedCall(s->who_, error, [&] {
        std::string why;
        auto d = readDictionary(m, &why);
        if (d && footprint(*d) > kMaxPropertiesBytes) {
            why = "larger than " + std::to_string(kMaxPropertiesBytes) + " bytes";
            d.reset();
        }
        if (!d) {
            // Refused whole: nothing of it is kept.
            std::fprintf(stderr, "%s: service %u refused properties: %s\n", s->who_.c_str(), s->id_,
                         why.c_str());
            return sd_bus_reply_method_return(m, "i", kIOReturnBadArgument);
        }
        const IOReturn status = s->hook_ ? s->hook_(*s, *d) : kIOReturnUnsupported;
        return sd_bus_reply_method_return(m, "i", status);
    });
}

} // namespace zed::registryserver
