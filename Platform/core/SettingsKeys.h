// The settings contract between the pane, the agent and the driver: the
// preference domain the pane and the agent use, the notification that
// announces a save, and one row per settings key with its stored type, what
// the agent writes when the domain is empty, what the pane reads when the key
// is missing, how the driver receives it, the range the user chooses from,
// and the bounds the driver holds it to.
#pragma once

#include "Platform/core/ButtonMappings.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Value.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace zed::settings {

// The preference domain (the pane's bundle identifier as well).
inline constexpr const char* kDomain = "com.tovik.ZED";
// The cross-process announcement of a save; its user info is the whole
// settings dictionary.
inline constexpr const char* kNotificationName = "TovikCopperhound";
inline constexpr const char* kNotificationObject = "PrefsChange";

// The keys, in table order: the order in which the agent applies them.
enum class Key : std::uint8_t {
    kOrientation,
    kSensitivity,
    kMasterSensitivityX,
    kMasterSensitivityY,
    kMasterSensitivityOn,
    kMasterAccel,
    kMasterAccelOn,
    kOtfs,
    kOtfsOnScreen,
    kScrollWheelSpeed,
    kDblClickSpeed,
    kResolution,
    kButtonMappings,
    kNumButtons,
    kPointerSpeed,
};

// The value type in the domain and in the posted dictionary.
enum class Type : std::uint8_t {
    kInteger,   // 32-bit integer number
    kDouble,    // double number
    kDataArray, // array of byte strings
};

// What the agent writes for the key into an empty domain.
struct AgentDefault {
    enum class Source : std::uint8_t {
        kNone,            // the agent neither writes nor reads the key
        kNumber,          // `number`
        kHidAcceleration, // the HID system's mouse acceleration; `number` when it cannot be asked
        kMappingTypes,    // one one-byte mapping per entry of kDefaultMappingTypes
    };
    Source source;
    double number;
};

// What the pane's getter returns while the key is missing.
struct PaneFallback {
    enum class Source : std::uint8_t {
        kNone,          // no property: the pane carries the stored value along unchanged
        kNumber,        // `number`
        kPrimaryClicks, // every button a primary click
    };
    Source source;
    double number;
};

// How the agent hands the value to the mouse driver.
enum class ToDriver : std::uint8_t {
    kNone,         // not to the driver ("DblClickSpeed" goes to the HID system)
    kButtonMode,   // "HIDPointerButtonMode": 2 for 0, otherwise 1
    kFixed,        // 16.16 fixed point under the same key
    kAcceleration, // 16.16 fixed point as "HIDPointerAcceleration"
    kSame,         // unchanged under the same key, once read as the stored type
    kAsStored,     // unchanged under the same key, whatever its type
};

// The values a number offers the user, in its stored unit: the pane's
// controls span them in steps of `step`, and on-the-fly steps stay within
// them.
struct Range {
    double min;
    double max;
    double step;
};

// What the driver makes of a number it receives, in the unit it receives it
// in (the stored unit; the button mode for "Orientation"): values beyond
// [min, max] are clamped to them, and `neutral`, the mouse as it is without
// ZED, stands until the agent sends one.
struct DriverBounds {
    double min;
    double max;
    double neutral;
};

struct KeyInfo {
    Key key;
    const char* name;
    Type type;
    AgentDefault agent;
    PaneFallback pane;
    ToDriver toDriver;
    std::optional<Range> range;
    std::optional<DriverBounds> driver;
};

namespace detail {
inline constexpr AgentDefault agentNumber(double n) {
    return {AgentDefault::Source::kNumber, n};
}
inline constexpr PaneFallback paneNumber(double n) {
    return {PaneFallback::Source::kNumber, n};
}
// Sensitivities and the wheel speed are tenths of the device's own speed:
// the driver never takes zero or less, so a bad value can slow the pointer
// or wheel down but never freeze or invert it.
inline constexpr DriverBounds kSpeedBounds{0.1, 100.0, 10.0};
// Switches: any integer means something (zero or not), so none is clamped
// beyond the 32 bits they are sent in.
inline constexpr DriverBounds switchBounds(double neutral) {
    return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
            neutral};
}
} // namespace detail

// The agent's map types of buttons 1 to 7: the primary click, clicks the
// driver carries out (secondary and own clicks), and on-the-fly sensitivity
// on button 3.
inline constexpr std::array<std::uint8_t, 7> kDefaultMappingTypes = {
    buttons::kPrimaryClick, buttons::kSecondaryClick, buttons::kOnTheFlySensitivity,
    buttons::kOwnClick,     buttons::kOwnClick,       buttons::kOwnClick,
    buttons::kOwnClick};

