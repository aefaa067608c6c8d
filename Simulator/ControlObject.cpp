#include "ControlObject.h"

#include "MouseSimulator.h"
#include "Platform/core/Log.h"
#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/ServerCall.h"

namespace zed::sim {

namespace {

template <typename F> int guarded(sd_bus_error* error, F&& f) {
    return registryserver::guardedCall(error, std::forward<F>(f));
}

int noMouse(sd_bus_error* error, std::uint32_t id) {
    if (id == 0) {
        return sd_bus_error_set(error, kErrorNoMouse, "no mouse is plugged");
    }
    return sd_bus_error_setf(error, kErrorNoMouse, "no plugged mouse has the id %u", id);
}

} // namespace

// clang-format off
const sd_bus_vtable ControlObject::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("Plug", "ii", SD_BUS_PARAM(vendor) SD_BUS_PARAM(product),
                             "uu", SD_BUS_PARAM(driver) SD_BUS_PARAM(device), onPlug, 0),
    SD_BUS_METHOD_WITH_NAMES("Unplug", "u", SD_BUS_PARAM(mouse),
                             "uu", SD_BUS_PARAM(driver) SD_BUS_PARAM(device), onUnplug, 0),
    SD_BUS_METHOD_WITH_NAMES("SendMessage", "uut",
                             SD_BUS_PARAM(mouse) SD_BUS_PARAM(word) SD_BUS_PARAM(argument),
                             "u", SD_BUS_PARAM(driver), onSendMessage, 0),
    SD_BUS_METHOD_WITH_NAMES("FailNext", "i", SD_BUS_PARAM(status), "", , onFailNext, 0),
    SD_BUS_METHOD_WITH_NAMES("SetSession", "s", SD_BUS_PARAM(change), "", , onSetSession, 0),
    SD_BUS_METHOD_WITH_NAMES("Show", "s", SD_BUS_PARAM(what), "as", SD_BUS_PARAM(records),
                             onShow, 0),
    SD_BUS_VTABLE_END,
};
// clang-format on

ControlObject::ControlObject(Key, MouseSimulator& sim) : sim_(sim) {}

std::unique_ptr<ControlObject> ControlObject::create(sd_bus* bus, MouseSimulator& sim) {
    auto c = std::make_unique<ControlObject>(Key(), sim);
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(bus, &slot, kControlPath, kControlInterface, kVtable, c.get());
    if (r < 0) {
        zed::logErrno(-r, "cannot serve %s", kControlInterface);
        return nullptr;
    }
    c->slot_.reset(slot);
    return c;
}

int ControlObject::onPlug(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        MouseSimulator& sim = static_cast<ControlObject*>(userdata)->sim_;
        std::int32_t vendor = 0, product = 0;
        int r = sd_bus_message_read(m, "ii", &vendor, &product);
        if (r < 0) {
            return r;
        }
        const MouseSimulator::Mouse mouse = sim.plug(vendor, product);
        return sd_bus_reply_method_return(m, "uu", mouse.driver, mouse.device);
    });
}

int ControlObject::onUnplug(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        MouseSimulator& sim = static_cast<ControlObject*>(userdata)->sim_;
        std::uint32_t id = 0;
        int r = sd_bus_message_read(m, "u", &id);
        if (r < 0) {
            return r;
        }
        auto mouse = sim.unplug(id);
        if (!mouse) {
            return noMouse(error, id);
        }
        return sd_bus_reply_method_return(m, "uu", mouse->driver, mouse->device);
    });
}

int ControlObject::onSendMessage(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        MouseSimulator& sim = static_cast<ControlObject*>(userdata)->sim_;
        std::uint32_t id = 0, word = 0;
        std::uint64_t argument = 0;
        int r = sd_bus_message_read(m, "uut", &id, &word, &argument);
        if (r < 0) {
            return r;
        }
        auto mouse = sim.sendMessage(id, word, argument);
        if (!mouse) {
            return noMouse(error, id);
        }
        return sd_bus_reply_method_return(m, "u", mouse->driver);
    });
}

int ControlObject::onFailNext(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        std::int32_t status = 0;
        int r = sd_bus_message_read(m, "i", &status);
        if (r < 0) {
            return r;
        }
        static_cast<ControlObject*>(userdata)->sim_.failNext(status);
        return sd_bus_reply_method_return(m, "");
    });
}

int ControlObject::onSetSession(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        const char* change = nullptr;
        int r = sd_bus_message_read(m, "s", &change);
        if (r < 0) {
            return r;
        }
        if (!static_cast<ControlObject*>(userdata)->sim_.changeSession(change)) {
            return sd_bus_error_setf(error, kErrorInvalid,
                                     "unknown session change \"%s\" (away, back, login, logout, "
                                     "none)",
                                     change);
        }
        return sd_bus_reply_method_return(m, "");
    });
}

int ControlObject::onShow(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        const char* what = nullptr;
        int r = sd_bus_message_read(m, "s", &what);
        if (r < 0) {
            return r;
        }
        auto lines = static_cast<ControlObject*>(userdata)->sim_.show(what);
        if (!lines) {
            return sd_bus_error_setf(error, kErrorInvalid,
                                     "nothing called \"%s\" to show (driver, hid, events, "
                                     "session, devices)",
                                     what);
        }
        sd_bus_message* raw = nullptr;
        r = sd_bus_message_new_method_return(m, &raw);
        MessagePtr reply(raw);
        if (r >= 0) {
            r = sd_bus_message_open_container(reply.get(), 'a', "s");
        }
        for (std::size_t i = 0; r >= 0 && i < lines->size(); ++i) {
            r = sd_bus_message_append_basic(reply.get(), 's', (*lines)[i].c_str());
        }
        if (r >= 0) {
            r = sd_bus_message_close_container(reply.get());
        }
        if (r >= 0) {
            r = sd_bus_send(nullptr, reply.get(), nullptr);
        }
        return r;
    });
}

} // namespace zed::sim
