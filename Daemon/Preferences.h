// The agent's settings store: reads the user's mouse settings, hands them to
// the driver and the HID system, and keeps what driver messages need.
#pragma once

#include "Platform/core/Value.h"

#include <cstdint>
#include <optional>

// The sensitivities, as indexes into Preferences::sens.
enum SensType { kSensOverall = 0, kSensX = 1, kSensY = 2 };

// The settings keys.
inline constexpr const char* kPrefsDomain = "com.tovik.ZED";
inline constexpr const char* kOrientationKey = "Orientation";
inline constexpr const char* kSensitivityKey = "Sensitivity";
inline constexpr const char* kMasterSensitivityXKey = "MasterSensitivityX";
inline constexpr const char* kMasterSensitivityYKey = "MasterSensitivityY";
inline constexpr const char* kMasterSensitivityOnKey = "MasterSensitivityOn";
inline constexpr const char* kMasterAccelKey = "MasterAccel";
inline constexpr const char* kMasterAccelOnKey = "MasterAccelOn";
inline constexpr const char* kOtfsKey = "Otfs";
inline constexpr const char* kOtfsOnScreenKey = "OtfsOnScreen";
inline constexpr const char* kScrollWheelSpeedKey = "ScrollWheelSpeed";
inline constexpr const char* kDblClickSpeedKey = "DblClickSpeed";
inline constexpr const char* kResolutionKey = "Resolution";
inline constexpr const char* kButtonMappingsKey = "ButtonMappings";
inline constexpr const char* kNumButtonsKey = "NumButtons";

// The sensitivity keys in SensType order.
inline constexpr const char* kSensKeys[3] = {kSensitivityKey, kMasterSensitivityXKey,
                                             kMasterSensitivityYKey};

// 16.16 fixed point as the driver takes it: the value in single precision
// times 65536, truncated toward zero; out of the 32-bit range gives INT32_MIN.
std::int32_t FixedFromDouble(double value);

class Preferences {
public:
    Preferences();
    virtual ~Preferences();

    static bool HasPrefs();
    // Writes the defaults of the keys the domain lacks and returns what the
    // domain then holds.
    static zed::Dictionary InitPrefs();

    void ReadPrefs();
    void SendPrefsToDriver(const zed::Dictionary* settings);
    void SendSensToDriver();
    void SaveSensToPrefs();
    // Clamps to 1.0 ... 10.0 (NaN gives 1.0), holds and returns the result.
    double SetSensitivity(double value, SensType type);

    // The last "ButtonMappings" applied; empty until one is.
    std::optional<zed::Array> buttonMappings;
    double sens[3] = {0.0, 0.0, 0.0};
    bool perAxisSens = false;
    bool otfsActive = true;
    bool otfsOverlay = true;
};
