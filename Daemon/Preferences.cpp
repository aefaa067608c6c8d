#include "Preferences.h"

#include "Application.h"
#include "HidUtils.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/dbus/Platform.h"

#include <cmath>
#include <cstdio>

using zed::Dictionary;
using zed::Value;

namespace {

constexpr double kDefaultAcceleration = 0.25;
constexpr double kDefaultSensitivity = 10.0;
constexpr double kMinSensitivity = 1.0;
constexpr double kMaxSensitivity = 10.0;
constexpr double kClickTimeScale = 100000000.0; // tenths of a second to nanoseconds

std::string domainUser() {
    const auto& name = Application::GetApp()->userName;
    return name ? *name : std::string();
}

// A settings value where a number belongs but of another type is skipped,
// with one message, rather than read as garbage.
const Value* numberFor(const Dictionary& settings, const char* key) {
    const Value* v = zed::lookup(settings, key);
    if (v && !v->isNumber()) {
        std::fprintf(stderr, "Ignoring the setting \"%s\": expected a number, found a %s.\n", key,
                     v->typeName());
        std::fflush(stderr);
        return nullptr;
    }
    return v;
}

// Opens the HID parameter connection for the time of one use.
class HidConnection {
public:
    explicit HidConnection(zed::io_service_t hidSystem) {
        if (hidSystem != 0) {
            zed::Platform::current().hidSystem().open(hidSystem, zed::kIOHIDParamConnectType,
                                                      &connect_);
        }
    }
    ~HidConnection() {
        if (connect_ != 0) {
            zed::Platform::current().hidSystem().close(connect_);
        }
    }
    HidConnection(const HidConnection&) = delete;
    HidConnection& operator=(const HidConnection&) = delete;
    zed::io_connect_t get() const { return connect_; }

private:
    zed::io_connect_t connect_ = 0;
};

} // namespace

std::int32_t FixedFromDouble(double value) {
    const float product = static_cast<float>(value) * 65536.0f;
    // Both ends of the 32-bit range are exact in float.
    if (std::isnan(product) || product >= 2147483648.0f || product < -2147483648.0f) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(product);
}

Preferences::Preferences() = default;

Preferences::~Preferences() = default;

bool Preferences::HasPrefs() {
    auto& prefs = zed::Platform::current().preferences();
    const std::string user = domainUser();
    prefs.synchronize(kPrefsDomain, user);
    return !prefs.copyAll(kPrefsDomain, user).empty();
}

Dictionary Preferences::InitPrefs() {
    double acceleration = kDefaultAcceleration;
    {
        HidConnection connection(Application::GetApp()->hidSystem);
        if (connection.get() != 0) {
            // Its status is not consulted: a failed read keeps the fallback.
            zed::Platform::current().hidSystem().getAccelerationWithKey(
                connection.get(), zed::driver::kMouseAccelerationKey, &acceleration);
        }
    }
    zed::Array mappings;
    for (std::uint8_t type : {0x00, 0x01, 0x07, 0x05, 0x05, 0x05, 0x05}) {
        mappings.emplace_back(zed::Data{type});
    }
    Dictionary defaults{
        {kOrientationKey, Value(std::int32_t{0})},
        {kSensitivityKey, Value(kDefaultSensitivity)},
        {kMasterSensitivityXKey, Value(kDefaultSensitivity)},
        {kMasterSensitivityYKey, Value(kDefaultSensitivity)},
        {kMasterSensitivityOnKey, Value(std::int32_t{1})},
        {kMasterAccelKey, Value(acceleration)},
        {kMasterAccelOnKey, Value(std::int32_t{0})},
        {kOtfsKey, Value(std::int32_t{0})},
        {kOtfsOnScreenKey, Value(std::int32_t{1})},
        {kScrollWheelSpeedKey, Value(10.0)},
        {kDblClickSpeedKey, Value(6.0)},
        {kResolutionKey, Value(std::int32_t{0})},
        {kButtonMappingsKey, Value(std::move(mappings))},
        {kNumButtonsKey, Value(std::int32_t{7})},
    };
    // Only the keys the domain lacks get their default: a value stored since
    // start (the pane's first change, an on-the-fly step) is kept. The look
    // and the write happen under the domain's lock, so a key another writer
    // stores meanwhile is never replaced by its default.
    auto& prefs = zed::Platform::current().preferences();
    const std::string user = domainUser();
    Dictionary settings;
    const bool written = prefs.update(
        kPrefsDomain,
        [&](std::optional<Dictionary> stored) -> std::optional<Dictionary> {
            settings = stored ? std::move(*stored) : Dictionary{};
            for (const auto& [key, value] : defaults) {
                settings.try_emplace(key, value);
            }
            return settings;
        },
        user);
    if (!written) {
        prefs.synchronize(kPrefsDomain, user);
        settings = prefs.copyAll(kPrefsDomain, user);
    }
    return settings.empty() ? defaults : settings;
}

void Preferences::ReadPrefs() {
    auto& prefs = zed::Platform::current().preferences();
    const std::string user = domainUser();
    prefs.synchronize(kPrefsDomain, user);
    Dictionary settings = prefs.copyAll(kPrefsDomain, user);
    if (settings.empty()) {
        settings = InitPrefs();
    }
    SendPrefsToDriver(&settings);
}

