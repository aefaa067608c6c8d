// The event transform without a kernel: frames in, frames and message words
// out.
#include "Driver/Transform.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <ostream>
#include <string>
#include <vector>

namespace zed::test {
using namespace zed::driver;

// Readable events in failure messages.
void PrintTo(const InputEvent& e, std::ostream* os) {
    *os << "{" << e.type << "," << e.code << "," << e.value << "}";
}

namespace {

using Events = std::vector<InputEvent>;
using Words = std::vector<std::uint32_t>;

InputEvent key(std::uint16_t code, std::int32_t value) {
    return {EV_KEY, code, value};
}
InputEvent rel(std::uint16_t code, std::int32_t value) {
    return {EV_REL, code, value};
}
InputEvent scan(std::int32_t value) {
    return {EV_MSC, MSC_SCAN, value};
}
constexpr InputEvent kSyn{EV_SYN, SYN_REPORT, 0};

// One frame through the transform.
Output run(Transform& t, const Events& frame) {
    Output out;
    t.frame(frame, out);
    return out;
}

// A button's press frame as hid-input sends it: the scan code, the key.
Events pressOf(std::uint16_t code) {
    return {scan(0x90001 + code - BTN_LEFT), key(code, 1), kSyn};
}
Events releaseOf(std::uint16_t code) {
    return {scan(0x90001 + code - BTN_LEFT), key(code, 0), kSyn};
}
// One detent of a wheel with high resolution: both codes.
Events detent(int direction) {
    return {rel(REL_WHEEL, direction), rel(REL_WHEEL_HI_RES, 120 * direction), kSyn};
}

DriverSettings withMappings(std::vector<Data> mappings, std::int32_t otfs = 0) {
    DriverSettings s;
    s.buttonMappings = std::move(mappings);
    s.otfs = otfs;
    return s;
}

// Sums every value of `code` in `events`.
std::int64_t total(const Events& events, std::uint16_t type, std::uint16_t code) {
    std::int64_t sum = 0;
    for (const InputEvent& e : events) {
        if (e.type == type && e.code == code) {
            sum += e.value;
        }
    }
    return sum;
}

// ---- pass-through ----------------------------------------------------------

TEST(TransformPassThrough, DefaultSettingsLeaveEveryFrameAsItWas) {
    Transform t;
    const std::vector<Events> frames = {
        {scan(0x90001), key(BTN_LEFT, 1), kSyn},
        {rel(REL_X, 3), rel(REL_Y, -7), kSyn},
        {rel(REL_X, 2147483647), rel(REL_Y, -2147483647 - 1), kSyn},
        {rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 120), kSyn},
        {rel(REL_WHEEL_HI_RES, 30), kSyn}, // a fraction of a detent
        {rel(REL_HWHEEL, -1), rel(REL_HWHEEL_HI_RES, -120), kSyn},
        {scan(0x90008), key(BTN_TASK, 1), rel(REL_X, 1), kSyn},
        {key(KEY_A, 1), kSyn},
        {key(KEY_A, 0), key(BTN_TASK, 0), kSyn},
        {scan(0x90001), key(BTN_LEFT, 0), rel(REL_Y, 1), kSyn},
        {rel(REL_DIAL, 5), kSyn},
    };
    for (const Events& frame : frames) {
        const Output out = run(t, frame);
        EXPECT_EQ(out.events, frame);
        EXPECT_TRUE(out.words.empty());
    }
    EXPECT_FALSE(t.holdsAnything());
}

TEST(TransformPassThrough, FrameBoundaries) {
    Transform t;
    // An empty frame stays empty; a frame handed over without its SYN_REPORT
    // still ends with one; what follows a SYN_REPORT is not part of the frame.
    EXPECT_TRUE(run(t, {kSyn}).events.empty());
    EXPECT_EQ(run(t, {rel(REL_X, 1)}).events, (Events{rel(REL_X, 1), kSyn}));
    EXPECT_EQ(run(t, {rel(REL_X, 1), kSyn, rel(REL_Y, 9)}).events, (Events{rel(REL_X, 1), kSyn}));
    // SYN_DROPPED is the device part's business, not the virtual pointer's.
    EXPECT_EQ(run(t, {{EV_SYN, SYN_DROPPED, 0}, rel(REL_Y, 2), kSyn}).events,
              (Events{rel(REL_Y, 2), kSyn}));
    // A key repeat means nothing for buttons.
    EXPECT_TRUE(run(t, {key(BTN_LEFT, 2), kSyn}).events.empty());
}

// ---- motion ------------------------------------------------------------------

struct MotionCase {
    const char* name;
    double sensitivity;
    double x, y;
    std::int32_t sensitivityOn;
    std::int32_t moveX, moveY;
    int frames;
    std::int64_t wantX, wantY;
};

class TransformMotion : public testing::TestWithParam<MotionCase> {};

TEST_P(TransformMotion, RemaindersAddUpExactly) {
    const MotionCase& c = GetParam();
    DriverSettings s;
    s.sensitivity = c.sensitivity;
    s.sensitivityX = c.x;
    s.sensitivityY = c.y;
    s.sensitivityOn = c.sensitivityOn;
    Transform t(s);
    std::int64_t x = 0;
    std::int64_t y = 0;
    for (int i = 0; i < c.frames; ++i) {
        const Output out = run(t, {rel(REL_X, c.moveX), rel(REL_Y, c.moveY), kSyn});
        // One output frame per input frame, never more.
        ASSERT_LE(out.events.size(), 3u);
        if (!out.events.empty()) {
            ASSERT_EQ(out.events.back(), kSyn);
        }
        x += total(out.events, EV_REL, REL_X);
        y += total(out.events, EV_REL, REL_Y);
    }
    EXPECT_EQ(x, c.wantX);
    EXPECT_EQ(y, c.wantY);
}

// 9.8 as the agent sends it: 642253 / 65536.
constexpr double kNinePointEight = 642253.0 / 65536.0;

INSTANTIATE_TEST_SUITE_P(
    Cases, TransformMotion,
    testing::Values(MotionCase{"ThreeTenthsOfSmallMoves", 3.0, 10, 10, 1, 1, -1, 1000, 300, -300},
                    MotionCase{"HalfSpeed", 5.0, 10, 10, 1, 4, 2, 10, 20, 10},
                    MotionCase{"DoubleSpeed", 20.0, 10, 10, 1, -3, 5, 10, -60, 100},
                    MotionCase{"PerAxis", 10.0, 3.0, 7.0, 0, 1, 1, 1000, 300, 700},
                    MotionCase{"PerAxisIgnoredWhenOverallOn", 5.0, 3.0, 7.0, 1, 2, 2, 100, 100,
                               100},
                    // 7000 * 642253 / 655360 = 6860.0021...
                    MotionCase{"AgentFixedPoint", kNinePointEight, 10, 10, 1, 7, 0, 1000, 6860, 0}),
    [](const testing::TestParamInfo<MotionCase>& info) { return std::string(info.param.name); });

TEST(TransformMotionSafety, NonsenseSensitivitiesNeitherFreezeNorInvert) {
    for (const double bad : {0.0, -10.0, std::nan("")}) {
        DriverSettings s;
        s.sensitivity = bad;
        Transform t(s);
        std::int64_t x = 0;
        for (int i = 0; i < 100; ++i) {
            x += total(run(t, {rel(REL_X, 10), kSyn}).events, EV_REL, REL_X);
        }
        EXPECT_GT(x, 0) << bad;
        EXPECT_LT(x, 1000) << bad;
    }
}

TEST(TransformMotionSafety, HugeMovesAtHighSensitivityStayInRange) {
    DriverSettings s;
    s.sensitivity = 1e9;
    s.accelerationOn = 1;
    s.acceleration = 1e9;
    Transform t(s);
    const Output out = run(t, {rel(REL_X, 2147483647), rel(REL_Y, -2147483647 - 1), kSyn});
    EXPECT_GT(total(out.events, EV_REL, REL_X), 0);
    EXPECT_LT(total(out.events, EV_REL, REL_Y), 0);
}

TEST(TransformAcceleration, OnlyWhenSwitchedOnAndOnlyForFastMoves) {
    DriverSettings s;
    s.acceleration = 1.0;
    for (const std::int32_t on : {0, 2, 1}) {
        s.accelerationOn = on;
        Transform t(s);
        // Slow moves are precise: 1:1 whatever the amount.
        EXPECT_EQ(total(run(t, {rel(REL_X, 1), kSyn}).events, EV_REL, REL_X), 1);
        const Output fast = run(t, {rel(REL_X, 30), rel(REL_Y, -40), kSyn});
        if (on == 1) {
            EXPECT_GT(total(fast.events, EV_REL, REL_X), 30);
            EXPECT_LT(total(fast.events, EV_REL, REL_Y), -40);
            // The same gain on both axes keeps the direction.
            EXPECT_NEAR(total(fast.events, EV_REL, REL_X) * 4.0,
                        total(fast.events, EV_REL, REL_Y) * -3.0, 4.0);
        } else {
            EXPECT_EQ(fast.events, (Events{rel(REL_X, 30), rel(REL_Y, -40), kSyn})) << on;
        }
    }
}

// ---- wheel -------------------------------------------------------------------

struct WheelCase {
    const char* name;
    double speed;
    std::vector<Events> frames;
    std::vector<Events> want;
};

class TransformWheel : public testing::TestWithParam<WheelCase> {};

TEST_P(TransformWheel, ScaledInHighResolutionUnits) {
    const WheelCase& c = GetParam();
    DriverSettings s;
    s.scrollWheelSpeed = c.speed;
    Transform t(s);
    ASSERT_EQ(c.frames.size(), c.want.size());
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
        EXPECT_EQ(run(t, c.frames[i]).events, c.want[i]) << "frame " << i;
    }
}

