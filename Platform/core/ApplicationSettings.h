// Settings per application: sets stored under one key of the settings
// domain, each with a name, the applications it applies to and overrides of
// some of the settings keys. The domain's other keys are the default set; a
// domain without the key behaves as before, and readers that do not know the
// key pass it by.
#pragma once

#include "Platform/core/Value.h"

#include <string>
#include <string_view>
#include <vector>

namespace zed::settings {

inline constexpr const char* kApplicationSettingsKey = "ApplicationSettings";
// The fields of one set.
inline constexpr const char* kSetName = "Name";
inline constexpr const char* kSetApplications = "Applications";
inline constexpr const char* kSetSettings = "Settings";

struct SettingsSet {
    std::string name;
    std::vector<std::string> applications;
    Dictionary overrides;
    std::size_t storedIndex = 0; // its place in the stored list, left-out sets counted
    bool operator==(const SettingsSet&) const = default;
};

// Whether a set may override the key: the mouse's own settings (speeds,
// acceleration, buttons, on-the-fly sensitivity), not the desktop's
// (handedness, double-click time) nor what describes the device.
bool mayOverride(std::string_view key);

// The sets stored under the key, in order. A set without a name or
// applications, and an override of another key or of the wrong type, is left
// out; each such problem is one line in `problems` (when given).
std::vector<SettingsSet> readSets(const Value* stored,
                                  std::vector<std::string>* problems = nullptr);
Value storedSets(const std::vector<SettingsSet>& sets);

// Application names as desktops give them (desktop-file ids, app_ids, X
// classes, executables) compare without regard to case or a ".desktop" ending.
bool sameApplication(std::string_view a, std::string_view b);
// The first set that applies to the application; -1 for none (and for an
// empty name).
int matchingSet(const std::vector<SettingsSet>& sets, std::string_view application);

// The settings with the set's overrides on top (the settings as they are
// without a set).
Dictionary withOverrides(Dictionary settings, const SettingsSet* set);

} // namespace zed::settings
