// The pointer the desktop sees in place of an adopted mouse: a uinput device
// made with libevdev's uinput helper, to which the transformed events go.
#pragma once

#include "Driver/InputEvent.h"
#include "Driver/MouseIdentity.h"
#include "Platform/core/UniqueFd.h"

#include <memory>
#include <span>
#include <string>

struct libevdev;
struct libevdev_uinput;

namespace zed::driver {

class VirtualPointer {
public:
    // The name the virtual pointer takes: the source's, marked, so that a
    // desktop's device list tells it from the grabbed mouse it stands for.
    static constexpr const char* kNameSuffix = " (ZED)";

    // A uinput pointer shaped after the source (mouse-shaped capabilities only, phys
    // kVirtualPhysPrefix + source node); null with *error set on failure.
    //
    // What it declares: REL_X, REL_Y, both wheels and BTN_LEFT..BTN_TASK
    // whatever the source has (the transform may turn any button into any of
    // these); the wheels' high-resolution twins, MSC_SCAN and
    // INPUT_PROP_POINTER when the source has them. Never absolute axes,
    // joystick or gamepad buttons: udev would then class the device as a
    // joystick.
    // Name: the source's name with kNameSuffix; bus, vendor, product and
    // version: the source's own, so that per-device settings and quirks that
    // desktops key on the mouse's ids still find the mouse.
    static std::unique_ptr<VirtualPointer> create(const libevdev* source, const MouseIdentity& id,
                                                  std::string* error);
    ~VirtualPointer();
    VirtualPointer(const VirtualPointer&) = delete;
    VirtualPointer& operator=(const VirtualPointer&) = delete;

    // Writes the events in one go; false on a write error.
    bool emit(std::span<const InputEvent> events);
    // /dev/input/eventN of the virtual device (may be null without udev).
    const char* devnode() const;
    // The sysfs path of the input device (/sys/devices/virtual/input/inputN).
    const char* syspath() const;
    const std::string& phys() const { return phys_; }
    const std::string& name() const { return name_; }

private:
    struct UinputDeleter {
        void operator()(libevdev_uinput* uinput) const;
    };

    VirtualPointer() = default;

    UniqueFd fd_; // /dev/uinput, closed after the device is destroyed
    std::unique_ptr<libevdev_uinput, UinputDeleter> uinput_;
    std::string phys_;
    std::string name_;
};

} // namespace zed::driver
