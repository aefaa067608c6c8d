// Key codes at the edges of the system: stored key lists use the host
// platform's virtual key codes (0-127), Linux speaks evdev KEY_* codes. One
// table serves both directions, for typing through uinput and for capturing
// keys from X11 (whose key codes are the evdev codes plus 8).
#pragma once

#include "Platform/core/ButtonMappings.h"

#include <cstdint>
#include <optional>
#include <span>

namespace zed {

struct KeyCodePair {
    std::uint8_t virtualKey;
    std::uint16_t evdev;
};

// Every virtual key code that has a key on Linux, each with exactly one
// evdev code (Command is the left Super/Meta key, Option the left Alt key).
std::span<const KeyCodePair> keyCodeTable();

std::optional<std::uint16_t> evdevFromVirtualKey(std::uint8_t virtualKey);
std::optional<std::uint8_t> virtualKeyFromEvdev(std::uint16_t evdev);

// X11 key codes (a key event's native scan code under Qt on X11) are the
// evdev codes offset by 8.
constexpr std::uint32_t kX11KeycodeOffset = 8;
std::optional<std::uint8_t> virtualKeyFromX11Keycode(std::uint32_t x11Keycode);
std::optional<std::uint32_t> x11KeycodeFromVirtualKey(std::uint8_t virtualKey);

// The five modifier keys whose state the HID system's event flags carry.
using ModifierKey = buttons::ModifierKey;
std::span<const ModifierKey> modifierKeys();

} // namespace zed
