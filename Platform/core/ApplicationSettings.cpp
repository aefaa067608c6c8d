#include "ApplicationSettings.h"

#include "Platform/core/SettingsKeys.h"

#include <algorithm>
#include <cctype>

namespace zed::settings {

namespace {

constexpr Key kOverridable[] = {
    Key::kSensitivity,
    Key::kMasterSensitivityX,
    Key::kMasterSensitivityY,
    Key::kMasterSensitivityOn,
    Key::kMasterAccel,
    Key::kMasterAccelOn,
    Key::kOtfs,
    Key::kOtfsOnScreen,
    Key::kScrollWheelSpeed,
    Key::kButtonMappings,
};

const KeyInfo* overridable(std::string_view key) {
    for (Key k : kOverridable) {
        if (key == name(k)) {
            return &info(k);
        }
    }
    return nullptr;
}

// The value as the key's stored type holds it: numbers for numbers, an
// array of at most one byte string per button for the mappings.
bool fits(const KeyInfo& key, const Value& value) {
    if (key.type != Type::kDataArray) {
        return value.isNumber() && value.toDouble().has_value();
    }
    const Array* a = value.asArray();
    return a && a->size() <= driver::kButtonCount &&
           std::all_of(a->begin(), a->end(), [](const Value& e) { return e.asData() != nullptr; });
}

std::string_view withoutDesktopEnding(std::string_view s) {
    constexpr std::string_view ending = ".desktop";
    if (s.size() > ending.size() && s.substr(s.size() - ending.size()) == ending) {
        s.remove_suffix(ending.size());
    }
    return s;
}

} // namespace

bool mayOverride(std::string_view key) {
    return overridable(key) != nullptr;
}

std::vector<SettingsSet> readSets(const Value* stored, std::vector<std::string>* problems) {
    std::vector<SettingsSet> sets;
    const auto problem = [&](std::string text) {
        if (problems) {
            problems->push_back(std::move(text));
        }
    };
    if (!stored) {
        return sets;
    }
    const Array* list = stored->asArray();
    if (!list) {
        problem(std::string("\"") + kApplicationSettingsKey + "\" is not a list; no set applies");
        return sets;
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
        const std::string which = "set " + std::to_string(i + 1);
        const Dictionary* d = (*list)[i].asDictionary();
        const Value* nameValue = d ? lookup(*d, kSetName) : nullptr;
        const Value* apps = d ? lookup(*d, kSetApplications) : nullptr;
        const Value* overrides = d ? lookup(*d, kSetSettings) : nullptr;
        if (!nameValue || !nameValue->asString() || !apps || !apps->asArray()) {
            problem(which + " has no name or no list of applications; left out");
            continue;
        }
        SettingsSet set{*nameValue->asString(), {}, {}, i};
        for (const Value& app : *apps->asArray()) {
            if (app.asString() && !app.asString()->empty()) {
                set.applications.push_back(*app.asString());
            }
        }
        const Dictionary* o = overrides ? overrides->asDictionary() : nullptr;
        for (const auto& [key, value] : o ? *o : Dictionary{}) {
            const KeyInfo* k = overridable(key);
            if (k && fits(*k, value)) {
                set.overrides.emplace(key, value);
            } else {
                problem(which + " (\"" + set.name + "\"): \"" + key +
                        (k ? "\" has the wrong type" : "\" cannot differ per application") +
                        "; left out");
            }
        }
        sets.push_back(std::move(set));
    }
    return sets;
}

Value storedSets(const std::vector<SettingsSet>& sets) {
    Array list;
    for (const SettingsSet& s : sets) {
        Array apps;
        for (const std::string& a : s.applications) {
            apps.emplace_back(a);
        }
        list.emplace_back(Dictionary{{kSetName, Value(s.name)},
                                     {kSetApplications, Value(std::move(apps))},
                                     {kSetSettings, Value(s.overrides)}});
    }
    return Value(std::move(list));
}

bool sameApplication(std::string_view a, std::string_view b) {
    a = withoutDesktopEnding(a);
    b = withoutDesktopEnding(b);
    return !a.empty() && a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

int matchingSet(const std::vector<SettingsSet>& sets, std::string_view application) {
    for (std::size_t i = 0; i < sets.size(); ++i) {
        for (const std::string& a : sets[i].applications) {
            if (sameApplication(a, application)) {
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

Dictionary withOverrides(Dictionary settings, const SettingsSet* set) {
    if (set) {
        for (const auto& [key, value] : set->overrides) {
            settings.insert_or_assign(key, value);
        }
    }
    return settings;
}

} // namespace zed::settings
