// GNOME's mouse settings (the GSettings schema
// org.gnome.desktop.peripherals.mouse), which GNOME applies to every mouse on
// Wayland and on X11, and whose double-click time other desktops' GTK
// applications read too.
#pragma once

#include "PointerSettings.h"

#include <memory>
#include <optional>
#include <string>

// GIO's settings store.
typedef struct _GSettingsBackend GSettingsBackend;

namespace zed {

inline constexpr const char* kGnomeMouseSchema = "org.gnome.desktop.peripherals.mouse";

// Whether the schema is installed (gsettings-desktop-schemas).
bool haveGnomeMouseSchema();

// A GSettings key holding the double-click time in milliseconds (GNOME's
// double-click and desktops that share it). Without the schema the desktop
// keeps its own time, said once.
class GSettingsDoubleClick : public DoubleClickSetting {
public:
    static constexpr const char* kGnomeMouseSchema = zed::kGnomeMouseSchema;
    static constexpr const char* kGnomeDoubleClickKey = "double-click";

    // An empty keyfile path and a null store use the desktop's own settings
    // store; a path keeps the settings in that file, a store in that store
    // (tests).
    explicit GSettingsDoubleClick(std::string schemaId = kGnomeMouseSchema,
                                  std::string key = kGnomeDoubleClickKey,
                                  std::string keyfilePath = {}, GSettingsBackend* store = nullptr);
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
    GSettingsBackend* store_; // a reference of ours, or null
    std::unique_ptr<Settings> settings_;
    bool looked_ = false;
};

// The button side and acceleration as GNOME keeps them: left-handed; an
// acceleration that is off is accel-profile 'flat' (the speed stays), any
// other is 'adaptive' with speed = libinputSpeedFromAcceleration. Read back,
// the acceleration is the inverse of the speed, whatever the profile: it is
// the value the agent keeps apart from acceleration being on or off.
class GnomePointerControl : public PointerControl {
public:
    static constexpr const char* kLeftHandedKey = "left-handed";
    static constexpr const char* kSpeedKey = "speed";
    static constexpr const char* kProfileKey = "accel-profile";

    // A null store is the desktop's own settings store (dconf); tests pass
    // another.
    explicit GnomePointerControl(GSettingsBackend* store = nullptr);
    ~GnomePointerControl() override;

    IOReturn setButtonsSwapped(bool swapped) override;
    IOReturn setAcceleration(double acceleration) override;
    IOReturn getAcceleration(double* acceleration) override;

private:
    struct Settings;
    Settings* settings(); // null (said once) without the schema or dconf
    IOReturn written(bool ok, const char* key);

    GSettingsBackend* store_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<OnceReporter> report_;
    bool looked_ = false;
};

} // namespace zed
