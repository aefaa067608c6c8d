// The agent's settings store: reads the user's mouse settings, hands them to
// the driver and the HID system, and keeps what driver messages need.
#pragma once

#include "Platform/core/IOKit.h"
#include "Platform/core/SettingsKeys.h"
#include "Platform/core/Value.h"

#include <cstdint>
#include <optional>
#include <string_view>

// The sensitivities, as indexes into Preferences::sens.
enum SensType { kSensOverall = 0, kSensX = 1, kSensY = 2 };

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

    // What the agent writes for the key into an empty domain; none for a key
    // whose default the HID system gives.
    static std::optional<zed::Value> AgentDefault(std::string_view key);
    // The domain as stored now.
    static zed::Dictionary StoredSettings();
    void ReadPrefs();
    // Settings read or posted: their sets (when they hold any) are taken
    // up, and the settings go to the driver with the set in force on top.
    void ApplySettings(const zed::Dictionary& settings);
    void SendPrefsToDriver(const zed::Dictionary* settings);
    void SendSensToDriver();
    void SaveSensToPrefs();
    // Clamps to the key's range, 1.0 ... 10.0 (NaN gives its minimum), holds
    // and returns the result.
    double SetSensitivity(double value, SensType type);
    // What one on-the-fly step adds to or takes from a sensitivity.
    static constexpr double kSensitivityStep =
        zed::settings::info(zed::settings::Key::kSensitivity).range->step;

    // The last "ButtonMappings" applied; empty until one is.
    std::optional<zed::Array> buttonMappings;
    double sens[3] = {0.0, 0.0, 0.0};
    bool perAxisSens = false;
    bool otfsActive = true;
    bool otfsOverlay = true;

private:
    // The HID parameter connection of the settings path, opened on first use
    // and kept, so that applying settings costs no open and close; 0 when it
    // cannot be opened (tried again next time). Closed with the store.
    zed::io_connect_t HidConnect();
    // Runs call on the held connection; once more on a fresh one when the
    // HID system went away meanwhile (a restarted provider).
    template <typename Call> zed::IOReturn OnHid(Call call);
    void CloseHidConnect();

    zed::io_connect_t hidConnect_ = 0;
    zed::io_service_t hidConnectService_ = 0;
    const void* hidConnectSystem_ = nullptr; // the HID system that opened it
};
