// The properties as the agent sets them: refused whole when any is of the
// wrong shape, clamped, merged, decoded.
#include "Driver/DriverSettings.h"
#include "Platform/core/DriverInterface.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace zed::test {
using namespace zed::driver;

namespace {

using settings::Key;
const char* const kSensitivityKey = settings::name(Key::kSensitivity);
const char* const kSensitivityXKey = settings::name(Key::kMasterSensitivityX);
const char* const kSensitivityYKey = settings::name(Key::kMasterSensitivityY);
const char* const kSensitivityOnKey = settings::name(Key::kMasterSensitivityOn);
const char* const kAccelerationOnKey = settings::name(Key::kMasterAccelOn);
const char* const kScrollWheelSpeedKey = settings::name(Key::kScrollWheelSpeed);
const char* const kOtfsKey = settings::name(Key::kOtfs);
const char* const kOtfsOnScreenKey = settings::name(Key::kOtfsOnScreen);
const char* const kResolutionKey = settings::name(Key::kResolution);
const char* const kNumButtonsKey = settings::name(Key::kNumButtons);
const char* const kButtonMappingsKey = settings::name(Key::kButtonMappings);
constexpr auto kMaxNumButtons =
    static_cast<std::int32_t>(settings::info(Key::kNumButtons).driver->max);

constexpr std::int32_t fixed(double v) {
    return static_cast<std::int32_t>(v * 65536.0);
}

Data bytes(std::size_t n, std::uint8_t fill = 5) {
    return Data(n, fill);
}

Array mappings(std::size_t count, std::size_t size) {
    return Array(count, Value(bytes(size)));
}

// A full configuration as the agent sends it.
Dictionary fullConfiguration() {
    return {
        {kButtonModeProperty, Value(std::int32_t{1})},
        {kSensitivityKey, Value(fixed(5.0))},
        {kSensitivityXKey, Value(fixed(3.0))},
        {kSensitivityYKey, Value(fixed(7.0))},
        {kSensitivityOnKey, Value(std::int32_t{0})},
        {kAccelerationProperty, Value(fixed(0.5))},
        {kAccelerationOnKey, Value(std::int32_t{1})},
        {kOtfsKey, Value(std::int32_t{1})},
        {kOtfsOnScreenKey, Value(std::int32_t{0})},
        {kScrollWheelSpeedKey, Value(fixed(2.5))},
        {kResolutionKey, Value(std::int32_t{800})},
        {kButtonMappingsKey, Value(Array{Value(Data{0}), Value(Data{6, 3, '5', '5'})})},
        {kNumButtonsKey, Value(std::int32_t{7})},
    };
}

TEST(DriverProperties, NothingSetIsTheMouseAsItIs) {
    DriverProperties p;
    EXPECT_TRUE(p.values().empty());
    EXPECT_EQ(p.settings(), DriverSettings{});
}

TEST(DriverProperties, AFullConfigurationIsDecoded) {
    DriverProperties p;
    ASSERT_EQ(p.set(fullConfiguration()), kIOReturnSuccess);
    EXPECT_EQ(p.values(), fullConfiguration());
    const DriverSettings& s = p.settings();
    EXPECT_EQ(s.sensitivity, 5.0);
    EXPECT_EQ(s.sensitivityForX(), 3.0);
    EXPECT_EQ(s.sensitivityForY(), 7.0);
    EXPECT_TRUE(s.accelerates());
    EXPECT_EQ(s.acceleration, 0.5);
    EXPECT_EQ(s.scrollWheelSpeed, 2.5);
    EXPECT_FALSE(s.onTheFly());
    EXPECT_EQ(s.otfsOnScreen, 0);
    EXPECT_EQ(s.resolution, 800);
    EXPECT_EQ(s.numButtons, 7);
    EXPECT_EQ(s.buttonMappings, (std::vector<Data>{{0}, {6, 3, '5', '5'}}));
}

TEST(DriverProperties, AnOnTheFlyStepMergesWithWhatWasSet) {
    DriverProperties p;
    ASSERT_EQ(p.set(fullConfiguration()), kIOReturnSuccess);
    ASSERT_EQ(p.set({{kSensitivityKey, Value(fixed(5.2))},
                     {kSensitivityXKey, Value(fixed(3.2))},
                     {kSensitivityYKey, Value(fixed(7.2))}}),
              kIOReturnSuccess);
    EXPECT_EQ(p.settings().sensitivityX, fixed(3.2) / 65536.0);
    EXPECT_EQ(p.settings().scrollWheelSpeed, 2.5);
    EXPECT_EQ(p.settings().buttonMappings.size(), 2u);
    EXPECT_EQ(*lookup(p.values(), kResolutionKey), Value(std::int32_t{800}));
}

TEST(DriverProperties, SixtyFourBitIntegersAreAccepted) {
    DriverProperties p;
    ASSERT_EQ(p.set({{kSensitivityKey, Value(std::int64_t{fixed(4.0)})},
                     {kOtfsKey, Value(std::int64_t{3})}}),
              kIOReturnSuccess);
    EXPECT_EQ(p.settings().sensitivity, 4.0);
    EXPECT_EQ(p.settings().otfs, 3);
    // Shown as the 32-bit integers the agent sends.
    EXPECT_EQ(*lookup(p.values(), kSensitivityKey), Value(fixed(4.0)));
}

TEST(DriverProperties, UnknownKeysAreAcceptedButNeitherStoredNorApplied) {
    DriverProperties p;
    const Dictionary extra{{"Colour", Value("copper")},
                           {"Weights", Value(Array{Value(1.5), Value(true)})}};
    ASSERT_EQ(p.set(extra), kIOReturnSuccess);
    EXPECT_TRUE(p.values().empty());
    EXPECT_EQ(p.settings(), DriverSettings{});
    EXPECT_EQ(p.lastIgnored(), (std::vector<std::string>{"Colour", "Weights"}));
}

TEST(DriverProperties, WhatIsHeldStaysBoundedWhateverCallersSend) {
    DriverProperties p;
    for (int call = 0; call < 100; ++call) {
        Dictionary changes = fullConfiguration();
        for (int i = 0; i < 300; ++i) {
            changes["Extra" + std::to_string(call) + "_" + std::to_string(i)] =
                Value(bytes(kMaxMappingBytes));
        }
        ASSERT_EQ(p.set(changes), kIOReturnSuccess);
        EXPECT_EQ(p.lastIgnored().size(), 300u);
    }
    // Only the keys of the rules are held, each within its own bounds.
    EXPECT_EQ(p.values(), fullConfiguration());
}

struct BadCase {
    const char* name;
    const char* key;
    Value value;
};

class DriverPropertiesRefused : public testing::TestWithParam<BadCase> {};

TEST_P(DriverPropertiesRefused, WholeAndNothingChanges) {
    DriverProperties p;
    ASSERT_EQ(p.set(fullConfiguration()), kIOReturnSuccess);
    const Dictionary before = p.values();
    const DriverSettings settingsBefore = p.settings();
    // Good keys beside the bad one are not applied either.
    Dictionary changes{{kSensitivityKey, Value(fixed(9.0))},
                       {kButtonMappingsKey, Value(Array{Value(Data{1})})},
                       {"Unknown", Value(std::int32_t{1})}};
    changes[GetParam().key] = GetParam().value;
    EXPECT_EQ(p.set(changes), kIOReturnBadArgument);
    EXPECT_EQ(p.values(), before);
    EXPECT_EQ(p.settings(), settingsBefore);
    EXPECT_NE(p.lastError().find(GetParam().key), std::string::npos) << p.lastError();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverPropertiesRefused,
    testing::Values(
        BadCase{"SensitivityReal", kSensitivityKey, Value(5.0)},
        BadCase{"SensitivityXText", kSensitivityXKey, Value("10")},
        BadCase{"SensitivityYBool", kSensitivityYKey, Value(true)},
        BadCase{"AccelerationData", kAccelerationProperty, Value(Data{1})},
        BadCase{"WheelArray", kScrollWheelSpeedKey, Value(Array{})},
        BadCase{"ButtonModeReal", kButtonModeProperty, Value(2.0)},
        BadCase{"SensitivityOnBool", kSensitivityOnKey, Value(false)},
        BadCase{"AccelOnText", kAccelerationOnKey, Value("1")},
        BadCase{"OtfsReal", kOtfsKey, Value(0.0)},
        BadCase{"OtfsOnScreenDictionary", kOtfsOnScreenKey, Value(Dictionary{})},
        BadCase{"ResolutionReal", kResolutionKey, Value(800.0)},
        BadCase{"NumButtonsText", kNumButtonsKey, Value("7")},
        BadCase{"MappingsNotAnArray", kButtonMappingsKey, Value(Data{0})},
        BadCase{"MappingsWithText", kButtonMappingsKey, Value(Array{Value(Data{0}), Value("5")})},
        BadCase{"MappingsTooMany", kButtonMappingsKey, Value(mappings(kMaxMappings + 1, 1))},
        BadCase{"MappingTooLong", kButtonMappingsKey,
                Value(Array{Value(Data{0}), Value(bytes(kMaxMappingBytes + 1))})}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST(DriverProperties, MappingsAtTheLimitsAreAccepted) {
    DriverProperties p;
    EXPECT_EQ(p.set({{kButtonMappingsKey, Value(mappings(kMaxMappings, kMaxMappingBytes))}}),
              kIOReturnSuccess);
    EXPECT_EQ(p.settings().buttonMappings.size(), kMaxMappings);
    EXPECT_EQ(p.set({{kButtonMappingsKey, Value(Array{Value(Data{})})}}), kIOReturnSuccess);
    EXPECT_EQ(p.settings().buttonMappings, (std::vector<Data>{Data{}}));
}

struct ClampCase {
    const char* name;
    const char* key;
    Value sent;
    Value shown;
};

class DriverPropertiesClamped : public testing::TestWithParam<ClampCase> {};

TEST_P(DriverPropertiesClamped, ToSaneBounds) {
    DriverProperties p;
    ASSERT_EQ(p.set({{GetParam().key, GetParam().sent}}), kIOReturnSuccess);
    EXPECT_EQ(*lookup(p.values(), GetParam().key), GetParam().shown);
}

constexpr std::int32_t kMinFixed = 6554; // 0.1, rounded up
constexpr std::int32_t kMaxFixed = 100 * 65536;

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverPropertiesClamped,
    testing::Values(
        ClampCase{"SensitivityZero", kSensitivityKey, Value(std::int32_t{0}), Value(kMinFixed)},
        ClampCase{"SensitivityNegative", kSensitivityKey, Value(fixed(-3.0)), Value(kMinFixed)},
        ClampCase{"SensitivityHuge", kSensitivityKey, Value(std::int64_t{1} << 40),
                  Value(kMaxFixed)},
        ClampCase{"SensitivityInRange", kSensitivityKey, Value(fixed(0.2)), Value(fixed(0.2))},
        ClampCase{"SensitivityXZero", kSensitivityXKey, Value(std::int32_t{0}), Value(kMinFixed)},
        ClampCase{"SensitivityYHuge", kSensitivityYKey, Value(fixed(1000.0)), Value(kMaxFixed)},
        ClampCase{"WheelZero", kScrollWheelSpeedKey, Value(std::int32_t{0}), Value(kMinFixed)},
        ClampCase{"WheelHuge", kScrollWheelSpeedKey, Value(fixed(500.0)), Value(kMaxFixed)},
        // The host platform's "acceleration off" (-1): none of ours either.
        ClampCase{"AccelerationOff", kAccelerationProperty, Value(fixed(-1.0)),
                  Value(std::int32_t{0})},
        ClampCase{"AccelerationHuge", kAccelerationProperty, Value(fixed(10.0)), Value(fixed(3.0))},
        ClampCase{"ButtonModeHigh", kButtonModeProperty, Value(std::int32_t{5}),
                  Value(std::int32_t{2})},
        ClampCase{"ButtonModeLow", kButtonModeProperty, Value(std::int32_t{0}),
                  Value(std::int32_t{1})},
        ClampCase{"ResolutionNegative", kResolutionKey, Value(std::int32_t{-1}),
                  Value(std::int32_t{0})},
        ClampCase{"NumButtonsHuge", kNumButtonsKey, Value(std::int32_t{1000}),
                  Value(std::int32_t{kMaxNumButtons})},
        ClampCase{"SwitchBeyond32Bits", kOtfsKey, Value(std::int64_t{1} << 40),
                  Value(std::int32_t{2147483647})},
        ClampCase{"SwitchAnyValue", kAccelerationOnKey, Value(std::int32_t{-7}),
                  Value(std::int32_t{-7})}),
    [](const testing::TestParamInfo<ClampCase>& info) { return std::string(info.param.name); });

TEST(DriverProperties, SwitchesReadAsTheAgentMeansThem) {
    DriverProperties p;
    ASSERT_EQ(p.set({{kSensitivityOnKey, Value(std::int32_t{2})},
                     {kAccelerationOnKey, Value(std::int32_t{2})},
                     {kOtfsKey, Value(std::int32_t{-1})},
                     {kSensitivityKey, Value(fixed(4.0))},
                     {kSensitivityXKey, Value(fixed(8.0))}}),
              kIOReturnSuccess);
    // Non-zero is on for the overall sensitivity; only 1 turns acceleration
    // on; any non-zero "Otfs" turns on-the-fly buttons into plain clicks.
    EXPECT_EQ(p.settings().sensitivityForX(), 4.0);
    EXPECT_FALSE(p.settings().accelerates());
    EXPECT_FALSE(p.settings().onTheFly());
}

} // namespace
} // namespace zed::test
