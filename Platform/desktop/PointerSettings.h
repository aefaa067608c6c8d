// The desktop's pointer settings that the HID system's parameter calls and
// properties change: primary button side, acceleration, double-click time.
#pragma once

#include "Platform/core/IOKit.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zed {

class PointerControl {
public:
    virtual ~PointerControl();
    // Swapped puts the primary button on the right (left-handed use).
    virtual IOReturn setButtonsSwapped(bool swapped) = 0;
    // The HID system's acceleration: -1.0 (or any value below 0) turns it off.
    virtual IOReturn setAcceleration(double acceleration) = 0;
    virtual IOReturn getAcceleration(double* acceleration) = 0;
};

// The X server's core pointer (which XWayland clients see too). Connects on
// first use; without a display every call fails after one message.
class X11PointerControl : public PointerControl {
public:
    // An empty display name means $DISPLAY.
    explicit X11PointerControl(std::string displayName = {});
    ~X11PointerControl() override;

    IOReturn setButtonsSwapped(bool swapped) override;
    IOReturn setAcceleration(double acceleration) override;
    IOReturn getAcceleration(double* acceleration) override;

    // Acceleration values map to the X server's multiplier as 1 + value,
    // kept as a fraction with this denominator.
    static constexpr int kAccelDenominator = 1000;
    static constexpr double kMaxAcceleration = 31.0; // keeps the numerator in 16 bits

private:
    struct Connection;
    Connection* connection(); // null without a display

    std::string displayName_;
    std::unique_ptr<Connection> connection_;
    bool reported_ = false;
};

// Where the desktop keeps its double-click time.
class DoubleClickSetting {
public:
    virtual ~DoubleClickSetting();
    virtual IOReturn setDoubleClickTime(std::uint64_t nanoseconds) = 0;
};

// A GSettings key holding the double-click time in milliseconds (GNOME's
// org.gnome.desktop.peripherals.mouse double-click and desktops that share
// it). Without the schema the desktop keeps its own time, said once.
class GSettingsDoubleClick : public DoubleClickSetting {
public:
    static constexpr const char* kGnomeMouseSchema = "org.gnome.desktop.peripherals.mouse";
    static constexpr const char* kGnomeDoubleClickKey = "double-click";

    // An empty keyfile path uses the desktop's own settings backend; a path
    // keeps the settings in that file instead (tests).
    explicit GSettingsDoubleClick(std::string schemaId = kGnomeMouseSchema,
                                  std::string key = kGnomeDoubleClickKey,
                                  std::string keyfilePath = {});
    ~GSettingsDoubleClick() override;

    IOReturn setDoubleClickTime(std::uint64_t nanoseconds) override;
    // The value the key holds now, in milliseconds; empty without the schema.
    std::optional<int> milliseconds();

private:
    struct Settings;
    Settings* settings(); // null without the schema

    std::string schemaId_;
    std::string key_;
    std::string keyfilePath_;
    std::unique_ptr<Settings> settings_;
    bool looked_ = false;
};

} // namespace zed