// "DblClickSpeed" counts tenths of a second; the pane shows 10 minus it.
// "PointerSpeed" is the pane's alone.
// The sensitivities offer 1.0 to 10.0 in steps of 0.2, the steps of
// on-the-fly sensitivity too.
inline constexpr std::array<KeyInfo, 15> kKeys = {{
    {Key::kOrientation, "Orientation", Type::kInteger, detail::agentNumber(0),
     detail::paneNumber(0), ToDriver::kButtonMode, std::nullopt, DriverBounds{1, 2, 1}},
    {Key::kSensitivity, "Sensitivity", Type::kDouble, detail::agentNumber(10.0),
     detail::paneNumber(0.0), ToDriver::kFixed, Range{1.0, 10.0, 0.2}, detail::kSpeedBounds},
    {Key::kMasterSensitivityX, "MasterSensitivityX", Type::kDouble, detail::agentNumber(10.0),
     detail::paneNumber(0.0), ToDriver::kFixed, Range{1.0, 10.0, 0.2}, detail::kSpeedBounds},
    {Key::kMasterSensitivityY, "MasterSensitivityY", Type::kDouble, detail::agentNumber(10.0),
     detail::paneNumber(0.0), ToDriver::kFixed, Range{1.0, 10.0, 0.2}, detail::kSpeedBounds},
    {Key::kMasterSensitivityOn, "MasterSensitivityOn", Type::kInteger, detail::agentNumber(1),
     detail::paneNumber(0), ToDriver::kSame, std::nullopt, detail::switchBounds(1)},
    {Key::kMasterAccel,
     "MasterAccel",
     Type::kDouble,
     {AgentDefault::Source::kHidAcceleration, 0.25},
     detail::paneNumber(0.0),
     ToDriver::kAcceleration,
     Range{0.0, 3.0, 0.25},
     DriverBounds{0.0, 3.0, 0.0}},
    {Key::kMasterAccelOn, "MasterAccelOn", Type::kInteger, detail::agentNumber(0),
     detail::paneNumber(0), ToDriver::kSame, std::nullopt, detail::switchBounds(0)},
    {Key::kOtfs, "Otfs", Type::kInteger, detail::agentNumber(0), detail::paneNumber(1),
     ToDriver::kSame, std::nullopt, detail::switchBounds(0)},
    {Key::kOtfsOnScreen, "OtfsOnScreen", Type::kInteger, detail::agentNumber(1),
     detail::paneNumber(1), ToDriver::kSame, std::nullopt, detail::switchBounds(1)},
    {Key::kScrollWheelSpeed, "ScrollWheelSpeed", Type::kDouble, detail::agentNumber(10.0),
     detail::paneNumber(0.0), ToDriver::kFixed, Range{1.0, 10.0, 0.5}, detail::kSpeedBounds},
    {Key::kDblClickSpeed, "DblClickSpeed", Type::kDouble, detail::agentNumber(6.0),
     detail::paneNumber(0.0), ToDriver::kNone, Range{1.0, 9.0, 0.5}, std::nullopt},
    {Key::kResolution, "Resolution", Type::kInteger, detail::agentNumber(0), detail::paneNumber(0),
     ToDriver::kAsStored, std::nullopt, DriverBounds{0, 65535, 0}},
    {Key::kButtonMappings,
     "ButtonMappings",
     Type::kDataArray,
     {AgentDefault::Source::kMappingTypes, 0},
     {PaneFallback::Source::kPrimaryClicks, 0},
     ToDriver::kSame,
     std::nullopt,
     std::nullopt},
    {Key::kNumButtons,
     "NumButtons",
     Type::kInteger,
     detail::agentNumber(7),
     {PaneFallback::Source::kNone, 0},
     ToDriver::kAsStored,
     std::nullopt,
     DriverBounds{0, 32, 7}},
    {Key::kPointerSpeed,
     "PointerSpeed",
     Type::kDouble,
     {AgentDefault::Source::kNone, 0},
     detail::paneNumber(0.0),
     ToDriver::kNone,
     std::nullopt,
     std::nullopt},
}};

inline constexpr const KeyInfo& info(Key key) {
    return kKeys[static_cast<std::size_t>(key)];
}
inline constexpr const char* name(Key key) {
    return info(key).name;
}

namespace detail {
constexpr bool rowsInKeyOrder() {
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        if (static_cast<std::size_t>(kKeys[i].key) != i) {
            return false;
        }
    }
    return true;
}
constexpr bool namesDistinct() {
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        for (std::size_t j = i + 1; j < kKeys.size(); ++j) {
            if (std::string_view(kKeys[i].name) == kKeys[j].name) {
                return false;
            }
        }
    }
    return true;
}
constexpr bool boundsHold() {
    for (const KeyInfo& k : kKeys) {
        if (k.range && !(k.range->min < k.range->max && k.range->step > 0)) {
            return false;
        }
        if (k.driver &&
            !(k.driver->min <= k.driver->neutral && k.driver->neutral <= k.driver->max)) {
            return false;
        }
        // What the user may choose reaches the driver unclamped.
        if (k.range && k.driver && (k.range->min < k.driver->min || k.range->max > k.driver->max)) {
            return false;
        }
        // Every number the driver receives has its bounds; the mappings have none.
        if (k.toDriver != ToDriver::kNone && k.driver.has_value() == (k.type == Type::kDataArray)) {
            return false;
        }
    }
    return true;
}
} // namespace detail
static_assert(detail::rowsInKeyOrder(), "info() indexes the table by Key");
static_assert(detail::namesDistinct());
static_assert(detail::boundsHold());
// The agent sets the HID system's acceleration from "MasterAccel" and only
// then turns it off for "MasterAccelOn".
static_assert(Key::kMasterAccel < Key::kMasterAccelOn);

// The sensitivities that on-the-fly steps change, in the agent's index order
// (overall, X, Y).
inline constexpr std::array<Key, 3> kSensitivityKeys = {Key::kSensitivity, Key::kMasterSensitivityX,
                                                        Key::kMasterSensitivityY};

// The driver property that receives the key's value; null for none.
inline constexpr const char* driverProperty(const KeyInfo& key) {
    switch (key.toDriver) {
    case ToDriver::kNone:
        return nullptr;
    case ToDriver::kButtonMode:
        return driver::kButtonModeProperty;
    case ToDriver::kAcceleration:
        return driver::kAccelerationProperty;
    default:
        return key.name;
    }
}

// A number as the key's stored type holds it (integers as 32-bit).
inline Value storedNumber(const KeyInfo& key, double number) {
    if (key.type == Type::kInteger) {
        return Value(static_cast<std::int32_t>(number));
    }
    return Value(number);
}

} // namespace zed::settings
