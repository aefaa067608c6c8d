// The HID system of a Linux desktop: posted key events are typed through a
// uinput keyboard, the button mode and acceleration go to the pointer
// settings, "HIDClickTime" to the desktop's double-click time.
#pragma once

#include "DesktopRegistry.h"
#include "Platform/core/IOKit.h"
#include "PointerSettings.h"
#include "VirtualKeyboard.h"

#include <cstdint>
#include <memory>
#include <set>

namespace zed {

// The HID system's property dictionary: "HIDClickTime" (nanoseconds) goes to
// the double-click setting; the other properties a HID system knows have no
// counterpart on this desktop and are kept only to be read back.
class DesktopHidProperties : public HidPropertyTarget {
public:
    explicit DesktopHidProperties(std::unique_ptr<DoubleClickSetting> doubleClick);
    IOReturn setProperties(const Dictionary& properties) override;
    Dictionary copyProperties() override { return properties_; }

private:
    std::unique_ptr<DoubleClickSetting> doubleClick_;
    Dictionary properties_;
};

class DesktopHidSystem : public HidSystem {
public:
    static constexpr const char* kAccelerationKey = "HIDMouseAcceleration";
    static constexpr std::int32_t kButtonModeSwapped = 1;
    static constexpr std::int32_t kButtonModeNormal = 2;

    DesktopHidSystem(VirtualKeyboardFactory keyboard, std::unique_ptr<PointerControl> pointer,
                     std::shared_ptr<HidPropertyTarget> properties);
    ~DesktopHidSystem() override;

    IOReturn open(io_service_t hidSystem, std::uint32_t type, io_connect_t* connect) override;
    void close(io_connect_t connect) override;
    IOReturn setMouseButtonMode(io_connect_t connect, std::int32_t mode) override;
    IOReturn setAccelerationWithKey(io_connect_t connect, const std::string& key,
                                    double acceleration) override;
    IOReturn getAccelerationWithKey(io_connect_t connect, const std::string& key,
                                    double* acceleration) override;
    IOReturn postEvent(io_connect_t connect, std::uint32_t eventType, std::int16_t x,
                       std::int16_t y, const NXEventData& data, std::uint32_t dataVersion,
                       std::uint32_t eventFlags, std::uint32_t options) override;
    IOReturn releaseHeldKeys(io_connect_t connect) override;

    // What the registry's "IOHIDSystem" service hands its properties to.
    std::shared_ptr<HidPropertyTarget> propertyTarget() const { return properties_; }
    // The modifier flags that the keyboard holds down now.
    std::uint32_t heldFlags() const { return held_; }

private:
    bool isOpen(io_connect_t connect) const { return connections_.count(connect) != 0; }
    VirtualKeyboard* keyboard(); // null (said once) when it cannot be created
    // Sends the events and a sync; recreates the keyboard once if it is gone.
    IOReturn send(const std::vector<std::pair<std::uint16_t, bool>>& keys);
    IOReturn changeFlags(std::uint32_t flags);

    VirtualKeyboardFactory keyboardFactory_;
    std::unique_ptr<VirtualKeyboard> keyboard_;
    bool keyboardReported_ = false;
    std::unique_ptr<PointerControl> pointer_;
    std::shared_ptr<HidPropertyTarget> properties_;
    std::set<io_connect_t> connections_;
    io_connect_t nextConnect_ = 1;
    std::uint32_t held_ = 0;
    // The evdev keys that the keyboard holds down now, modifiers included.
    std::set<std::uint16_t> down_;
};

} // namespace zed
