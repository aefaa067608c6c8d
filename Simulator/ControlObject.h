// The simulator's control interface (com.tovik.MouseSimulator at
// /com/tovik/MouseSimulator), which zed-mouse-sim's commands call: plug,
// unplug, send a message word, fail the next SetProperties, change the
// session, show the records.
#pragma once

#include "Platform/dbus/DBusValue.h"

#include <memory>

namespace zed::sim {

class MouseSimulator;

class ControlObject {
    struct Key {
        explicit Key() = default;
    };

public:
    // Serves the object; null with a message when the bus refuses it.
    static std::unique_ptr<ControlObject> create(sd_bus* bus, MouseSimulator& sim);
    ControlObject(Key, MouseSimulator& sim);
    ControlObject(const ControlObject&) = delete;
    ControlObject& operator=(const ControlObject&) = delete;

private:
    static const sd_bus_vtable kVtable[];
    static int onPlug(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onUnplug(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onSendMessage(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onFailNext(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onSetSession(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onShow(sd_bus_message* m, void* userdata, sd_bus_error* error);

    MouseSimulator& sim_;
    SlotPtr slot_;
};

} // namespace zed::sim
