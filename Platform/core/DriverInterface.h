// What the mouse's driver and the agent agree on: the driver's class, the
// properties it accepts and the layout of its message words.
#pragma once

#include "UsbIds.h"

#include <cstdint>

namespace zed::driver {

inline constexpr const char* kDriverClassName = "com_tovik_driver_TovikCopperhoundDriver";
inline constexpr const char* kUsbDeviceClassName = "IOUSBDevice";
inline constexpr const char* kHidSystemClassName = "IOHIDSystem";
inline constexpr const char* kVendorIdKey = "idVendor";
inline constexpr const char* kProductIdKey = "idProduct";

// Driver properties.
inline constexpr const char* kButtonModeProperty = "HIDPointerButtonMode";
inline constexpr const char* kAccelerationProperty = "HIDPointerAcceleration";
// HID system property and acceleration key.
inline constexpr const char* kClickTimeProperty = "HIDClickTime";
inline constexpr const char* kMouseAccelerationKey = "HIDMouseAcceleration";

inline constexpr std::uint8_t kStepNone = 0;
inline constexpr std::uint8_t kStepUp = 1;
inline constexpr std::uint8_t kStepDown = 255;
inline constexpr unsigned kButtonCount = 7;

// A driver message word taken apart: what the driver sends the agent for a
// button, and the one place that knows the word's layout.
struct MessageWord {
    std::uint8_t step = kStepNone; // bits 0-7
    std::uint8_t button = 0;       // bits 8-15, index 0-6
    bool advanced = false;         // bit 16: use the nested mapping's type
    bool overlayBegin = false;     // bit 17
    bool overlayEnd = false;       // bit 18

    static constexpr std::uint32_t kAdvancedBit = 0x10000;
    static constexpr std::uint32_t kOverlayBeginBit = 0x20000;
    static constexpr std::uint32_t kOverlayEndBit = 0x40000;

    static constexpr MessageWord decode(std::uint32_t word) {
        return MessageWord{static_cast<std::uint8_t>(word & 0xFF),
                           static_cast<std::uint8_t>((word >> 8) & 0xFF),
                           (word & kAdvancedBit) != 0, (word & kOverlayBeginBit) != 0,
                           (word & kOverlayEndBit) != 0};
    }
    constexpr std::uint32_t encode() const {
        return static_cast<std::uint32_t>(step) | (static_cast<std::uint32_t>(button) << 8) |
               (advanced ? kAdvancedBit : 0u) | (overlayBegin ? kOverlayBeginBit : 0u) |
               (overlayEnd ? kOverlayEndBit : 0u);
    }
    constexpr bool acceptable() const {
        return (step == kStepNone || step == kStepUp || step == kStepDown) && button < kButtonCount;
    }
};

} // namespace zed::driver
