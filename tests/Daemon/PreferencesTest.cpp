#include "AgentFixture.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/SettingsKeys.h"

#include <cmath>
#include <limits>

namespace zed::test {

using zed::Dictionary;
using zed::Value;

namespace {

Value i32(std::int32_t v) {
    return Value(v);
}

zed::Array defaultMappings() {
    zed::Array a;
    for (std::uint8_t t : {0, 1, 7, 5, 5, 5, 5}) {
        a.emplace_back(zed::Data{t});
    }
    return a;
}

// The agent with a mouse known, as after discovery.
class PreferencesTest : public AgentTest {
protected:
    void SetUp() override {
        AgentTest::SetUp();
        driver = plugMouse();
        Application* app = Application::GetApp();
        ASSERT_TRUE(app->IsLoggedIn());
        app->hidSystem = hidSystem;
        app->driverService = driver;
        app->prefs = std::make_unique<Preferences>();
        store = app->prefs.get();
    }

    void send(const Dictionary& settings) { store->SendPrefsToDriver(&settings); }

    zed::io_service_t driver = 0;
    Preferences* store = nullptr;
};

} // namespace

TEST(FixedPoint, ConvertsInSinglePrecisionAndTruncates) {
    EXPECT_EQ(FixedFromDouble(10.0), 655360);
    EXPECT_EQ(FixedFromDouble(0.25), 16384);
    EXPECT_EQ(FixedFromDouble(9.8), 642252); // 9.8f * 65536 = 642252.8
    EXPECT_EQ(FixedFromDouble(-0.5), -32768);
    EXPECT_EQ(FixedFromDouble(0.00001), 0);
    EXPECT_EQ(FixedFromDouble(-32768.0), std::numeric_limits<std::int32_t>::min());
    // Outside the 32-bit range, and NaN.
    EXPECT_EQ(FixedFromDouble(32768.0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(FixedFromDouble(1e9), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(FixedFromDouble(-1e9), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(FixedFromDouble(std::nan("")), std::numeric_limits<std::int32_t>::min());
}

TEST_F(PreferencesTest, AnEmptyDomainGetsTheFourteenDefaultsAndTheirDriverValues) {
    hid->acceleration = 0.6875;
    store->ReadPrefs();

    const Dictionary stored = storedDomain();
    EXPECT_EQ(stored.size(), 14u);
    EXPECT_EQ(stored.at("Orientation"), i32(0));
    EXPECT_EQ(stored.at("Sensitivity"), Value(10.0));
    EXPECT_EQ(stored.at("MasterSensitivityOn"), i32(1));
    EXPECT_EQ(stored.at("MasterAccel"), Value(0.6875));
    EXPECT_EQ(stored.at("Otfs"), i32(0));
    EXPECT_EQ(stored.at("OtfsOnScreen"), i32(1));
    EXPECT_EQ(stored.at("DblClickSpeed"), Value(6.0));
    EXPECT_EQ(stored.at("ButtonMappings"), Value(defaultMappings()));
    EXPECT_EQ(stored.at("NumButtons"), i32(7));

    EXPECT_EQ(lastSet(driver), (Dictionary{{"HIDPointerButtonMode", i32(2)},
                                           {"Sensitivity", i32(655360)},
                                           {"MasterSensitivityX", i32(655360)},
                                           {"MasterSensitivityY", i32(655360)},
                                           {"ScrollWheelSpeed", i32(655360)},
                                           {"MasterSensitivityOn", i32(1)},
                                           {"HIDPointerAcceleration", i32(45056)},
                                           {"MasterAccelOn", i32(0)},
                                           {"Otfs", i32(0)},
                                           {"OtfsOnScreen", i32(1)},
                                           {"Resolution", i32(0)},
                                           {"ButtonMappings", Value(defaultMappings())},
                                           {"NumButtons", i32(7)}}));
    EXPECT_EQ(lastSet(hidSystem), (Dictionary{{"HIDClickTime", Value(std::int64_t{600000000})}}));
    EXPECT_EQ(hid->buttonModes, std::vector<std::int32_t>{2});
    ASSERT_EQ(hid->accelerationSets.size(), 1u);
    EXPECT_EQ(hid->accelerationSets[0].value, 0.6875) << "the HID system keeps its own";
    EXPECT_EQ(hid->openConnections(), 1) << "one connection, kept for the next settings";
    EXPECT_FALSE(store->perAxisSens);
    EXPECT_TRUE(store->otfsActive);
    EXPECT_TRUE(store->otfsOverlay);
    EXPECT_EQ(store->buttonMappings, defaultMappings());
}

// Applying settings costs no open and close of the HID system: the
// connection opened for the first settings is kept, and goes with the agent.
TEST_F(PreferencesTest, TheHidConnectionIsOpenedOnceAndClosedWithTheStore) {
    const Dictionary settings{{"Sensitivity", Value(3.0)}, {"MasterAccel", Value(0.5)}};
    for (int i = 0; i < 4; ++i) {
        send(settings);
    }
    store->ReadPrefs();
    EXPECT_EQ(hid->opens, 1);
    EXPECT_EQ(hid->closes, 0);
    EXPECT_EQ(hid->accelerationSets.size(), 5u);
    Application::GetApp()->prefs.reset();
    EXPECT_EQ(hid->openConnections(), 0) << "closed when the agent ends";
}

// A HID system that went away meanwhile (a restarted provider) is opened
// afresh, and the settings still reach it.
TEST_F(PreferencesTest, AKeptConnectionThatWentAwayIsOpenedAfresh) {
    send({{"Orientation", i32(0)}});
    ASSERT_EQ(hid->buttonModes, std::vector<std::int32_t>{2});
    hid->dropConnections();
    send({{"Orientation", i32(1)}});
    EXPECT_EQ(hid->buttonModes, (std::vector<std::int32_t>{2, 1}));
    EXPECT_EQ(hid->opens, 2);
    send({{"Orientation", i32(0)}});
    EXPECT_EQ(hid->opens, 2) << "the new one is kept";
}

TEST_F(PreferencesTest, WithoutTheHidSystemsAccelerationTheDefaultIsAQuarter) {
    auto emptyDomain = [this] {
        prefs->removeDomain(zed::settings::kDomain, "alice");
        prefs->synchronize(zed::settings::kDomain, "alice");
    };
    hid->acceleration = 0.9;
    hid->getAccelerationStatus = zed::kIOReturnNotResponding;
    EXPECT_EQ(Preferences::InitPrefs().at("MasterAccel"), Value(0.25)) << "the read failed";
    emptyDomain();
    hid->getAccelerationStatus = zed::kIOReturnSuccess;
    hid->dropConnections(); // the kept connection is gone, and none opens
    hid->openStatus = zed::kIOReturnNotPermitted;
    EXPECT_EQ(Preferences::InitPrefs().at("MasterAccel"), Value(0.25)) << "no connection";
    emptyDomain();
    hid->openStatus = zed::kIOReturnSuccess;
    EXPECT_EQ(Preferences::InitPrefs().at("MasterAccel"), Value(0.9));
    EXPECT_EQ(storedDomain().at("MasterAccel"), Value(0.9));
}

// The agent's side of the settings contract shared with the pane: an empty
// domain gets exactly the keys the contract gives a default, each of the
// contract's stored type.
TEST_F(PreferencesTest, InitPrefsWritesTheContractsKeysTypesAndDefaults) {
    using zed::settings::AgentDefault;
    using zed::settings::Type;
    hid->acceleration = 0.6875;
    const Dictionary written = Preferences::InitPrefs();
    EXPECT_EQ(storedDomain(), written);
    std::size_t withDefault = 0;
    for (const auto& key : zed::settings::kKeys) {
        SCOPED_TRACE(key.name);
        const Value* v = zed::lookup(written, key.name);
        if (key.agent.source == AgentDefault::Source::kNone) {
            EXPECT_EQ(v, nullptr) << "a key the agent does not own";
            continue;
        }
        ++withDefault;
        ASSERT_NE(v, nullptr);
        switch (key.type) {
        case Type::kInteger:
            EXPECT_EQ(v->type(), Value::Type::Int32);
            break;
        case Type::kDouble:
            EXPECT_EQ(v->type(), Value::Type::Double);
            break;
        case Type::kDataArray:
            ASSERT_NE(v->asArray(), nullptr);
            for (const Value& element : *v->asArray()) {
                EXPECT_NE(element.asData(), nullptr);
            }
            break;
        }
        switch (key.agent.source) {
        case AgentDefault::Source::kNone:
            break;
        case AgentDefault::Source::kNumber:
            EXPECT_EQ(*v, zed::settings::storedNumber(key, key.agent.number));
            break;
        case AgentDefault::Source::kHidAcceleration:
            EXPECT_EQ(*v, Value(0.6875));
            break;
        case AgentDefault::Source::kMappingTypes: {
            zed::Array mappings;
            for (std::uint8_t t : zed::settings::kDefaultMappingTypes) {
                mappings.emplace_back(zed::Data{t});
            }
            EXPECT_EQ(*v, Value(mappings));
            break;
        }
        }
    }
    EXPECT_EQ(written.size(), withDefault);
}

TEST_F(PreferencesTest, DoubleClickSpeedAloneTouchesOnlyTheHidSystem) {
    send({{"DblClickSpeed", Value(4.5)}});
    EXPECT_EQ(lastSet(driver), Dictionary{});
    EXPECT_EQ(lastSet(hidSystem), (Dictionary{{"HIDClickTime", Value(std::int64_t{450000000})}}));
    EXPECT_TRUE(hid->buttonModes.empty());
    EXPECT_EQ(store->sens[0], 0.0);
    EXPECT_FALSE(store->buttonMappings);

    send({{"DblClickSpeed", Value(0.0)}});
    EXPECT_EQ(lastSet(hidSystem), (Dictionary{{"HIDClickTime", Value(std::int64_t{0})}}));
    send({{"DblClickSpeed", Value(-3.0)}});
    EXPECT_EQ(lastSet(hidSystem), (Dictionary{{"HIDClickTime", Value(std::int64_t{0})}}))
        << "a negative time has no unsigned value";
}

TEST_F(PreferencesTest, OrientationPicksTheButtonMode) {
    for (auto [orientation, mode] : {std::pair{0, 2}, {1, 1}, {3, 1}, {-1, 1}}) {
        send({{"Orientation", i32(orientation)}});
        EXPECT_EQ(hid->buttonModes.back(), mode) << orientation;
        EXPECT_EQ(lastSet(driver).at("HIDPointerButtonMode"), i32(mode)) << orientation;
    }
    // A real where an integer belongs is truncated.
    send({{"Orientation", Value(0.7)}});
    EXPECT_EQ(hid->buttonModes.back(), 2);
}

TEST_F(PreferencesTest, SwitchesFollowTheirExactValues) {
    send({{"OtfsOnScreen", i32(2)}, {"Otfs", i32(2)}, {"MasterSensitivityOn", i32(0)}});
    EXPECT_FALSE(store->otfsOverlay);
    EXPECT_FALSE(store->otfsActive);
    EXPECT_TRUE(store->perAxisSens);
    EXPECT_EQ(lastSet(driver).at("Otfs"), i32(2)) << "passed on unchanged";
    send({{"OtfsOnScreen", i32(1)}, {"Otfs", i32(0)}, {"MasterSensitivityOn", i32(5)}});
    EXPECT_TRUE(store->otfsOverlay);
    EXPECT_TRUE(store->otfsActive);
    EXPECT_FALSE(store->perAxisSens);
}

TEST_F(PreferencesTest, AccelerationOffWinsOverTheAccelerationValue) {
    send({{"MasterAccelOn", i32(1)}, {"MasterAccel", Value(0.5)}});
    ASSERT_EQ(hid->accelerationSets.size(), 2u);
    EXPECT_EQ(hid->accelerationSets[0].key, "HIDMouseAcceleration");
    EXPECT_EQ(hid->accelerationSets[0].value, 0.5);
    EXPECT_EQ(hid->accelerationSets[1].value, -1.0);
    EXPECT_EQ(lastSet(driver).at("HIDPointerAcceleration"), i32(32768));
    EXPECT_EQ(lastSet(driver).at("MasterAccelOn"), i32(1));

    send({{"MasterAccelOn", i32(2)}, {"MasterAccel", Value(0.5)}});
    EXPECT_EQ(hid->accelerationSets.back().value, 0.5) << "only exactly 1 turns it off";
}

TEST_F(PreferencesTest, StoredSensitivitiesAreHeldUnclampedAndClampedOnlyWhenStepped) {
    send({{"Sensitivity", Value(12.0)}, {"MasterSensitivityX", Value(0.5)}});
    EXPECT_EQ(lastSet(driver).at("Sensitivity"), i32(786432));
    EXPECT_EQ(store->sens[kSensOverall], 12.0);
    EXPECT_EQ(store->sens[kSensX], 0.5);
    EXPECT_EQ(store->SetSensitivity(store->sens[kSensOverall] + 0.2, kSensOverall), 10.0);
    EXPECT_EQ(store->sens[kSensOverall], 10.0);
    EXPECT_EQ(store->SetSensitivity(10.2, kSensX), 10.0);
    EXPECT_EQ(store->SetSensitivity(0.8, kSensY), 1.0);
    EXPECT_EQ(store->SetSensitivity(5.0, kSensY), 5.0);
    EXPECT_EQ(store->sens[kSensY], 5.0);
    // An integer where a real belongs widens.
    send({{"ScrollWheelSpeed", i32(3)}});
    EXPECT_EQ(lastSet(driver).at("ScrollWheelSpeed"), i32(3 * 65536));
}

TEST_F(PreferencesTest, ValuesThatAreNotNumbersAreSkippedWithAMessageAndTheRestApplies) {
    testing::internal::CaptureStderr();
    send({{"Sensitivity", Value("fast")},
          {"Orientation", Value(zed::Data{1})},
          {"MasterSensitivityX", Value(4.0)},
          {"ButtonMappings", Value("nope")},
          {"Resolution", i32(2)}});
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("\"Sensitivity\""), std::string::npos) << err;
    EXPECT_NE(err.find("\"Orientation\""), std::string::npos) << err;
    EXPECT_NE(err.find("\"ButtonMappings\""), std::string::npos) << err;
    EXPECT_EQ(lastSet(driver),
              (Dictionary{{"MasterSensitivityX", i32(262144)}, {"Resolution", i32(2)}}));
    EXPECT_EQ(store->sens[kSensOverall], 0.0);
    EXPECT_TRUE(hid->buttonModes.empty());
    EXPECT_FALSE(store->buttonMappings);
}

TEST_F(PreferencesTest, NothingIsSentOrChangedWithoutDriverHidSystemOrConnection) {
    const Dictionary settings{{"Sensitivity", Value(3.0)}, {"Otfs", i32(1)}};
    for (int missing = 0; missing < 4; ++missing) {
        Application* app = Application::GetApp();
        app->driverService = missing == 0 ? 0 : driver;
        app->hidSystem = missing == 1 ? 0 : hidSystem;
        hid->openStatus = missing == 2 ? zed::kIOReturnNotPermitted : zed::kIOReturnSuccess;
        const auto before = registry->setCalls().size();
        if (missing == 3) {
            store->SendPrefsToDriver(nullptr);
        } else {
            send(settings);
        }
        EXPECT_EQ(registry->setCalls().size(), before) << "case " << missing;
        EXPECT_EQ(store->sens[0], 0.0) << "case " << missing;
        EXPECT_TRUE(store->otfsActive) << "case " << missing;
        EXPECT_EQ(hid->openConnections(), 0) << "case " << missing;
    }
}

TEST_F(PreferencesTest, RejectedPropertiesAreReportedAndTheHidSystemPartStillRuns) {
    registry->failNextSet(zed::kIOReturnError);
    testing::internal::CaptureStderr();
    send({{"Sensitivity", Value(2.0)}, {"DblClickSpeed", Value(1.0)}});
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error setting hound property. - (iokit/common) general error(e00002bc,700)\n");
    EXPECT_EQ(store->sens[0], 2.0);
    EXPECT_EQ(lastSet(hidSystem), (Dictionary{{"HIDClickTime", Value(std::int64_t{100000000})}}));
}

TEST_F(PreferencesTest, SensitivityStepsGoToTheDriverAndTheDomainAlone) {
    store->sens[0] = 4.4;
    store->sens[1] = 1.0;
    store->sens[2] = 9.8;
    store->SendSensToDriver();
    EXPECT_EQ(lastSet(driver), (Dictionary{{"Sensitivity", i32(FixedFromDouble(4.4))},
                                           {"MasterSensitivityX", i32(65536)},
                                           {"MasterSensitivityY", i32(642252)}}));
    prefs->replaceDomain(zed::settings::kDomain, {{"Orientation", i32(1)}}, "alice");
    prefs->synchronize(zed::settings::kDomain, "alice");
    const int writesBefore = prefs->writeCount();
    store->SaveSensToPrefs();
    EXPECT_EQ(prefs->writeCount() - writesBefore, 3) << "one synchronize per value";
    EXPECT_EQ(storedDomain(), (Dictionary{{"Orientation", i32(1)},
                                          {"Sensitivity", Value(4.4)},
                                          {"MasterSensitivityX", Value(1.0)},
                                          {"MasterSensitivityY", Value(9.8)}}));

    Application::GetApp()->driverService = 0;
    const auto calls = registry->setCalls().size();
    store->SendSensToDriver();
    EXPECT_EQ(registry->setCalls().size(), calls);
}

TEST_F(PreferencesTest, StoredSettingsAreReadForTheConsoleUser) {
    prefs->replaceDomain(zed::settings::kDomain, {{"Sensitivity", Value(3.0)}}, "alice");
    prefs->replaceDomain(zed::settings::kDomain, {{"Sensitivity", Value(7.0)}}, "bob");
    prefs->synchronize(zed::settings::kDomain, "alice");
    prefs->synchronize(zed::settings::kDomain, "bob");
    EXPECT_TRUE(Preferences::HasPrefs());
    store->ReadPrefs();
    EXPECT_EQ(store->sens[0], 3.0);
    EXPECT_EQ(storedDomain().size(), 1u) << "no defaults are written over stored settings";
}

TEST_F(PreferencesTest, NanSensitivitiesReadAsTheDefaultAndNeverSurviveAStep) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Posted by a settings notification.
    testing::internal::CaptureStderr();
    send({{"Sensitivity", Value(nan)},
          {"MasterSensitivityX", Value(nan)},
          {"MasterSensitivityY", Value(-nan)},
          {"ButtonMappings", Value(zed::Array{Value(zed::Data{7})})}});
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("\"MasterSensitivityY\" as 10.0: its value is not a number"),
              std::string::npos)
        << err;
    for (double s : store->sens) {
        EXPECT_EQ(s, 10.0);
    }
    EXPECT_EQ(lastSet(driver).at("Sensitivity"), i32(655360)) << "sent as it is held";
    EXPECT_EQ(lastSet(driver).at("MasterSensitivityY"), i32(655360));

    // A step from the driver stores a number within the range.
    DriverNotifProc(nullptr, driver, 0x00FF, 0); // button 1, one step down
    while (platform->runLoop().runOnce(0)) {     // sent and saved once the loop is idle
    }
    const Dictionary afterStep = storedDomain();
    const Value* saved = zed::lookup(afterStep, "Sensitivity");
    ASSERT_TRUE(saved);
    const double value = saved->toDouble().value_or(nan);
    EXPECT_GE(value, 1.0);
    EXPECT_LE(value, 10.0);

    // Stored in the domain.
    prefs->replaceDomain(zed::settings::kDomain,
                         {{"Sensitivity", Value(nan)}, {"MasterSensitivityX", Value(2.0)}},
                         "alice");
    prefs->synchronize(zed::settings::kDomain, "alice");
    store->ReadPrefs();
    EXPECT_EQ(store->sens[kSensOverall], 10.0);
    EXPECT_EQ(store->sens[kSensX], 2.0);
    EXPECT_EQ(lastSet(driver).at("Sensitivity"), i32(655360));

    // Clamping: NaN is the lower bound; infinities clamp to their end.
    EXPECT_EQ(store->SetSensitivity(nan, kSensY), 1.0);
    EXPECT_EQ(store->sens[kSensY], 1.0);
    const double inf = std::numeric_limits<double>::infinity();
    send({{"Sensitivity", Value(inf)}, {"MasterSensitivityX", Value(-inf)}});
    EXPECT_EQ(lastSet(driver).at("Sensitivity"), i32(std::numeric_limits<std::int32_t>::min()));
    EXPECT_EQ(store->SetSensitivity(store->sens[kSensOverall] + 0.2, kSensOverall), 10.0);
    EXPECT_EQ(store->SetSensitivity(store->sens[kSensX] - 0.2, kSensX), 1.0);
}

} // namespace zed::test
