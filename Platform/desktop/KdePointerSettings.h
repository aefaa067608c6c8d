// KDE Plasma's pointer settings: on Wayland, KWin's input devices on the
// session bus (org.kde.KWin.InputDevice, one object per device); the
// double-click time in kdeglobals, announced with KGlobalSettings' change
// signal.
#pragma once

#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/DBusValue.h"
#include "PointerSettings.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zed {

class KWinPointerControl : public PointerControl {
public:
    static constexpr const char* kService = "org.kde.KWin";
    static constexpr const char* kManagerPath = "/org/kde/KWin/InputDevice";
    static constexpr const char* kManagerInterface = "org.kde.KWin.InputDeviceManager";
    static constexpr const char* kDeviceInterface = "org.kde.KWin.InputDevice";

    // bus: the session bus. Attached to a run loop, it also hears of devices
    // plugged in later, which then get the settings made so far.
    explicit KWinPointerControl(BusPtr bus);
    ~KWinPointerControl() override;

    // Whether KWin's input device manager answers on the bus.
    static bool answers(sd_bus* bus);

    // Every mouse-like device (a pointer that is not a touchpad) gets the
    // setting; devices of other kinds keep theirs.
    IOReturn setButtonsSwapped(bool swapped) override;
    // Off is the flat profile (the speed stays); any other value the adaptive
    // profile with pointerAcceleration = libinputSpeedFromAcceleration.
    IOReturn setAcceleration(double acceleration) override;
    // The inverse of the first mouse's pointerAcceleration.
    IOReturn getAcceleration(double* acceleration) override;

private:
    static int onDeviceAdded(sd_bus_message* m, void* userdata, sd_bus_error* error);
    std::vector<std::string> mice();
    bool isMouse(const std::string& sysName);
    IOReturn applySwapped(const std::string& sysName);
    IOReturn applyAcceleration(const std::string& sysName);
    IOReturn setBool(const std::string& sysName, const char* property, bool value);
    IOReturn setDouble(const std::string& sysName, const char* property, double value);

    BusPtr bus_;
    // KWin's connection: new devices are heard from it only.
    std::unique_ptr<registrybus::NameOwnerWatch> kwin_;
    SlotPtr added_;
    std::optional<bool> swapped_;
    std::optional<double> acceleration_;
    OnceReporter report_{"KDE Plasma"};
};

// kdeglobals [KDE] DoubleClickInterval in milliseconds. The file is rewritten
// whole through a temporary file renamed over it, every other line and group
// kept; then KGlobalSettings' notifyChange tells running applications.
class KdeGlobalsDoubleClick : public DoubleClickSetting {
public:
    static constexpr int kSettingsChanged = 3; // KGlobalSettings' change types
    static constexpr int kSettingsMouse = 0;   // ... and settings categories

    // configDir: where kdeglobals lives, $XDG_CONFIG_HOME or ~/.config when
    // empty. bus: where the notification goes, the session bus (opened on
    // first use) when null.
    explicit KdeGlobalsDoubleClick(std::string configDir = {}, BusPtr bus = nullptr);
    ~KdeGlobalsDoubleClick() override;

    IOReturn setDoubleClickTime(std::uint64_t nanoseconds) override;

    // The text of a kdeglobals file with [KDE] DoubleClickInterval set to ms,
    // everything else kept.
    static std::string withDoubleClickInterval(const std::string& text, int ms);

private:
    std::string path() const;

    std::string configDir_;
    BusPtr bus_;
    bool busOpened_ = false;
    OnceReporter report_{"KDE Plasma"};
};

} // namespace zed
