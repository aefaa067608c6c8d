#include "LoginSessionObject.h"

#include "Platform/core/Log.h"
#include "Platform/dbus/DBusClient.h"
#include "ServerCall.h"

#include <utility>

namespace zed::registryserver {

using registrybus::kSessionInterface;
using registrybus::kSessionPath;

// clang-format off
const sd_bus_vtable LoginSessionObject::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("CopyCurrentDictionary", "", , "ba{sv}",
                             SD_BUS_PARAM(present) SD_BUS_PARAM(session), onCopy,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Activated", "", 0),
    SD_BUS_SIGNAL_WITH_NAMES("Changed", "ba{sv}", SD_BUS_PARAM(present) SD_BUS_PARAM(session), 0),
    SD_BUS_VTABLE_END,
};
// clang-format on

LoginSessionObject::LoginSessionObject(Key, sd_bus* bus, Copy copy)
    : bus_(bus), copy_(std::move(copy)) {}

std::unique_ptr<LoginSessionObject> LoginSessionObject::create(sd_bus* bus, Copy copy) {
    auto s = std::make_unique<LoginSessionObject>(Key(), bus, std::move(copy));
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(bus, &slot, kSessionPath, kSessionInterface, kVtable, s.get());
    if (r < 0) {
        zed::logErrno(-r, "cannot serve %s", kSessionInterface);
        return nullptr;
    }
    s->slot_.reset(slot);
    return s;
}

bool LoginSessionObject::emitActivated() {
    int r = sd_bus_emit_signal(bus_, kSessionPath, kSessionInterface, "Activated", "");
    if (r < 0) {
        zed::logErrno(-r, "cannot send Activated");
        return false;
    }
    return true;
}

bool LoginSessionObject::emitChanged(const std::optional<Dictionary>& session) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_signal(bus_, &raw, kSessionPath, kSessionInterface, "Changed");
    MessagePtr m(raw);
    if (r >= 0) {
        r = sd_bus_message_append(m.get(), "b", session ? 1 : 0);
    }
    if (r >= 0) {
        r = appendDictionary(m.get(), session ? *session : Dictionary{});
    }
    if (r >= 0) {
        r = sd_bus_send(bus_, m.get(), nullptr);
    }
    if (r < 0) {
        zed::logErrno(-r, "cannot send Changed");
        return false;
    }
    return true;
}

int LoginSessionObject::onCopy(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* s = static_cast<LoginSessionObject*>(userdata);
    return guardedCall(error, [&] {
        const std::optional<Dictionary> session = s->copy_ ? s->copy_() : std::nullopt;
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_return(m, &raw);
        MessagePtr reply(raw);
        if (r >= 0) {
            r = sd_bus_message_append(reply.get(), "b", session ? 1 : 0);
        }
        if (r >= 0) {
            r = appendDictionary(reply.get(), session ? *session : Dictionary{});
        }
        if (r >= 0) {
            r = sd_bus_send(nullptr, reply.get(), nullptr);
        }
        return r;
    });
}

} // namespace zed::registryserver
