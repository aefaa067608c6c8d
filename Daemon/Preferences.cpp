#include "Preferences.h"

#include "Application.h"
#include "ApplicationSwitch.h"
#include "HidUtils.h"
#include "Platform/core/ApplicationSettings.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"
#include "Platform/dbus/Platform.h"

#include <cmath>
#include <utility>

using zed::Dictionary;
using zed::Value;

namespace {

namespace contract = zed::settings;
using contract::kDomain;
using contract::Key;

constexpr double kClickTimeScale = 100000000.0; // tenths of a second to nanoseconds

const char* sensKey(int type) {
    return contract::name(contract::kSensitivityKeys[static_cast<std::size_t>(type)]);
}

// The index into Preferences::sens of a sensitivity key; -1 for other keys.
int sensIndex(Key key) {
    for (std::size_t i = 0; i < contract::kSensitivityKeys.size(); ++i) {
        if (contract::kSensitivityKeys[i] == key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string domainUser() {
    const auto& name = Application::GetApp()->userName;
    return name ? *name : std::string();
}

// A settings value where a number belongs but of another type is skipped,
// with one message, rather than read as garbage.
const Value* numberFor(const Dictionary& settings, const char* key) {
    const Value* v = zed::lookup(settings, key);
    if (v && !v->isNumber()) {
        zed::logPlain("Ignoring the setting \"%s\": expected a number, found a %s.", key,
                      v->typeName());
        return nullptr;
    }
    return v;
}

// The value of a key as the driver step reads it: as stored, or only when
// it has the stored type (an array for the mappings, else a number).
const Value* driverValueFor(const Dictionary& settings, const contract::KeyInfo& key) {
    if (key.toDriver == contract::ToDriver::kAsStored) {
        return zed::lookup(settings, key.name);
    }
    if (key.type != contract::Type::kDataArray) {
        return numberFor(settings, key.name);
    }
    const Value* v = zed::lookup(settings, key.name);
    if (v && !v->asArray()) {
        zed::logPlain("Ignoring the setting \"%s\": expected an array, found a %s.", key.name,
                      v->typeName());
        return nullptr;
    }
    return v;
}

bool ConnectionGone(zed::IOReturn status) {
    return status == zed::kIOReturnNotOpen || status == zed::kIOReturnNoDevice;
}

// Opens the HID parameter connection for the time of one use (the defaults
// written before the store exists).
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

Preferences::~Preferences() {
    CloseHidConnect();
}

zed::io_connect_t Preferences::HidConnect() {
    const zed::io_service_t hidSystem = Application::GetApp()->hidSystem;
    auto& hid = zed::Platform::current().hidSystem();
    if (hidConnect_ != 0 && (hidConnectService_ != hidSystem || hidConnectSystem_ != &hid)) {
        CloseHidConnect(); // another HID system than the one it was opened on
    }
    if (hidConnect_ == 0 && hidSystem != 0) {
        zed::io_connect_t connect = 0;
        if (hid.open(hidSystem, zed::kIOHIDParamConnectType, &connect) == zed::kIOReturnSuccess &&
            connect != 0) {
            hidConnect_ = connect;
            hidConnectService_ = hidSystem;
            hidConnectSystem_ = &hid;
        }
    }
    return hidConnect_;
}

void Preferences::CloseHidConnect() {
    const zed::io_connect_t connect = std::exchange(hidConnect_, 0);
    // Closed only on the HID system that opened it (a test may have put
    // another platform in place meanwhile).
    if (connect != 0 && hidConnectSystem_ == &zed::Platform::current().hidSystem()) {
        zed::Platform::current().hidSystem().close(connect);
    }
    hidConnectService_ = 0;
    hidConnectSystem_ = nullptr;
}

template <typename Call> zed::IOReturn Preferences::OnHid(Call call) {
    zed::IOReturn status = call(HidConnect());
    if (ConnectionGone(status) && hidConnect_ != 0) {
        CloseHidConnect();
        if (HidConnect() != 0) {
            status = call(hidConnect_);
        }
    }
    return status;
}

bool Preferences::HasPrefs() {
    auto& prefs = zed::Platform::current().preferences();
    const std::string user = domainUser();
    prefs.synchronize(kDomain, user);
    return !prefs.copyAll(kDomain, user).empty();
}

std::optional<Value> Preferences::AgentDefault(std::string_view name) {
    for (const auto& key : contract::kKeys) {
        if (name != key.name) {
            continue;
        }
        switch (key.agent.source) {
        case contract::AgentDefault::Source::kNumber:
            return contract::storedNumber(key, key.agent.number);
        case contract::AgentDefault::Source::kMappingTypes: {
            zed::Array mappings;
            for (std::uint8_t type : contract::kDefaultMappingTypes) {
                mappings.emplace_back(zed::Data{type});
            }
            return Value(std::move(mappings));
        }
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

Dictionary Preferences::InitPrefs() {
    Dictionary defaults;
    for (const auto& key : contract::kKeys) {
        if (key.agent.source == contract::AgentDefault::Source::kHidAcceleration) {
            double acceleration = key.agent.number;
            auto read = [&](zed::io_connect_t connect) {
                // Its status is not consulted: a failed read keeps the fallback.
                return connect == 0
                           ? zed::kIOReturnNotOpen
                           : zed::Platform::current().hidSystem().getAccelerationWithKey(
                                 connect, zed::driver::kMouseAccelerationKey, &acceleration);
            };
            if (Preferences* store = Application::GetApp()->prefs.get()) {
                store->OnHid(read);
            } else {
                HidConnection connection(Application::GetApp()->hidSystem);
                read(connection.get());
            }
            defaults.emplace(key.name, contract::storedNumber(key, acceleration));
        } else if (auto value = AgentDefault(key.name)) {
            defaults.emplace(key.name, std::move(*value));
        }
    }
    // Only the keys the domain lacks get their default: a value stored since
    // start (the pane's first change, an on-the-fly step) is kept. The look
    // and the write happen under the domain's lock, so a key another writer
    // stores meanwhile is never replaced by its default.
    auto& prefs = zed::Platform::current().preferences();
    const std::string user = domainUser();
    Dictionary settings;
    const bool written = prefs.update(
        kDomain,
        [&](std::optional<Dictionary> stored) -> std::optional<Dictionary> {
            settings = stored ? std::move(*stored) : Dictionary{};
            for (const auto& [key, value] : defaults) {
                settings.try_emplace(key, value);
            }
            return settings;
        },
        user);
    if (!written) {
        prefs.synchronize(kDomain, user);
        settings = prefs.copyAll(kDomain, user);
    }
    return settings.empty() ? defaults : settings;
}

Dictionary Preferences::StoredSettings() {
    auto& prefs = zed::Platform::current().preferences();
    const std::string user = domainUser();
    prefs.synchronize(kDomain, user);
    return prefs.copyAll(kDomain, user);
}

void Preferences::ReadPrefs() {
    Dictionary settings = StoredSettings();
    if (settings.empty()) {
        settings = InitPrefs();
    }
    ApplySettings(settings);
}

void Preferences::ApplySettings(const Dictionary& settings) {
    ApplicationSwitch& perApp = Application::GetApp()->perApplication;
    perApp.StoredChanged();
    if (const Value* stored = zed::lookup(settings, zed::settings::kApplicationSettingsKey)) {
        std::vector<std::string> problems;
        perApp.SetSets(zed::settings::readSets(stored, &problems));
        for (const std::string& p : problems) {
            zed::logPlain("Settings per application: %s.", p.c_str());
        }
    } else if (settings.count(contract::name(contract::Key::kButtonMappings))) {
        perApp.SetSets({}); // a whole settings dictionary without sets: none any more
    }
    const Dictionary effective = perApp.Effective(settings);
    SendPrefsToDriver(&effective);
}

void Preferences::SendPrefsToDriver(const Dictionary* settings) {
    Application* app = Application::GetApp();
    if (!settings || app->driverService == 0 || app->hidSystem == 0 || HidConnect() == 0) {
        return;
    }
    auto& hid = zed::Platform::current().hidSystem();
    auto& registry = zed::Platform::current().registry();
    Dictionary driverProperties;

    // In table order: the acceleration is set, then turned off when
    // "MasterAccelOn" says so.
    for (const auto& key : contract::kKeys) {
        if (key.toDriver == contract::ToDriver::kNone) {
            continue;
        }
        const Value* v = driverValueFor(*settings, key);
        if (!v) {
            continue;
        }
        switch (key.toDriver) {
        case contract::ToDriver::kNone:
            break;
        case contract::ToDriver::kButtonMode: {
            const std::int32_t mode = *v->toInt32() == 0 ? 2 : 1;
            OnHid([&](zed::io_connect_t c) { return hid.setMouseButtonMode(c, mode); });
            driverProperties[contract::driverProperty(key)] = Value(mode);
            break;
        }
        case contract::ToDriver::kFixed: {
            double value = *v->toDouble();
            if (const int i = sensIndex(key.key); i >= 0) {
                sens[i] = value;
                // Not a number would stay one through every step and be saved
                // again: the default stands in, here and at the driver.
                if (std::isnan(sens[i])) {
                    zed::logPlain("Reading the setting \"%s\" as %.1f: its value is not a number.",
                                  key.name, key.agent.number);
                    sens[i] = key.agent.number;
                }
                value = sens[i];
            }
            driverProperties[contract::driverProperty(key)] = Value(FixedFromDouble(value));
            break;
        }
        case contract::ToDriver::kAcceleration:
            OnHid([&](zed::io_connect_t c) {
                return hid.setAccelerationWithKey(c, zed::driver::kMouseAccelerationKey,
                                                  *v->toDouble());
            });
            driverProperties[contract::driverProperty(key)] =
                Value(FixedFromDouble(*v->toDouble()));
            break;
        case contract::ToDriver::kSame:
        case contract::ToDriver::kAsStored:
            driverProperties[contract::driverProperty(key)] = *v;
            break;
        }
        // What the agent itself keeps of the setting.
        switch (key.key) {
        case Key::kMasterSensitivityOn:
            perAxisSens = *v->toInt32() == 0;
            break;
        case Key::kMasterAccelOn:
            if (*v->toInt32() == 1) {
                OnHid([&](zed::io_connect_t c) {
                    return hid.setAccelerationWithKey(c, zed::driver::kMouseAccelerationKey, -1.0);
                });
            }
            break;
        case Key::kOtfs:
            otfsActive = *v->toInt32() == 0;
            break;
        case Key::kOtfsOnScreen:
            otfsOverlay = *v->toInt32() == 1;
            break;
        case Key::kButtonMappings:
            buttonMappings = *v->asArray();
            break;
        default:
            break;
        }
    }
    PrintIOErrMsg(registry.setProperties(app->driverService, driverProperties),
                  "Error setting hound property.");

    Dictionary hidProperties;
    if (const Value* v = numberFor(*settings, contract::name(Key::kDblClickSpeed))) {
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
        properties[sensKey(i)] = Value(FixedFromDouble(sens[i]));
    }
    // Not waited for: a key behind the step goes out without waiting for the
    // driver's answer, whose status is reported when it comes.
    zed::Platform::current().registry().setPropertiesAsync(
        app->driverService, properties,
        [](zed::IOReturn status) { PrintIOErrMsg(status, "Error setting hound property."); });
}

void Preferences::SaveSensToPrefs() {
    auto& prefs = zed::Platform::current().preferences();
    Application::GetApp()->perApplication.StoredChanged();
    // A step while a set is in force changes that set, in the list as stored.
    if (zed::settings::SettingsSet* set = Application::GetApp()->perApplication.InForce()) {
        std::optional<Value> stored =
            prefs.copyValue(kDomain, zed::settings::kApplicationSettingsKey);
        zed::Array* list = stored ? stored->asArray() : nullptr;
        zed::Dictionary* entry = list && set->storedIndex < list->size()
                                     ? (*list)[set->storedIndex].asDictionary()
                                     : nullptr;
        if (entry) {
            Value& overrides = (*entry)[zed::settings::kSetSettings];
            if (!overrides.asDictionary()) {
                overrides = Value(Dictionary{});
            }
            for (int i = kSensOverall; i <= kSensY; ++i) {
                overrides.asDictionary()->insert_or_assign(sensKey(i), Value(sens[i]));
                set->overrides.insert_or_assign(sensKey(i), Value(sens[i]));
            }
            prefs.setValue(kDomain, zed::settings::kApplicationSettingsKey, std::move(*stored));
            prefs.synchronize(kDomain);
            return;
        }
    }
    for (int i = kSensOverall; i <= kSensY; ++i) {
        prefs.setValue(kDomain, sensKey(i), Value(sens[i]));
        prefs.synchronize(kDomain);
    }
}

double Preferences::SetSensitivity(double value, SensType type) {
    const contract::Range& range =
        *contract::info(contract::kSensitivityKeys[static_cast<std::size_t>(type)]).range;
    double result = value;
    if (value > range.max) {
        result = range.max;
    } else if (!(value >= range.min)) { // NaN too: it must not stick
        result = range.min;
    }
    sens[type] = result;
    return result;
}
