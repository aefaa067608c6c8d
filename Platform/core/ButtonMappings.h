// The mouse's buttons as the pane, the agent and the driver all speak of
// them: what a button can do (its map type), how a button's mapping is stored
// ("mapping data"), the items of the key lists it types, and the modifier
// keys those items name.
#pragma once

#include "Platform/core/Value.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace zed::buttons {

// What a button does: byte 0 of its mapping data, and the position of the
// choice in the pane's mapping menu of a button.
enum MapType : std::uint8_t {
    kPrimaryClick = 0,
    kSecondaryClick = 1,
    kMiddleClick = 2,
    kKeyCombination = 3, // types a key list, its modifiers held as a chord
    kKeyMacro = 4,       // types a key list, each item a press or a release
    kOwnClick = 5,       // the click the button gives without ZED
    kAdvanced = 6,       // on-the-fly sensitivity, and a second mapping for a plain click
    kOnTheFlySensitivity = 7,
};

// ---- mapping data -----------------------------------------------------------
//
// Byte 0 is the map type. A key combination or key macro is followed by its
// key list in ASCII, an advanced mapping by the whole mapping data of its
// second mapping; every other type is the type byte alone (bytes after it
// mean nothing).

// No real mapping nests more than once; data nested deeper than this is
// damaged or hostile and reads as if it ended there.
inline constexpr int kMaxNesting = 16;

// One mapping as its data reads.
struct Mapping {
    std::int32_t type = kPrimaryClick; // types this version does not know are kept
    std::optional<std::string> keys;   // a key combination's key list
    std::optional<std::string> macro;  // a key macro's key list
    std::unique_ptr<Mapping> advanced; // an advanced mapping's second mapping
};

// The type byte and the bytes after it; nothing for empty data.
struct Split {
    std::uint8_t type;
    std::span<const std::uint8_t> payload;
};
constexpr std::optional<Split> split(std::span<const std::uint8_t> data) {
    if (data.empty()) {
        return std::nullopt;
    }
    return Split{data[0], data.subspan(1)};
}

// Key lists are 7-bit ASCII; anything else is not a key list.
bool isAscii(std::span<const std::uint8_t> bytes);

// Reads mapping data lying `depth` advanced mappings deep (0: a button's
// own). Empty data reads as a primary click; a key list that is not ASCII
// as none; an advanced mapping at kMaxNesting as one without a second
// mapping.
Mapping parse(std::span<const std::uint8_t> data, int depth = 0);

// The mapping data of a mapping: of its key lists only the one its type
// uses, and only when ASCII; the type's low byte.
Data format(const Mapping& mapping);

// Mapping data read, and whether writing the mapping back gives the very
// same bytes (data that does not may be kept as it was stored).
struct Read {
    Mapping mapping;
    bool exact;
};
Read read(std::span<const std::uint8_t> data);

// ---- key lists --------------------------------------------------------------
//
// The items of a key list are decimal numbers separated by commas, each a
// virtual key code with kKeyPress for a press or kKeyRelease for a release.
// A key combination's items are presses; the agent takes only their key.

inline constexpr char kKeyListSeparator = ',';
inline constexpr std::int32_t kKeyPress = 0x200;
inline constexpr std::int32_t kKeyRelease = 0x100;
inline constexpr std::int32_t kKeyPressAndRelease = kKeyPress | kKeyRelease;
inline constexpr std::int32_t kKeyCodeMask = 0xFF;

// A key macro holds this many items at most, modifier changes included.
inline constexpr std::size_t kMaxMacroItems = 16;

// An item's key, whatever its press and release bits.
constexpr std::uint8_t keyOf(std::int32_t item) {
    return static_cast<std::uint8_t>(item & kKeyCodeMask);
}
constexpr bool isRelease(std::int32_t item) {
    return (item & kKeyRelease) != 0;
}

// ---- modifier keys ----------------------------------------------------------

// Virtual key codes of the modifier keys. The right-hand ones are plain keys
// in a macro and modifiers in a key combination.
inline constexpr std::uint8_t kRightCommandKey = 54;
inline constexpr std::uint8_t kCommandKey = 55;
inline constexpr std::uint8_t kShiftKey = 56;
inline constexpr std::uint8_t kCapsLockKey = 57;
inline constexpr std::uint8_t kOptionKey = 58;
inline constexpr std::uint8_t kControlKey = 59;
inline constexpr std::uint8_t kRightShiftKey = 60;
inline constexpr std::uint8_t kRightOptionKey = 61;
inline constexpr std::uint8_t kRightControlKey = 62;
inline constexpr std::uint8_t kFunctionKey = 63;

// The event flags that say which modifiers are held.
inline constexpr std::uint32_t kAlphaShiftMask = 0x10000; // Caps Lock
inline constexpr std::uint32_t kShiftMask = 0x20000;
inline constexpr std::uint32_t kControlMask = 0x40000;
inline constexpr std::uint32_t kAlternateMask = 0x80000; // Option
inline constexpr std::uint32_t kCommandMask = 0x100000;

struct ModifierKey {
    std::uint8_t virtualKey;
    std::uint32_t flagMask;
};

// The five keys whose state the event flags carry.
inline constexpr std::array<ModifierKey, 5> kFlagModifiers{{
    {kCommandKey, kCommandMask},
    {kShiftKey, kShiftMask},
    {kCapsLockKey, kAlphaShiftMask},
    {kOptionKey, kAlternateMask},
    {kControlKey, kControlMask},
}};

// The nine modifier keys: Command, Shift, Option and Control on either side,
// and Caps Lock.
constexpr bool isModifierKey(std::uint8_t key) {
    return key >= kRightCommandKey && key <= kRightControlKey;
}

// The flag of one of kFlagModifiers; 0 for every other key.
constexpr std::uint32_t flagMask(std::uint8_t key) {
    for (const ModifierKey& m : kFlagModifiers) {
        if (m.virtualKey == key) {
            return m.flagMask;
        }
    }
    return 0;
}

// The flag a modifier key holds down, the right-hand keys their left twin's;
// 0 for every other key.
constexpr std::uint32_t modifierMask(std::uint8_t key) {
    switch (key) {
    case kRightCommandKey:
        return kCommandMask;
    case kRightShiftKey:
        return kShiftMask;
    case kRightOptionKey:
        return kAlternateMask;
    case kRightControlKey:
        return kControlMask;
    default:
        return flagMask(key);
    }
}

} // namespace zed::buttons
