#include "Driver/DriverSettings.h"

#include <algorithm>
#include <string_view>

namespace zed::driver {

namespace {

using settings::Key;

enum class Kind : std::uint8_t {
    kFixed,    // 32-bit integer, 16.16 fixed point
    kInteger,  // 32-bit integer
    kMappings, // array of byte strings
};

Kind kindOf(const settings::KeyInfo& key) {
    if (key.type == settings::Type::kDataArray) {
        return Kind::kMappings;
    }
    if (key.toDriver == settings::ToDriver::kFixed ||
        key.toDriver == settings::ToDriver::kAcceleration) {
        return Kind::kFixed;
    }
    return Kind::kInteger;
}

// The row of the settings table whose value the driver receives under this
// property name; null for a property the driver does not know.
const settings::KeyInfo* ruleFor(std::string_view property) {
    for (const settings::KeyInfo& key : settings::kKeys) {
        const char* name = settings::driverProperty(key);
        if (name && property == name) {
            return &key;
        }
    }
    return nullptr;
}

// Empty when the value has the shape the driver takes for the key, otherwise
// why not.
std::string shapeError(const std::string& property, const settings::KeyInfo& rule,
                       const Value& value) {
    const std::string key = "\"" + property + "\"";
    if (kindOf(rule) != Kind::kMappings) {
        if (!value.isInteger()) {
            return key + " is " + value.typeName() + ", not an integer";
        }
        return {};
    }
    const Array* array = value.asArray();
    if (!array) {
        return key + " is " + value.typeName() + ", not an array of data";
    }
    if (array->size() > kMaxMappings) {
        return key + " has " + std::to_string(array->size()) + " elements, more than " +
               std::to_string(kMaxMappings);
    }
    for (std::size_t i = 0; i < array->size(); ++i) {
        const Data* data = (*array)[i].asData();
        if (!data) {
            return key + " element " + std::to_string(i) + " is " + (*array)[i].typeName() +
                   ", not data";
        }
        if (data->size() > kMaxMappingBytes) {
            return key + " element " + std::to_string(i) + " has " + std::to_string(data->size()) +
                   " bytes, more than " + std::to_string(kMaxMappingBytes);
        }
    }
    return {};
}

// Each setter takes a value of the right shape into its setting, clamped, and
// returns it as the driver then holds it.
template <Key K> Value setFixed(FixedSetting<K>& setting, const Value& sent) {
    setting = static_cast<double>(*sent.toInt64()) / 65536.0;
    return Value(setting.fixed());
}

Value setInteger(Key key, std::int32_t& setting, const Value& sent) {
    const settings::DriverBounds& bounds = *settings::info(key).driver;
    setting =
        static_cast<std::int32_t>(std::clamp(*sent.toInt64(), static_cast<std::int64_t>(bounds.min),
                                             static_cast<std::int64_t>(bounds.max)));
    return Value(setting);
}

Value setMappings(std::vector<Data>& setting, const Value& sent) {
    setting.clear();
    for (const Value& element : *sent.asArray()) {
        setting.push_back(*element.asData());
    }
    return sent;
}

Value hold(DriverSettings& s, Key key, const Value& sent) {
    switch (key) {
    case Key::kOrientation:
        return setInteger(key, s.buttonMode, sent);
    case Key::kSensitivity:
        return setFixed(s.sensitivity, sent);
    case Key::kMasterSensitivityX:
        return setFixed(s.sensitivityX, sent);
    case Key::kMasterSensitivityY:
        return setFixed(s.sensitivityY, sent);
    case Key::kMasterSensitivityOn:
        return setInteger(key, s.sensitivityOn, sent);
    case Key::kMasterAccel:
        return setFixed(s.acceleration, sent);
    case Key::kMasterAccelOn:
        return setInteger(key, s.accelerationOn, sent);
    case Key::kOtfs:
        return setInteger(key, s.otfs, sent);
    case Key::kOtfsOnScreen:
        return setInteger(key, s.otfsOnScreen, sent);
    case Key::kScrollWheelSpeed:
        return setFixed(s.scrollWheelSpeed, sent);
    case Key::kResolution:
        return setInteger(key, s.resolution, sent);
    case Key::kButtonMappings:
        return setMappings(s.buttonMappings, sent);
    case Key::kNumButtons:
        return setInteger(key, s.numButtons, sent);
    case Key::kDblClickSpeed:
    case Key::kPointerSpeed:
        break; // not the driver's
    }
    return sent;
}

} // namespace

IOReturn DriverProperties::set(const Dictionary& changes) {
    for (const auto& [property, value] : changes) {
        if (const settings::KeyInfo* rule = ruleFor(property)) {
            if (std::string why = shapeError(property, *rule, value); !why.empty()) {
                lastError_ = std::move(why);
                return kIOReturnBadArgument;
            }
        }
    }
    Dictionary values = values_;
    DriverSettings settings = settings_;
    std::vector<std::string> ignored;
    for (const auto& [property, value] : changes) {
        if (const settings::KeyInfo* rule = ruleFor(property)) {
            values[property] = hold(settings, rule->key, value);
        } else {
            ignored.push_back(property);
        }
    }
    settings_ = std::move(settings);
    values_ = std::move(values);
    lastError_.clear();
    lastIgnored_ = std::move(ignored);
    return kIOReturnSuccess;
}

} // namespace zed::driver