const Events kNothing;

INSTANTIATE_TEST_SUITE_P(Cases, TransformWheel,
                         testing::Values(
                             // Half speed: two detents make one, each frame scrolls half a detent.
                             WheelCase{"HalfWithBothCodes",
                                       5.0,
                                       {detent(1), detent(1), detent(-1), detent(-1)},
                                       {{rel(REL_WHEEL_HI_RES, 60), kSyn},
                                        {rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 60), kSyn},
                                        {rel(REL_WHEEL_HI_RES, -60), kSyn},
                                        {rel(REL_WHEEL, -1), rel(REL_WHEEL_HI_RES, -60), kSyn}}},
                             // A wheel without high resolution gives the same.
                             WheelCase{"HalfWithLowCodeOnly",
                                       5.0,
                                       {{rel(REL_WHEEL, 1), kSyn}, {rel(REL_WHEEL, 1), kSyn}},
                                       {{rel(REL_WHEEL_HI_RES, 60), kSyn},
                                        {rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 60), kSyn}}},
                             WheelCase{"DoubleWithBothCodes",
                                       20.0,
                                       {detent(-1)},
                                       {{rel(REL_WHEEL, -2), rel(REL_WHEEL_HI_RES, -240), kSyn}}},
                             // Fractions of a detent from a free-spinning wheel, scaled 0.3 with
                             // the remainder carried: 4 x 30 x 0.3 = 36 units, no detent yet.
                             WheelCase{"FractionsCarry",
                                       3.0,
                                       {{rel(REL_WHEEL_HI_RES, 30), kSyn},
                                        {rel(REL_WHEEL_HI_RES, 30), kSyn},
                                        {rel(REL_WHEEL_HI_RES, 30), kSyn},
                                        {rel(REL_WHEEL_HI_RES, 30), rel(REL_X, 1), kSyn}},
                                       {{rel(REL_WHEEL_HI_RES, 9), kSyn},
                                        {rel(REL_WHEEL_HI_RES, 9), kSyn},
                                        {rel(REL_WHEEL_HI_RES, 9), kSyn},
                                        {rel(REL_WHEEL_HI_RES, 9), rel(REL_X, 1), kSyn}}},
                             // A turn back starts a fresh detent instead of eating into the last.
                             WheelCase{"ReversalStartsAfresh",
                                       5.0,
                                       {detent(1), detent(-1), detent(-1)},
                                       {{rel(REL_WHEEL_HI_RES, 60), kSyn},
                                        {rel(REL_WHEEL_HI_RES, -60), kSyn},
                                        {rel(REL_WHEEL, -1), rel(REL_WHEEL_HI_RES, -60), kSyn}}},
                             WheelCase{"HorizontalToo",
                                       5.0,
                                       {{rel(REL_HWHEEL, 1), rel(REL_HWHEEL_HI_RES, 120), kSyn},
                                        {rel(REL_HWHEEL, 1), rel(REL_HWHEEL_HI_RES, 120), kSyn}},
                                       {{rel(REL_HWHEEL_HI_RES, 60), kSyn},
                                        {rel(REL_HWHEEL, 1), rel(REL_HWHEEL_HI_RES, 60), kSyn}}},
                             // Speed 10 is the wheel's own: unchanged, partial detents included.
                             WheelCase{"OwnSpeedUnchanged",
                                       10.0,
                                       {detent(1), {rel(REL_WHEEL_HI_RES, 7), kSyn}},
                                       {detent(1), {rel(REL_WHEEL_HI_RES, 7), kSyn}}}),
                         [](const testing::TestParamInfo<WheelCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- button mappings ---------------------------------------------------------

struct MapCase {
    const char* name;
    Data mapping; // of button 4 (BTN_SIDE); buttons 1-3 are 0, 1, 2
    std::int32_t otfs;
    Events press; // what a press and a release of button 4 become
    Words pressWords;
    Events release;
    Words releaseWords;
};

class TransformMapping : public testing::TestWithParam<MapCase> {};

Events clickOf(std::uint16_t code, std::int32_t value) {
    return {scan(0x90004), key(code, value), kSyn};
}

TEST_P(TransformMapping, PressAndRelease) {
    const MapCase& c = GetParam();
    Transform t(withMappings({{0}, {1}, {2}, c.mapping}, c.otfs));
    const Output press = run(t, pressOf(BTN_SIDE));
    EXPECT_EQ(press.events, c.press);
    EXPECT_EQ(press.words, c.pressWords);
    EXPECT_TRUE(t.holdsAnything());
    const Output release = run(t, releaseOf(BTN_SIDE));
    EXPECT_EQ(release.events, c.release);
    EXPECT_EQ(release.words, c.releaseWords);
    EXPECT_FALSE(t.holdsAnything());
}

INSTANTIATE_TEST_SUITE_P(
    Types, TransformMapping,
    testing::Values(
        MapCase{"Primary", {0}, 0, clickOf(BTN_LEFT, 1), {}, clickOf(BTN_LEFT, 0), {}},
        MapCase{"Secondary", {1}, 0, clickOf(BTN_RIGHT, 1), {}, clickOf(BTN_RIGHT, 0), {}},
        MapCase{"Middle", {2}, 0, clickOf(BTN_MIDDLE, 1), {}, clickOf(BTN_MIDDLE, 0), {}},
        // Keys are the agent's: the word at the press, nothing on the pointer.
        MapCase{"KeyCombination", {3, '5', '5'}, 0, {}, {0x0300}, {}, {}},
        MapCase{"KeyMacro", {4, '5', '1', '2'}, 0, {}, {0x0300}, {}, {}},
        MapCase{"Own", {5}, 0, clickOf(BTN_SIDE, 1), {}, clickOf(BTN_SIDE, 0), {}},
        // A plain click of an advanced button types its nested mapping.
        MapCase{"AdvancedClicked", {6, 3, '5'}, 0, {}, {}, {}, {0x10300}},
        // Pressed and released with no turn of the wheel: the button's own click.
        MapCase{"OnTheFly",
                {7},
                0,
                {},
                {},
                {scan(0x90004), key(BTN_SIDE, 1), kSyn, key(BTN_SIDE, 0), kSyn},
                {}},
        MapCase{"AdvancedWithOnTheFlyOff",
                {6, 3},
                1,
                clickOf(BTN_SIDE, 1),
                {},
                clickOf(BTN_SIDE, 0),
                {}},
        MapCase{"OnTheFlyOff", {7}, 1, clickOf(BTN_SIDE, 1), {}, clickOf(BTN_SIDE, 0), {}},
        MapCase{"UnknownType", {9}, 0, clickOf(BTN_SIDE, 1), {}, clickOf(BTN_SIDE, 0), {}},
        MapCase{"EmptyElement", {}, 0, clickOf(BTN_SIDE, 1), {}, clickOf(BTN_SIDE, 0), {}}),
    [](const testing::TestParamInfo<MapCase>& info) { return std::string(info.param.name); });

TEST(TransformButtons, BeyondTheArrayAndBeyondSevenButtonsAreOwnClicks) {
    Transform t(withMappings({{0}, {2}}));
    EXPECT_EQ(run(t, pressOf(BTN_BACK)).events, (Events{scan(0x90007), key(BTN_BACK, 1), kSyn}));
    EXPECT_EQ(run(t, pressOf(BTN_TASK)).events, (Events{scan(0x90008), key(BTN_TASK, 1), kSyn}));
    EXPECT_EQ(run(t, pressOf(BTN_RIGHT)).events, (Events{scan(0x90002), key(BTN_MIDDLE, 1), kSyn}));
}

TEST(TransformButtons, ButtonModeIsLeftToTheDesktop) {
    DriverSettings s;
    s.buttonMode = 2;
    Transform t(s);
    EXPECT_EQ(run(t, pressOf(BTN_LEFT)).events, pressOf(BTN_LEFT));
}

struct PrimaryCase {
    const char* name;
    std::vector<Data> mappings;
    std::int32_t otfs;
};

class TransformPrimaryClick : public testing::TestWithParam<PrimaryCase> {};

TEST_P(TransformPrimaryClick, ButtonOneClicksWhenNoButtonWould) {
    Transform t(withMappings(GetParam().mappings, GetParam().otfs));
    const Output out = run(t, pressOf(BTN_LEFT));
    EXPECT_EQ(out.events, pressOf(BTN_LEFT));
    EXPECT_TRUE(out.words.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransformPrimaryClick,
    testing::Values(PrimaryCase{"AllSecondary", {{1}, {1}, {1}, {1}, {1}, {1}, {1}}, 0},
                    PrimaryCase{"KeysOnly", {{3, '5'}}, 0}, PrimaryCase{"OnTheFly", {{7}, {1}}, 0},
                    PrimaryCase{"Advanced", {{6, 4}}, 0},
                    // Type 0 beyond the seventh button is no button's.
                    PrimaryCase{"PrimaryBeyondSeven", {{2}, {1}, {1}, {1}, {1}, {1}, {1}, {0}}, 0}),
    [](const testing::TestParamInfo<PrimaryCase>& info) { return std::string(info.param.name); });

TEST(TransformButtons, PrimaryElsewhereLeavesButtonOneItsMapping) {
    Transform t(withMappings({{1}, {0}}));
    EXPECT_EQ(run(t, pressOf(BTN_LEFT)).events, (Events{scan(0x90001), key(BTN_RIGHT, 1), kSyn}));
    EXPECT_EQ(run(t, pressOf(BTN_RIGHT)).events, (Events{scan(0x90002), key(BTN_LEFT, 1), kSyn}));
}

TEST(TransformButtons, TwoButtonsOnOneCodeReleaseItWhenBothAreUp) {
    Transform t(withMappings({{0}, {1}, {2}, {0}}));
    EXPECT_EQ(run(t, {key(BTN_LEFT, 1), kSyn}).events, (Events{key(BTN_LEFT, 1), kSyn}));
    EXPECT_TRUE(run(t, {key(BTN_SIDE, 1), kSyn}).events.empty());
    EXPECT_TRUE(run(t, {key(BTN_LEFT, 0), kSyn}).events.empty());
    EXPECT_TRUE(t.holdsAnything());
    EXPECT_EQ(run(t, {key(BTN_SIDE, 0), kSyn}).events, (Events{key(BTN_LEFT, 0), kSyn}));
    EXPECT_FALSE(t.holdsAnything());
}

TEST(TransformButtons, DoubledPressesAndStrayReleasesAreIgnored) {
    Transform t;
    run(t, {key(BTN_LEFT, 1), kSyn});
    EXPECT_TRUE(run(t, {key(BTN_LEFT, 1), kSyn}).events.empty());
    EXPECT_EQ(run(t, {key(BTN_LEFT, 0), kSyn}).events, (Events{key(BTN_LEFT, 0), kSyn}));
    EXPECT_TRUE(run(t, {key(BTN_LEFT, 0), kSyn}).events.empty());
    EXPECT_TRUE(run(t, {key(BTN_RIGHT, 0), kSyn}).events.empty());
    EXPECT_FALSE(t.holdsAnything());
}

TEST(TransformButtons, AMappingChangedWhileHeldReleasesWhatWasPressed) {
    Transform t(withMappings({{0}, {1}, {7}, {2}}));
    run(t, {key(BTN_SIDE, 1), kSyn});
    Output gesture = run(t, {key(BTN_MIDDLE, 1), kSyn});
    EXPECT_TRUE(gesture.words.empty()); // the overlay waits for the wheel
    t.setSettings(withMappings({{0}, {1}, {5}, {1}}));
    // New presses follow the new mapping...
    EXPECT_EQ(run(t, {key(BTN_RIGHT, 1), kSyn}).events, (Events{key(BTN_RIGHT, 1), kSyn}));
    // ...held ones release what they pressed, and the gesture goes on to its end.
    EXPECT_EQ(run(t, {key(BTN_SIDE, 0), kSyn}).events, (Events{key(BTN_MIDDLE, 0), kSyn}));
    EXPECT_EQ(run(t, detent(1)).words, (Words{0x20200, 0x0201}));
    const Output end = run(t, {key(BTN_MIDDLE, 0), kSyn});
    EXPECT_TRUE(end.events.empty());
    EXPECT_EQ(end.words, (Words{0x40200}));
    run(t, {key(BTN_RIGHT, 0), kSyn});
    EXPECT_FALSE(t.holdsAnything());
}

// ---- on-the-fly gestures -----------------------------------------------------

struct GestureCase {
    const char* name;
    std::uint8_t type;
    std::vector<Events> frames; // between the press and the release of button 3
    Words want;                 // every word from the press to the release
    std::int64_t scrolled;      // REL_WHEEL that reached the pointer
};

class TransformGesture : public testing::TestWithParam<GestureCase> {};

TEST_P(TransformGesture, WheelStepsWhileHeld) {
    const GestureCase& c = GetParam();
    Transform t(withMappings({{0}, {1}, {c.type}}));
    Words words;
    std::int64_t scrolled = 0;
    auto take = [&](const Output& out) {
        words.insert(words.end(), out.words.begin(), out.words.end());
        scrolled += total(out.events, EV_REL, REL_WHEEL);
        EXPECT_EQ(total(out.events, EV_REL, REL_WHEEL_HI_RES),
                  120 * total(out.events, EV_REL, REL_WHEEL));
    };
    take(run(t, pressOf(BTN_MIDDLE)));
    for (const Events& frame : c.frames) {
        take(run(t, frame));
    }
    take(run(t, releaseOf(BTN_MIDDLE)));
    EXPECT_EQ(words, c.want);
    EXPECT_EQ(scrolled, c.scrolled);
    // Afterwards the wheel scrolls again.
    EXPECT_EQ(run(t, detent(1)).events, detent(1));
    EXPECT_FALSE(t.holdsAnything());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransformGesture,
    testing::Values(
        GestureCase{"OnTheFlyNoDetent", 7, {{rel(REL_X, 3), kSyn}}, {}, 0},
        GestureCase{"OnTheFlyHalfDetentOnly", 7, {{rel(REL_WHEEL_HI_RES, 60), kSyn}}, {}, 0},
        GestureCase{"OnTheFlyUpAndDown",
                    7,
                    {detent(1), detent(1), detent(-1)},
                    {0x20200, 0x0201, 0x0201, 0x02FF, 0x40200},
                    0},
        GestureCase{"OnTheFlyLowCodeOnly",
                    7,
                    {{rel(REL_WHEEL, -2), kSyn}},
                    {0x20200, 0x02FF, 0x02FF, 0x40200},
                    0},
        GestureCase{"OnTheFlyMotionStillMoves",
                    7,
                    {{rel(REL_X, 5), rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 120), kSyn}},
                    {0x20200, 0x0201, 0x40200},
                    0},
        GestureCase{"AdvancedClick", 6, {{rel(REL_X, 3), kSyn}}, {0x10200}, 0},
        GestureCase{"AdvancedFirstDetentBegins",
                    6,
                    {detent(-1), detent(1)},
                    {0x20200, 0x02FF, 0x0201, 0x40200},
                    0},
        // Half a detent from a free-spinning wheel is swallowed, not stepped;
        // the second half makes the step.
        GestureCase{"AdvancedHalfDetents",
                    6,
                    {{rel(REL_WHEEL_HI_RES, 60), kSyn}, {rel(REL_WHEEL_HI_RES, 60), kSyn}},
                    {0x20200, 0x0201, 0x40200},
                    0},
        GestureCase{
            "AdvancedHalfDetentOnly", 6, {{rel(REL_WHEEL_HI_RES, 60), kSyn}}, {0x10200}, 0}),
    [](const testing::TestParamInfo<GestureCase>& info) { return std::string(info.param.name); });

// An on-the-fly button released before the wheel turned a whole detent is
// the button's own click, in frames of its own, whatever else the frame held.
TEST(TransformGestures, AnOnTheFlyButtonWithoutADetentClicksItsOwnCode) {
    Transform t(withMappings({{0}, {1}, {7}, {1}, {7}}));
    for (std::uint16_t code : {BTN_MIDDLE, BTN_EXTRA}) {
        EXPECT_TRUE(run(t, pressOf(code)).events.empty());
        const Output out = run(t, {rel(REL_X, 2), key(code, 0), kSyn});
        EXPECT_EQ(out.events, (Events{rel(REL_X, 2), key(code, 1), kSyn, key(code, 0), kSyn}));
        EXPECT_TRUE(out.words.empty());
        EXPECT_FALSE(t.holdsAnything());
    }
    // Not when the wheel turned, nor when the gesture is cut short.
    run(t, pressOf(BTN_MIDDLE));
    run(t, detent(-1));
    EXPECT_EQ(run(t, releaseOf(BTN_MIDDLE)).events, Events{});
    run(t, pressOf(BTN_MIDDLE));
    Output cut;
    t.releaseAll(cut);
    EXPECT_TRUE(cut.events.empty());
    EXPECT_TRUE(cut.words.empty());
}

TEST(TransformGestures, OnlyTheWheelIsSwallowed) {
    Transform t(withMappings({{0}, {1}, {7}}));
    run(t, pressOf(BTN_MIDDLE));
    const Output out = run(t, {rel(REL_X, 5), rel(REL_WHEEL, 1), rel(REL_WHEEL_HI_RES, 120),
                               rel(REL_HWHEEL, 1), kSyn});
    EXPECT_EQ(out.events, (Events{rel(REL_X, 5), rel(REL_HWHEEL, 1), kSyn}));
}

TEST(TransformGestures, WithOnTheFlyOffTheWheelScrolls) {
    Transform t(withMappings({{0}, {1}, {7}}, 1));
    EXPECT_EQ(run(t, pressOf(BTN_MIDDLE)).events, pressOf(BTN_MIDDLE));
    const Output out = run(t, detent(1));
    EXPECT_EQ(out.events, detent(1));
    EXPECT_TRUE(out.words.empty());
}

TEST(TransformGestures, ASecondOnTheFlyButtonWaitsForTheFirst) {
    Transform t(withMappings({{0}, {1}, {7}, {6, 3}}));
    Words words;
    for (const Events& frame : {pressOf(BTN_MIDDLE), pressOf(BTN_SIDE), detent(1),
                                releaseOf(BTN_SIDE), releaseOf(BTN_MIDDLE)}) {
        const Output out = run(t, frame);
        words.insert(words.end(), out.words.begin(), out.words.end());
    }
    EXPECT_EQ(words, (Words{0x20200, 0x0201, 0x40200}));
    EXPECT_FALSE(t.holdsAnything());
}

TEST(TransformGestures, AFlickedWheelSendsABoundedNumberOfSteps) {
    Transform t(withMappings({{0}, {1}, {7}}));
    run(t, pressOf(BTN_MIDDLE));
    const Output out = run(t, {rel(REL_WHEEL, 2147483647), kSyn});
    ASSERT_GE(out.words.size(), 2u);
    EXPECT_LE(out.words.size(), 17u);
    EXPECT_EQ(out.words.front(), 0x20200u); // the overlay, then the steps
    for (std::size_t i = 1; i < out.words.size(); ++i) {
        EXPECT_EQ(out.words[i], 0x0201u);
    }
}

// ---- never a stuck button ----------------------------------------------------

// Buttons 1-4 held: a primary click, a secondary on BTN_MIDDLE, an on-the-fly
// gesture that has begun, a key combination.
Transform holdingFour(Output& out) {
    Transform t(withMappings({{0}, {2}, {7}, {3}}));
    for (std::uint16_t code : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE}) {
        t.frame(Events{key(code, 1), kSyn}, out);
    }
    t.frame(detent(1), out); // begins the gesture
    out.clear();
    return t;
}

