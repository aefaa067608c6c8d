// The HID system's interface (com.tovik.IOHIDSystem) on a registry service's
// object: Open, Close, SetMouseButtonMode, Set/GetAccelerationWithKey and
// PostEvent. This object reads the calls and writes the replies; what they
// do is up to the owner's HidSystemCalls.
#pragma once

#include "Platform/core/IOKit.h"
#include "Platform/dbus/DBusValue.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zed::registryserver {

struct PostedEvent {
    std::uint32_t connect = 0;
    std::uint32_t type = 0;
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::vector<std::uint8_t> data; // as sent: its size is not checked here
    std::uint32_t dataVersion = 0;
    std::uint32_t flags = 0;
    std::uint32_t options = 0;
};

class HidSystemCalls {
public:
    struct Opened {
        IOReturn status;
        std::uint32_t connect;
    };
    struct Acceleration {
        IOReturn status;
        double value;
    };

    virtual ~HidSystemCalls() = default;
    virtual Opened open(std::uint32_t type) = 0;
    // Close has no status on the bus.
    virtual void close(std::uint32_t connect) = 0;
    virtual IOReturn setMouseButtonMode(std::uint32_t connect, std::int32_t mode) = 0;
    virtual IOReturn setAcceleration(std::uint32_t connect, const std::string& key,
                                     double value) = 0;
    virtual Acceleration getAcceleration(std::uint32_t connect, const std::string& key) = 0;
    virtual IOReturn postEvent(const PostedEvent& event) = 0;
};

class HidSystemObject {
    struct Key {
        explicit Key() = default;
    };

public:
    // Serves the interface at `path`; null with a message when the bus
    // refuses it. `calls` must outlive the object.
    static std::unique_ptr<HidSystemObject> create(sd_bus* bus, const std::string& path,
                                                   HidSystemCalls& calls);
    HidSystemObject(Key, HidSystemCalls& calls);
    HidSystemObject(const HidSystemObject&) = delete;
    HidSystemObject& operator=(const HidSystemObject&) = delete;

private:
    static const sd_bus_vtable kVtable[];
    static int onOpen(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onClose(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onSetMouseButtonMode(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onSetAcceleration(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onGetAcceleration(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onPostEvent(sd_bus_message* m, void* userdata, sd_bus_error* error);

    HidSystemCalls& calls_;
    SlotPtr slot_;
};

} // namespace zed::registryserver