void Preferences::SendPrefsToDriver(const Dictionary* settings) {
    Application* app = Application::GetApp();
    HidConnection connection(app->hidSystem);
    if (!settings || app->driverService == 0 || app->hidSystem == 0 || connection.get() == 0) {
        return;
    }
    auto& hid = zed::Platform::current().hidSystem();
    auto& registry = zed::Platform::current().registry();
    Dictionary driverProperties;

    if (const Value* v = numberFor(*settings, kOrientationKey)) {
        const std::int32_t mode = *v->toInt32() == 0 ? 2 : 1;
        hid.setMouseButtonMode(connection.get(), mode);
        driverProperties[zed::driver::kButtonModeProperty] = Value(mode);
    }
    for (int i = kSensOverall; i <= kSensY; ++i) {
        if (const Value* v = numberFor(*settings, kSensKeys[i])) {
            sens[i] = *v->toDouble();
            // Not a number would stay one through every step and be saved
            // again: the default stands in, here and at the driver.
            if (std::isnan(sens[i])) {
                std::fprintf(stderr,
                             "Reading the setting \"%s\" as %.1f: its value is not a number.\n",
                             kSensKeys[i], kDefaultSensitivity);
                std::fflush(stderr);
                sens[i] = kDefaultSensitivity;
            }
            driverProperties[kSensKeys[i]] = Value(FixedFromDouble(sens[i]));
        }
    }
    if (const Value* v = numberFor(*settings, kMasterSensitivityOnKey)) {
        perAxisSens = *v->toInt32() == 0;
        driverProperties[kMasterSensitivityOnKey] = *v;
    }
    // The acceleration is set, then turned off when "MasterAccelOn" says so.
    if (const Value* v = numberFor(*settings, kMasterAccelKey)) {
        hid.setAccelerationWithKey(connection.get(), zed::driver::kMouseAccelerationKey,
                                   *v->toDouble());
        driverProperties[zed::driver::kAccelerationProperty] =
            Value(FixedFromDouble(*v->toDouble()));
    }
    if (const Value* v = numberFor(*settings, kMasterAccelOnKey)) {
        if (*v->toInt32() == 1) {
            hid.setAccelerationWithKey(connection.get(), zed::driver::kMouseAccelerationKey, -1.0);
        }
        driverProperties[kMasterAccelOnKey] = *v;
    }
    if (const Value* v = numberFor(*settings, kOtfsKey)) {
        otfsActive = *v->toInt32() == 0;
        driverProperties[kOtfsKey] = *v;
    }
    if (const Value* v = numberFor(*settings, kOtfsOnScreenKey)) {
        otfsOverlay = *v->toInt32() == 1;
        driverProperties[kOtfsOnScreenKey] = *v;
    }
    if (const Value* v = numberFor(*settings, kScrollWheelSpeedKey)) {
        driverProperties[kScrollWheelSpeedKey] = Value(FixedFromDouble(*v->toDouble()));
    }
    if (const Value* v = zed::lookup(*settings, kResolutionKey)) {
        driverProperties[kResolutionKey] = *v;
    }
    if (const Value* v = zed::lookup(*settings, kButtonMappingsKey)) {
        if (const zed::Array* mappings = v->asArray()) {
            buttonMappings = *mappings;
            driverProperties[kButtonMappingsKey] = *v;
        } else {
            std::fprintf(stderr, "Ignoring the setting \"%s\": expected an array, found a %s.\n",
                         kButtonMappingsKey, v->typeName());
            std::fflush(stderr);
        }
    }
    if (const Value* v = zed::lookup(*settings, kNumButtonsKey)) {
        driverProperties[kNumButtonsKey] = *v;
    }
    PrintIOErrMsg(registry.setProperties(app->driverService, driverProperties),
                  "Error setting hound property.");

    Dictionary hidProperties;
    if (const Value* v = numberFor(*settings, kDblClickSpeedKey)) {
        const double t = *v->toDouble() * kClickTimeScale;
        // Truncated toward zero. A negative or NaN time has no unsigned
        // value and is sent as 0; one beyond the stored 64-bit range as its maximum.
        std::int64_t clickTime = 0;
        if (t >= 9223372036854775807.0) {
            clickTime = INT64_MAX;
        } else if (t >= 1.0) {
            clickTime = static_cast<std::int64_t>(static_cast<std::uint64_t>(t));
        }
        hidProperties[zed::driver::kClickTimeProperty] = Value(clickTime);
    }
    PrintIOErrMsg(registry.setProperties(app->hidSystem, hidProperties),
                  "Error setting hid sys property.");
}

void Preferences::SendSensToDriver() {
    Application* app = Application::GetApp();
    if (app->driverService == 0) {
        return;
    }
    Dictionary properties;
    for (int i = kSensOverall; i <= kSensY; ++i) {
        properties[kSensKeys[i]] = Value(FixedFromDouble(sens[i]));
    }
    PrintIOErrMsg(zed::Platform::current().registry().setProperties(app->driverService, properties),
                  "Error setting hound property.");
}

void Preferences::SaveSensToPrefs() {
    auto& prefs = zed::Platform::current().preferences();
    for (int i = kSensOverall; i <= kSensY; ++i) {
        prefs.setValue(kPrefsDomain, kSensKeys[i], Value(sens[i]));
        prefs.synchronize(kPrefsDomain);
    }
}

double Preferences::SetSensitivity(double value, SensType type) {
    double result = value;
    if (value > kMaxSensitivity) {
        result = kMaxSensitivity;
    } else if (!(value >= kMinSensitivity)) { // NaN too: it must not stick
        result = kMinSensitivity;
    }
    sens[type] = result;
    return result;
}
