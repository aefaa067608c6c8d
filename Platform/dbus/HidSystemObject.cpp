#include "HidSystemObject.h"

#include "Platform/core/Log.h"
#include "Platform/dbus/DBusClient.h"
#include "ServerCall.h"

#include <utility>

namespace zed::registryserver {

using registrybus::kHidSystemInterface;

// clang-format off
const sd_bus_vtable HidSystemObject::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("Open", "u", SD_BUS_PARAM(type),
                             "iu", SD_BUS_PARAM(status) SD_BUS_PARAM(connect),
                             onOpen, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("Close", "u", SD_BUS_PARAM(connect), "", , onClose,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("SetMouseButtonMode", "ui", SD_BUS_PARAM(connect) SD_BUS_PARAM(mode),
                             "i", SD_BUS_PARAM(status), onSetMouseButtonMode,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("SetAccelerationWithKey", "usd",
                             SD_BUS_PARAM(connect) SD_BUS_PARAM(key) SD_BUS_PARAM(value),
                             "i", SD_BUS_PARAM(status), onSetAcceleration,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("GetAccelerationWithKey", "us", SD_BUS_PARAM(connect) SD_BUS_PARAM(key),
                             "id", SD_BUS_PARAM(status) SD_BUS_PARAM(value), onGetAcceleration,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("PostEvent", "uunnayuuu",
                             SD_BUS_PARAM(connect) SD_BUS_PARAM(type) SD_BUS_PARAM(x)
                             SD_BUS_PARAM(y) SD_BUS_PARAM(data) SD_BUS_PARAM(dataVersion)
                             SD_BUS_PARAM(flags) SD_BUS_PARAM(options),
                             "i", SD_BUS_PARAM(status), onPostEvent, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};
// clang-format on

HidSystemObject::HidSystemObject(Key, HidSystemCalls& calls) : calls_(calls) {}

std::unique_ptr<HidSystemObject> HidSystemObject::create(sd_bus* bus, const std::string& path,
                                                         HidSystemCalls& calls) {
    auto h = std::make_unique<HidSystemObject>(Key(), calls);
    sd_bus_slot* slot = nullptr;
    int r =
        sd_bus_add_object_vtable(bus, &slot, path.c_str(), kHidSystemInterface, kVtable, h.get());
    if (r < 0) {
        zed::logErrno(-r, "cannot serve %s", path.c_str());
        return nullptr;
    }
    h->slot_.reset(slot);
    return h;
}

int HidSystemObject::onOpen(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* h = static_cast<HidSystemObject*>(userdata);
    return guardedCall(error, [&] {
        std::uint32_t type = 0;
        int r = sd_bus_message_read(m, "u", &type);
        if (r < 0) {
            return r;
        }
        const HidSystemCalls::Opened opened = h->calls_.open(type);
        return sd_bus_reply_method_return(m, "iu", opened.status, opened.connect);
    });
}

int HidSystemObject::onClose(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* h = static_cast<HidSystemObject*>(userdata);
    return guardedCall(error, [&] {
        std::uint32_t connect = 0;
        int r = sd_bus_message_read(m, "u", &connect);
        if (r < 0) {
            return r;
        }
        h->calls_.close(connect);
        return sd_bus_reply_method_return(m, "");
    });
}

int HidSystemObject::onSetMouseButtonMode(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* h = static_cast<HidSystemObject*>(userdata);
    return guardedCall(error, [&] {
        std::uint32_t connect = 0;
        std::int32_t mode = 0;
        int r = sd_bus_message_read(m, "ui", &connect, &mode);
        if (r < 0) {
            return r;
        }
        return sd_bus_reply_method_return(m, "i", h->calls_.setMouseButtonMode(connect, mode));
    });
}

int HidSystemObject::onSetAcceleration(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* h = static_cast<HidSystemObject*>(userdata);
    return guardedCall(error, [&] {
        std::uint32_t connect = 0;
        const char* key = nullptr;
        double value = 0;
        int r = sd_bus_message_read(m, "usd", &connect, &key, &value);
        if (r < 0) {
            return r;
        }
        return sd_bus_reply_method_return(m, "i", h->calls_.setAcceleration(connect, key, value));
    });
}

int HidSystemObject::onGetAcceleration(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* h = static_cast<HidSystemObject*>(userdata);
    return guardedCall(error, [&] {
        std::uint32_t connect = 0;
        const char* key = nullptr;
        int r = sd_bus_message_read(m, "us", &connect, &key);
        if (r < 0) {
            return r;
        }
        const HidSystemCalls::Acceleration a = h->calls_.getAcceleration(connect, key);
        return sd_bus_reply_method_return(m, "id", a.status, a.value);
    });
}

int HidSystemObject::onPostEvent(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* h = static_cast<HidSystemObject*>(userdata);
    return guardedCall(error, [&] {
        PostedEvent e;
        const void* data = nullptr;
        std::size_t size = 0;
        int r = sd_bus_message_read(m, "uunn", &e.connect, &e.type, &e.x, &e.y);
        if (r >= 0) {
            r = sd_bus_message_read_array(m, 'y', &data, &size);
        }
        if (r >= 0) {
            r = sd_bus_message_read(m, "uuu", &e.dataVersion, &e.flags, &e.options);
        }
        if (r < 0) {
            return r;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        e.data.assign(bytes, bytes + size);
        return sd_bus_reply_method_return(m, "i", h->calls_.postEvent(e));
    });
}

} // namespace zed::registryserver
