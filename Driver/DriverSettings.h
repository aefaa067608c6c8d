// The properties the agent sets on the driver: checked and clamped as they
// arrive, kept as the registry shows them, and decoded into the numbers the
// event transform works with.
#pragma once

#include "Platform/core/IOKit.h"
#include "Platform/core/Value.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zed::driver {

// The property keys the driver acts on or checks.
inline constexpr const char* kSensitivityKey = "Sensitivity";
inline constexpr const char* kSensitivityXKey = "MasterSensitivityX";
inline constexpr const char* kSensitivityYKey = "MasterSensitivityY";
inline constexpr const char* kSensitivityOnKey = "MasterSensitivityOn";
inline constexpr const char* kAccelerationOnKey = "MasterAccelOn";
inline constexpr const char* kScrollWheelSpeedKey = "ScrollWheelSpeed";
inline constexpr const char* kOtfsKey = "Otfs";
inline constexpr const char* kOtfsOnScreenKey = "OtfsOnScreen";
inline constexpr const char* kResolutionKey = "Resolution";
inline constexpr const char* kNumButtonsKey = "NumButtons";
inline constexpr const char* kButtonMappingsKey = "ButtonMappings";
// "HIDPointerButtonMode" and "HIDPointerAcceleration" are named in
// Platform/core/DriverInterface.h.

// Limits of a "ButtonMappings" array; anything larger is refused whole.
inline constexpr std::size_t kMaxMappings = 32;
inline constexpr std::size_t kMaxMappingBytes = 4096;

// The bounds numbers are clamped to. Sensitivities and the wheel speed are
// tenths of the device's own speed: never zero or negative, so a bad value can
// slow the pointer or wheel down but never freeze or invert it.
inline constexpr double kMinSpeed = 0.1;
inline constexpr double kMaxSpeed = 100.0;
inline constexpr double kMinAcceleration = 0.0;
inline constexpr double kMaxAcceleration = 3.0;
inline constexpr std::int32_t kMaxResolution = 65535;
inline constexpr std::int32_t kMaxNumButtons = 32;

// The properties decoded (16.16 fixed point -> double). The defaults make the
// mouse behave exactly as without ZED.
struct DriverSettings {
    double sensitivity = 10.0;        // "Sensitivity": both axes, in tenths
    double sensitivityX = 10.0;       // "MasterSensitivityX"
    double sensitivityY = 10.0;       // "MasterSensitivityY"
    std::int32_t sensitivityOn = 1;   // "MasterSensitivityOn": != 0 -> one value for both axes
    std::int32_t accelerationOn = 0;  // "MasterAccelOn": == 1 -> the driver's own acceleration
    double acceleration = 0.0;        // "HIDPointerAcceleration"
    double scrollWheelSpeed = 10.0;   // "ScrollWheelSpeed", in tenths
    std::int32_t otfs = 0;            // "Otfs": == 0 -> on-the-fly sensitivity buttons work
    std::int32_t otfsOnScreen = 1;    // "OtfsOnScreen": the agent's business, kept for show
    std::int32_t buttonMode = 1;      // "HIDPointerButtonMode": the desktop swaps, not us
    std::int32_t resolution = 0;      // "Resolution": kept for show
    std::int32_t numButtons = 7;      // "NumButtons": kept for show
    std::vector<Data> buttonMappings; // one element per button, index 0 = button 1

    // The sensitivity (tenths) that applies to each axis.
    double sensitivityForX() const { return (sensitivityOn != 0 ? sensitivity : sensitivityX); }
    double sensitivityForY() const { return (sensitivityOn != 0 ? sensitivity : sensitivityY); }
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
    // Otherwise clamps numbers to the bounds above, merges the keys the driver
    // knows, decodes. kIOReturnSuccess. Unknown keys are ignored, not stored
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

// The 16.16 fixed-point number the agent sends, as a double (exact).
constexpr double fromFixed(std::int32_t fixed) {
    return static_cast<double>(fixed) / 65536.0;
}

} // namespace zed::driver
