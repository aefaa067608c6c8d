// The desktop's pointer settings that the HID system's parameter calls and
// properties change: primary button side, acceleration, double-click time.
#pragma once

#include "Platform/core/IOKit.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
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

// The pointer speed of libinput (-1 slowest … 1 fastest), which GNOME, KDE
// Plasma and sway all take, from the HID system's acceleration (0 … 3): one
// straight line, speed = acceleration / 1.5 - 1, clamped to -1 … 1. The HID
// system's middle value 1.5 is the desktops' default speed 0.
double libinputSpeedFromAcceleration(double acceleration);
// Its exact inverse: acceleration = (speed + 1) × 1.5, for speeds in -1 … 1.
double accelerationFromLibinputSpeed(double speed);
// Whether an acceleration turns acceleration off (-1.0, any value below 0,
// or not a number): the desktops' flat profile.
bool accelerationIsOff(double acceleration);

// The messages of one backend that must be said once each: what it cannot
// set, prefixed with the desktop's name.
class OnceReporter {
public:
    explicit OnceReporter(std::string desktop) : desktop_(std::move(desktop)) {}
    // Says "zed: <desktop>: <text>" unless that text was said already.
    void say(const std::string& text);
    const std::string& desktop() const { return desktop_; }

private:
    std::string desktop_;
    std::set<std::string> said_;
};

// A desktop without a double-click time of its own: the first call says so,
// naming the desktop; every call fails.
class NoDoubleClick : public DoubleClickSetting {
public:
    explicit NoDoubleClick(std::string desktop) : report_(std::move(desktop)) {}
    IOReturn setDoubleClickTime(std::uint64_t nanoseconds) override;

private:
    OnceReporter report_;
};

} // namespace zed
