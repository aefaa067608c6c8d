// Which mice the driver adopts, found through udev: the evdev nodes that are
// already there (enumeration) and those plugged in later (a monitor on the
// "udev" source, so that a node arrives with the properties udev's rules gave
// it). A mouse is adopted when udev classes it as a mouse and it carries the
// maker's ids or an administrator's ZED_DRIVER=1; never one of the driver's
// own virtual devices.
#pragma once

#include "MouseIdentity.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct udev;
struct udev_device;
struct udev_monitor;
struct sd_event;
struct sd_event_source;

namespace zed::driver {

// What udev says of one evdev node, as far as adoption goes.
struct MouseCandidate {
    MouseIdentity identity;
    std::string phys;     // the input device's phys (empty when it has none)
    bool isMouse = false; // ID_INPUT_MOUSE=1
    bool marked = false;  // ZED_DRIVER=1
    bool hasIds = false;  // vendor and product could be read
};

// Whether the phys marks one of the driver's own virtual devices.
bool isOurVirtualDevice(const std::string& phys);
// The adoption rule: a mouse that is not ours, with the maker's ids or marked.
bool shouldAdopt(const MouseCandidate& candidate);
// The udev rule line that marks this mouse for adoption (its input node,
// matched by the ids of its input device).
std::string adoptionRule(const MouseCandidate& candidate);
// "2f1a" from "2f1a", "0x2F1A" or "2F1A"; nullopt unless four hex digits at most.
std::optional<std::uint16_t> parseHexId(const char* text);

struct UdevUnref {
    void operator()(udev* u) const;
};
struct UdevDeviceUnref {
    void operator()(udev_device* d) const;
};
struct UdevMonitorUnref {
    void operator()(udev_monitor* m) const;
};
struct EventSourceUnref {
    void operator()(sd_event_source* s) const;
};
using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevDeviceUnref>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevMonitorUnref>;
using EventSourcePtr = std::unique_ptr<sd_event_source, EventSourceUnref>;

// What udev says of the node's device; nullopt for anything but an evdev
// node (subsystem input, sysname event*).
std::optional<MouseCandidate> describe(udev_device* device);

// Every evdev node udev knows of that it classes as a mouse, in node order;
// nullopt with *error when udev cannot be asked.
std::optional<std::vector<MouseCandidate>> listMice(std::string* error);

class Discovery {
public:
    struct Callbacks {
        std::function<void(const MouseIdentity&)> added;
        std::function<void(const std::string& syspath)> removed;
    };

    // Starts watching, then reports every adoptable mouse already there
    // through `added` before returning. Null with *error on failure.
    static std::unique_ptr<Discovery> start(sd_event* loop, Callbacks callbacks,
                                            std::string* error);
    ~Discovery();
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // The sys paths reported added and not yet removed.
    std::vector<std::string> adopted() const;

private:
    explicit Discovery(Callbacks callbacks);
    static int onMonitor(sd_event_source* source, int fd, std::uint32_t events, void* self);
    void receive();
    // A device appeared or changed: added when it now qualifies, removed
    // when it no longer does.
    void consider(udev_device* device);
    void forget(const std::string& syspath);

    Callbacks callbacks_;
    UdevPtr udev_;
    UdevMonitorPtr monitor_;
    EventSourcePtr source_;
    std::map<std::string, MouseIdentity> adopted_;
};

} // namespace zed::driver