TEST(TransformNeverStuck, ReleaseAllReleasesEverythingAndEndsTheGesture) {
    Output out;
    Transform t = holdingFour(out);
    t.releaseAll(out);
    EXPECT_EQ(out.events, (Events{key(BTN_LEFT, 0), key(BTN_MIDDLE, 0), kSyn}));
    EXPECT_EQ(out.words, (Words{0x40200}));
    EXPECT_FALSE(t.holdsAnything());
    // The late releases of the device change nothing.
    out.clear();
    t.frame(Events{key(BTN_LEFT, 0), key(BTN_MIDDLE, 0), kSyn}, out);
    EXPECT_TRUE(out.events.empty());
    EXPECT_TRUE(out.words.empty());
    // Nothing held: nothing to release.
    t.releaseAll(out);
    EXPECT_TRUE(out.events.empty());
}

TEST(TransformNeverStuck, ReleaseAllEndsAnUnbegunAdvancedGestureSilently) {
    Transform t(withMappings({{0}, {1}, {6, 3}}));
    run(t, pressOf(BTN_MIDDLE));
    Output out;
    t.releaseAll(out);
    EXPECT_TRUE(out.words.empty());
    EXPECT_FALSE(t.holdsAnything());
}

TEST(TransformNeverStuck, ResyncReleasesWhatWasReleasedMeanwhile) {
    Output out;
    Transform t = holdingFour(out);
    // After SYN_DROPPED the device holds only button 1 (and one that was
    // pressed meanwhile, which acts from its next press).
    const std::uint16_t down[] = {BTN_LEFT, BTN_EXTRA};
    t.resync(down, out);
    EXPECT_EQ(out.events, (Events{key(BTN_MIDDLE, 0), kSyn}));
    EXPECT_EQ(out.words, (Words{0x40200}));
    EXPECT_TRUE(t.holdsAnything());
    out.clear();
    t.frame(Events{key(BTN_RIGHT, 0), key(BTN_EXTRA, 0), kSyn}, out);
    EXPECT_TRUE(out.events.empty());
    t.frame(Events{key(BTN_LEFT, 0), kSyn}, out);
    EXPECT_EQ(out.events, (Events{key(BTN_LEFT, 0), kSyn}));
    EXPECT_FALSE(t.holdsAnything());
}

TEST(TransformNeverStuck, ResyncWithEverythingStillDownChangesNothing) {
    Output out;
    Transform t = holdingFour(out);
    const std::uint16_t down[] = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE};
    t.resync(down, out);
    EXPECT_TRUE(out.events.empty());
    EXPECT_TRUE(out.words.empty());
    EXPECT_TRUE(t.holdsAnything());
}

} // namespace
} // namespace zed::test
