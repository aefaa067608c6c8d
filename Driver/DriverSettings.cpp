#include "Driver/DriverSettings.h"

#include "Platform/core/DriverInterface.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string_view>

namespace zed::driver {

namespace {

enum class Kind : std::uint8_t {
    kFixed,    // 32-bit integer, 16.16 fixed point
    kInteger,  // 32-bit integer
    kMappings, // array of byte strings
};

struct Rule {
    const char* key;
    Kind kind;
    std::int64_t min; // clamping bounds, in the value as sent (16.16 for kFixed)
    std::int64_t max;
};

constexpr std::int64_t fixed(double v) {
    // Rounded up so the lower bounds stay at or above their decimal value.
    const double scaled = v * 65536.0;
    const auto truncated = static_cast<std::int64_t>(scaled);
    return truncated < scaled ? truncated + 1 : truncated;
}

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

constexpr std::array<Rule, 13> kRules = {{
    {kButtonModeProperty, Kind::kInteger, 1, 2},
    {kSensitivityKey, Kind::kFixed, fixed(kMinSpeed), fixed(kMaxSpeed)},
    {kSensitivityXKey, Kind::kFixed, fixed(kMinSpeed), fixed(kMaxSpeed)},
    {kSensitivityYKey, Kind::kFixed, fixed(kMinSpeed), fixed(kMaxSpeed)},
    {kAccelerationProperty, Kind::kFixed, fixed(kMinAcceleration), fixed(kMaxAcceleration)},
    {kScrollWheelSpeedKey, Kind::kFixed, fixed(kMinSpeed), fixed(kMaxSpeed)},
    // Switches: any integer means something (zero or not), so none is clamped
    // beyond the 32 bits they are sent in.
    {kSensitivityOnKey, Kind::kInteger, kInt32Min, kInt32Max},
    {kAccelerationOnKey, Kind::kInteger, kInt32Min, kInt32Max},
    {kOtfsKey, Kind::kInteger, kInt32Min, kInt32Max},
    {kOtfsOnScreenKey, Kind::kInteger, kInt32Min, kInt32Max},
    {kResolutionKey, Kind::kInteger, 0, kMaxResolution},
    {kNumButtonsKey, Kind::kInteger, 0, kMaxNumButtons},
    {kButtonMappingsKey, Kind::kMappings, 0, 0},
}};

const Rule* ruleFor(std::string_view key) {
    for (const Rule& rule : kRules) {
        if (key == rule.key) {
            return &rule;
        }
    }
    return nullptr;
}

// Empty when the value has the rule's shape, otherwise why not.
std::string shapeError(const Rule& rule, const Value& value) {
    const std::string key = std::string("\"") + rule.key + "\"";
    if (rule.kind != Kind::kMappings) {
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

Value clamped(const Rule& rule, const Value& value) {
    if (rule.kind == Kind::kMappings) {
        return value;
    }
    const std::int64_t n = std::clamp(*value.toInt64(), rule.min, rule.max);
    return Value(static_cast<std::int32_t>(n));
}

std::int32_t intOf(const Dictionary& values, const char* key, std::int32_t fallback) {
    const Value* v = lookup(values, key);
    return v ? *v->toInt32() : fallback;
}

double fixedOf(const Dictionary& values, const char* key, double fallback) {
    const Value* v = lookup(values, key);
    return v ? fromFixed(*v->toInt32()) : fallback;
}

DriverSettings decode(const Dictionary& values) {
    DriverSettings s;
    s.sensitivity = fixedOf(values, kSensitivityKey, s.sensitivity);
    s.sensitivityX = fixedOf(values, kSensitivityXKey, s.sensitivityX);
    s.sensitivityY = fixedOf(values, kSensitivityYKey, s.sensitivityY);
    s.sensitivityOn = intOf(values, kSensitivityOnKey, s.sensitivityOn);
    s.accelerationOn = intOf(values, kAccelerationOnKey, s.accelerationOn);
    s.acceleration = fixedOf(values, kAccelerationProperty, s.acceleration);
    s.scrollWheelSpeed = fixedOf(values, kScrollWheelSpeedKey, s.scrollWheelSpeed);
    s.otfs = intOf(values, kOtfsKey, s.otfs);
    s.otfsOnScreen = intOf(values, kOtfsOnScreenKey, s.otfsOnScreen);
    s.buttonMode = intOf(values, kButtonModeProperty, s.buttonMode);
    s.resolution = intOf(values, kResolutionKey, s.resolution);
    s.numButtons = intOf(values, kNumButtonsKey, s.numButtons);
    if (const Value* v = lookup(values, kButtonMappingsKey)) {
        for (const Value& element : *v->asArray()) {
            s.buttonMappings.push_back(*element.asData());
        }
    }
    return s;
}

} // namespace

IOReturn DriverProperties::set(const Dictionary& changes) {
    for (const auto& [key, value] : changes) {
        if (const Rule* rule = ruleFor(key)) {
            if (std::string why = shapeError(*rule, value); !why.empty()) {
                lastError_ = std::move(why);
                return kIOReturnBadArgument;
            }
        }
    }
    Dictionary merged = values_;
    std::vector<std::string> ignored;
    for (const auto& [key, value] : changes) {
        if (const Rule* rule = ruleFor(key)) {
            merged[key] = clamped(*rule, value);
        } else {
            ignored.push_back(key);
        }
    }
    settings_ = decode(merged);
    values_ = std::move(merged);
    lastError_.clear();
    lastIgnored_ = std::move(ignored);
    return kIOReturnSuccess;
}

} // namespace zed::driver
