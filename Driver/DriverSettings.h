// The properties the agent sets on the driver: checked and clamped as they
// arrive, kept as the registry shows them, and decoded into the numbers the
// event transform works with.
#pragma once

#include "Platform/core/IOKit.h"
#include "Platform/core/SettingsKeys.h"
#include "Platform/core/Value.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zed::driver {

// The keys the driver acts on or checks are the rows of the settings table
// (Platform/core/SettingsKeys.h) that go to the driver, under the property
// names settings::driverProperty gives; so are their bounds and the values
// that stand until the agent sends them.

// Limits of a "ButtonMappings" array; anything larger is refused whole.
inline constexpr std::size_t kMaxMappings = 32;
inline constexpr std::size_t kMaxMappingBytes = 4096;

// The 16.16 grid value at or above v.
constexpr double onFixedGrid(double v) {
    const double scaled = v * 65536.0;
    const auto truncated = static_cast<std::int64_t>(scaled);
    return static_cast<double>(truncated < scaled ? truncated + 1 : truncated) / 65536.0;
}

// A 16.16 fixed-point setting as a double, always within the driver bounds
// of its key: whatever is assigned is clamped on the way in (NaN to the lower
// bound), so what reads it never checks it again. The bounds lie on the
// 16.16 grid, rounded up so the lower one stays at or above its decimal
// value.
template <settings::Key K> class FixedSetting {
public:
    static constexpr double kMin = onFixedGrid(settings::info(K).driver->min);
    static constexpr double kMax = onFixedGrid(settings::info(K).driver->max);

    constexpr FixedSetting() = default;
    explicit constexpr FixedSetting(double value) : value_(bounded(value)) {}
    constexpr FixedSetting& operator=(double value) {
        value_ = bounded(value);
        return *this;
    }
    constexpr operator double() const { return value_; }
    // As the agent sends it: exact, the value being on the grid or a bound.
    constexpr std::int32_t fixed() const { return static_cast<std::int32_t>(value_ * 65536.0); }

    friend constexpr bool operator==(FixedSetting, FixedSetting) = default;

private:
    static constexpr double bounded(double v) {
        if (!(v >= kMin)) {
            return kMin;
        }
        return v > kMax ? kMax : v;
    }

    double value_ = settings::info(K).driver->neutral;
};

// What an integer setting holds until the agent sends it.
constexpr std::int32_t neutralOf(settings::Key key) {
    return static_cast<std::int32_t>(settings::info(key).driver->neutral);
}

// The properties decoded. The defaults are the table's neutral values: the
// mouse behaves exactly as without ZED.
struct DriverSettings {
    using Key = settings::Key;
    FixedSetting<Key::kSensitivity> sensitivity;         // both axes, in tenths
    FixedSetting<Key::kMasterSensitivityX> sensitivityX; // in tenths
    FixedSetting<Key::kMasterSensitivityY> sensitivityY; // in tenths
    // != 0 -> one value for both axes
    std::int32_t sensitivityOn = neutralOf(Key::kMasterSensitivityOn);
    // == 1 -> the driver's own acceleration
    std::int32_t accelerationOn = neutralOf(Key::kMasterAccelOn);
    FixedSetting<Key::kMasterAccel> acceleration;              // "HIDPointerAcceleration"
    FixedSetting<Key::kScrollWheelSpeed> scrollWheelSpeed;     // in tenths
    std::int32_t otfs = neutralOf(Key::kOtfs);                 // == 0 -> on-the-fly buttons work
    std::int32_t otfsOnScreen = neutralOf(Key::kOtfsOnScreen); // the agent's business, for show
    // "HIDPointerButtonMode": the desktop swaps, not us
    std::int32_t buttonMode = neutralOf(Key::kOrientation);
    std::int32_t resolution = neutralOf(Key::kResolution); // kept for show
    std::int32_t numButtons = neutralOf(Key::kNumButtons); // kept for show
    std::vector<Data> buttonMappings; // one element per button, index 0 = button 1

    // The sensitivity (tenths) that applies to each axis.
    double sensitivityForX() const {
        return sensitivityOn != 0 ? static_cast<double>(sensitivity) : sensitivityX;
    }
    double sensitivityForY() const {
        return sensitivityOn != 0 ? static_cast<double>(sensitivity) : sensitivityY;
    }
    bool accelerates() const { return accelerationOn == 1; }
    bool onTheFly() const { return otfs == 0; }

    friend bool operator==(const DriverSettings&, const DriverSettings&) = default;
};

// What the driver service stores and shows.
class DriverProperties {
public:
    // Validates a SetProperties dictionary whole: any key of the wrong type or a
    // mapping array beyond kMaxMappings elements / kMaxMappingBytes per element
    // -> kIOReturnBadArgument and nothing changes (lastError() says why).
    // Otherwise decodes the keys the driver knows into the settings, each
    // number clamped to its bounds once on the way, and keeps them as they
    // are then held. kIOReturnSuccess. Unknown keys are ignored, not stored
    // (the agent may send keys the driver does not act on; lastIgnored() names
    // them), so what a mouse holds stays bounded whatever callers send: the
    // twelve integer keys and at most kMaxMappings * kMaxMappingBytes (128 KiB)
    // of mappings.
    IOReturn set(const Dictionary& changes);
    const Dictionary& values() const { return values_; } // known keys as last set (clamped)
    const DriverSettings& settings() const { return settings_; }
    // Why the last refused set() was refused, in words for a log line.
    const std::string& lastError() const { return lastError_; }
    // The unknown keys the last accepted set() ignored.
    const std::vector<std::string>& lastIgnored() const { return lastIgnored_; }

private:
    Dictionary values_;
    DriverSettings settings_;
    std::string lastError_;
    std::vector<std::string> lastIgnored_;
};

} // namespace zed::driver
