#include "ServiceObject.h"

#include "CallerAccess.h"
#include "HidSystemObject.h"
#include "Platform/core/Log.h"
#include "Platform/dbus/DBusClient.h"
#include "ServerCall.h"

#include <utility>

namespace zed::registryserver {

using namespace registrybus;

// clang-format off
const sd_bus_vtable ServiceObject::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("ClassName", "s", getClassName, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Properties", "a{sv}", getProperties, 0, 0),
    SD_BUS_METHOD_WITH_NAMES("SetProperties", "a{sv}", SD_BUS_PARAM(properties),
                             "i", SD_BUS_PARAM(status), onSetProperties, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("AddInterest", "", "", onAddInterest, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL_WITH_NAMES("Message", "ut", SD_BUS_PARAM(type) SD_BUS_PARAM(argument), 0),
    SD_BUS_VTABLE_END,
};
// clang-format on

namespace {

constexpr const char* kAccessDenied =
    "only root and the user of the seat's active session may control the device";

// A call kept until the bus says who sent it.
std::shared_ptr<sd_bus_message> keep(sd_bus_message* m) {
    return std::shared_ptr<sd_bus_message>(sd_bus_message_ref(m), &sd_bus_message_unref);
}

} // namespace

ServiceObject::ServiceObject(Key, sd_bus* bus, CallerAccess& access, io_service_t id,
                             std::string className, Dictionary properties, SetPropertiesHook hook)
    : bus_(bus), access_(access), id_(id), className_(std::move(className)),
      properties_(std::move(properties)), hook_(std::move(hook)), path_(servicePath(id)) {}

// The HID interface goes before the service's own, as it came after it.
ServiceObject::~ServiceObject() {
    hid_.reset();
}

std::unique_ptr<ServiceObject> ServiceObject::create(sd_bus* bus, CallerAccess& access,
                                                     io_service_t id, std::string className,
                                                     Dictionary properties, SetPropertiesHook hook,
                                                     HidSystemCalls* hid) {
    auto s = std::make_unique<ServiceObject>(Key(), bus, access, id, std::move(className),
                                             std::move(properties), std::move(hook));
    sd_bus_slot* slot = nullptr;
    int r =
        sd_bus_add_object_vtable(bus, &slot, s->path_.c_str(), kServiceInterface, kVtable, s.get());
    if (r < 0) {
        zed::logErrno(-r, "cannot serve %s", s->path_.c_str());
        return nullptr;
    }
    s->slot_.reset(slot);
    if (hid) {
        s->hid_ = HidSystemObject::create(bus, s->path_, *hid);
        if (!s->hid_) {
            return nullptr;
        }
    }
    return s;
}

bool ServiceObject::emitMessage(std::uint32_t type, std::uint64_t argument) {
    bool sent = true;
    for (const auto& [name, uid] : interested_) {
        if (!access_.allows(uid)) {
            continue; // not now: the seat may change hands again
        }
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_signal(bus_, &raw, path_.c_str(), kServiceInterface, "Message");
        MessagePtr m(raw);
        if (r >= 0) {
            r = sd_bus_message_set_destination(m.get(), name.c_str());
        }
        if (r >= 0) {
            r = sd_bus_message_append(m.get(), "ut", type, argument);
        }
        if (r >= 0) {
            r = sd_bus_send(bus_, m.get(), nullptr);
        }
        if (r < 0) {
            zed::logErrno(-r, "cannot send the message to %s", name.c_str());
            sent = false;
        }
    }
    return sent;
}

int ServiceObject::getClassName(sd_bus*, const char*, const char*, const char*,
                                sd_bus_message* reply, void* userdata, sd_bus_error*) {
    return sd_bus_message_append(reply, "s",
                                 static_cast<ServiceObject*>(userdata)->className_.c_str());
}

int ServiceObject::getProperties(sd_bus*, const char*, const char*, const char*,
                                 sd_bus_message* reply, void* userdata, sd_bus_error* error) {
    auto* s = static_cast<ServiceObject*>(userdata);
    return guardedCall(error, [&] { return appendDictionary(reply, s->properties_); });
}

int ServiceObject::onSetProperties(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* s = static_cast<ServiceObject*>(userdata);
    return guardedCall(error, [&] {
        if (!s->access_.restricted()) {
            return s->applyProperties(m);
        }
        // Who the caller is comes first: a refused caller's payload is never
        // decoded. Only a reference to the call is kept meanwhile.
        std::weak_ptr<bool> alive = s->alive_;
        auto call = keep(m);
        const bool asked = s->access_.queryUid(
            sd_bus_message_get_sender(m), [s, alive, call](std::optional<uid_t> uid) {
                if (alive.expired()) {
                    sd_bus_reply_method_errorf(call.get(), SD_BUS_ERROR_UNKNOWN_OBJECT,
                                               "the service is gone");
                    return;
                }
                if (!s->access_.allows(uid)) {
                    zed::log("service %u refused properties from %s (uid %s)", s->id_,
                             sd_bus_message_get_sender(call.get()),
                             uid ? std::to_string(*uid).c_str() : "unknown");
                    sd_bus_reply_method_errorf(call.get(), SD_BUS_ERROR_ACCESS_DENIED, "%s",
                                               kAccessDenied);
                    return;
                }
                // The caller gets an answer even when the hook fails.
                BusError failed;
                if (guardedCall(failed.get(), [&] { return s->applyProperties(call.get()); }) < 0 &&
                    sd_bus_error_is_set(failed.get())) {
                    sd_bus_reply_method_error(call.get(), failed.get());
                }
            });
        if (!asked) {
            return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, kAccessDenied);
        }
        return 1;
    });
}

int ServiceObject::applyProperties(sd_bus_message* m) {
    std::string why;
    const auto d = readDictionaryWithin(m, kSetPropertiesLimits, &why);
    if (!d) {
        // Refused whole: nothing of it is kept.
        zed::log("service %u refused properties: %s", id_, why.c_str());
        return sd_bus_reply_method_return(m, "i", kIOReturnBadArgument);
    }
    const IOReturn status = hook_ ? hook_(*this, *d) : kIOReturnUnsupported;
    return sd_bus_reply_method_return(m, "i", status);
}

int ServiceObject::onAddInterest(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* s = static_cast<ServiceObject*>(userdata);
    return guardedCall(error, [&] {
        const char* sender = sd_bus_message_get_sender(m);
        if (!sender || sender[0] != ':') {
            return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS,
                                    "only a connection on a bus can register interest");
        }
        // Its user is learnt once: a connection keeps the credentials it
        // connected with. Whether that user may hear is asked at each message.
        std::weak_ptr<bool> alive = s->alive_;
        auto call = keep(m);
        const bool asked = s->access_.queryUid(sender, [s, alive, call](std::optional<uid_t> uid) {
            if (alive.expired()) {
                sd_bus_reply_method_errorf(call.get(), SD_BUS_ERROR_UNKNOWN_OBJECT,
                                           "the service is gone");
                return;
            }
            if (!uid) {
                // Also what a caller that left meanwhile gets: nothing is kept for it.
                sd_bus_reply_method_errorf(call.get(), SD_BUS_ERROR_ACCESS_DENIED,
                                           "the bus does not say who the caller is");
                return;
            }
            s->interested_[sd_bus_message_get_sender(call.get())] = uid;
            sd_bus_reply_method_return(call.get(), "");
        });
        if (!asked) {
            return sd_bus_error_set(error, SD_BUS_ERROR_FAILED, "the caller's user is unknown");
        }
        return 1;
    });
}

} // namespace zed::registryserver
