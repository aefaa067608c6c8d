#include "Platform/keyboard/KeyCodes.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <set>

namespace zed::test {
using namespace zed;

TEST(KeyCodeTable, EveryEntryTranslatesBothWays) {
    for (const KeyCodePair& p : keyCodeTable()) {
        EXPECT_EQ(evdevFromVirtualKey(p.virtualKey), p.evdev) << int(p.virtualKey);
        EXPECT_EQ(virtualKeyFromEvdev(p.evdev), p.virtualKey) << p.evdev;
    }
}

TEST(KeyCodeTable, IsOneToOne) {
    std::set<int> virtualKeys, evdevCodes;
    for (const KeyCodePair& p : keyCodeTable()) {
        EXPECT_TRUE(virtualKeys.insert(p.virtualKey).second) << "virtual " << int(p.virtualKey);
        EXPECT_TRUE(evdevCodes.insert(p.evdev).second) << "evdev " << p.evdev;
    }
}

TEST(KeyCodeTable, CoversEveryVirtualKeyButTheUnusedCodes) {
    const std::set<int> unused{52, 66, 68, 70, 77, 102, 104, 108, 112, 127};
    for (int vk = 0; vk < 128; ++vk) {
        EXPECT_EQ(evdevFromVirtualKey(static_cast<std::uint8_t>(vk)).has_value(),
                  unused.count(vk) == 0)
            << vk;
    }
}

TEST(KeyCodeTable, KeysByPosition) {
    EXPECT_EQ(evdevFromVirtualKey(0), KEY_A);
    EXPECT_EQ(evdevFromVirtualKey(1), KEY_S);
    EXPECT_EQ(evdevFromVirtualKey(6), KEY_Z);
    EXPECT_EQ(evdevFromVirtualKey(10), KEY_102ND);
    EXPECT_EQ(evdevFromVirtualKey(22), KEY_6);
    EXPECT_EQ(evdevFromVirtualKey(23), KEY_5);
    EXPECT_EQ(evdevFromVirtualKey(29), KEY_0);
    EXPECT_EQ(evdevFromVirtualKey(36), KEY_ENTER);
    EXPECT_EQ(evdevFromVirtualKey(50), KEY_GRAVE);
    EXPECT_EQ(evdevFromVirtualKey(51), KEY_BACKSPACE);
    EXPECT_EQ(evdevFromVirtualKey(117), KEY_DELETE);
    EXPECT_EQ(evdevFromVirtualKey(114), KEY_INSERT);
}

TEST(KeyCodeTable, ModifiersAreTheLeftKeysAndTheRightOnesStayApart) {
    EXPECT_EQ(evdevFromVirtualKey(55), KEY_LEFTMETA);
    EXPECT_EQ(evdevFromVirtualKey(56), KEY_LEFTSHIFT);
    EXPECT_EQ(evdevFromVirtualKey(57), KEY_CAPSLOCK);
    EXPECT_EQ(evdevFromVirtualKey(58), KEY_LEFTALT);
    EXPECT_EQ(evdevFromVirtualKey(59), KEY_LEFTCTRL);
    EXPECT_EQ(evdevFromVirtualKey(54), KEY_RIGHTMETA);
    EXPECT_EQ(evdevFromVirtualKey(60), KEY_RIGHTSHIFT);
    EXPECT_EQ(evdevFromVirtualKey(61), KEY_RIGHTALT);
    EXPECT_EQ(evdevFromVirtualKey(62), KEY_RIGHTCTRL);
    EXPECT_EQ(evdevFromVirtualKey(63), KEY_FN);
}

TEST(KeyCodeTable, FunctionNavigationAndKeypadKeys) {
    const std::pair<int, int> expected[] = {
        {122, KEY_F1},     {120, KEY_F2},        {99, KEY_F3},      {118, KEY_F4},
        {96, KEY_F5},      {97, KEY_F6},         {98, KEY_F7},      {100, KEY_F8},
        {101, KEY_F9},     {109, KEY_F10},       {103, KEY_F11},    {111, KEY_F12},
        {105, KEY_F13},    {107, KEY_F14},       {113, KEY_F15},    {106, KEY_F16},
        {64, KEY_F17},     {79, KEY_F18},        {80, KEY_F19},     {90, KEY_F20},
        {123, KEY_LEFT},   {124, KEY_RIGHT},     {125, KEY_DOWN},   {126, KEY_UP},
        {115, KEY_HOME},   {119, KEY_END},       {116, KEY_PAGEUP}, {121, KEY_PAGEDOWN},
        {65, KEY_KPDOT},   {67, KEY_KPASTERISK}, {69, KEY_KPPLUS},  {75, KEY_KPSLASH},
        {76, KEY_KPENTER}, {78, KEY_KPMINUS},    {81, KEY_KPEQUAL}, {82, KEY_KP0},
        {89, KEY_KP7},     {91, KEY_KP8},        {92, KEY_KP9},     {71, KEY_NUMLOCK},
    };
    for (const auto& [vk, evdev] : expected) {
        EXPECT_EQ(evdevFromVirtualKey(static_cast<std::uint8_t>(vk)), evdev) << vk;
    }
}

TEST(KeyCodeTable, CodesOutsideTheTableHaveNoCounterpart) {
    EXPECT_FALSE(evdevFromVirtualKey(52));
    EXPECT_FALSE(evdevFromVirtualKey(128));
    EXPECT_FALSE(evdevFromVirtualKey(255));
    EXPECT_FALSE(virtualKeyFromEvdev(KEY_POWER));
    EXPECT_FALSE(virtualKeyFromEvdev(KEY_RESERVED));
    EXPECT_FALSE(virtualKeyFromEvdev(KEY_MAX + 1));
    EXPECT_FALSE(virtualKeyFromEvdev(0xFFFF));
}

TEST(X11Keycodes, AreTheEvdevCodesPlusEight) {
    EXPECT_EQ(virtualKeyFromX11Keycode(KEY_A + 8), 0);
    EXPECT_EQ(virtualKeyFromX11Keycode(KEY_LEFTSHIFT + 8), 56);
    EXPECT_EQ(virtualKeyFromX11Keycode(KEY_KPENTER + 8), 76);
    EXPECT_EQ(x11KeycodeFromVirtualKey(0), KEY_A + 8u);
    EXPECT_EQ(x11KeycodeFromVirtualKey(126), KEY_UP + 8u);
}

TEST(X11Keycodes, OutsideTheirRangeHaveNoKey) {
    EXPECT_FALSE(virtualKeyFromX11Keycode(0));
    EXPECT_FALSE(virtualKeyFromX11Keycode(7));
    EXPECT_FALSE(virtualKeyFromX11Keycode(0xFFFFFFFF));
    // Fn's evdev code is beyond the 255 key codes an X server has.
    EXPECT_FALSE(x11KeycodeFromVirtualKey(63));
    EXPECT_FALSE(x11KeycodeFromVirtualKey(52));
}

TEST(ModifierKeys, CarryTheHidSystemsFlagMasks) {
    std::map<int, std::uint32_t> masks;
    for (const ModifierKey& m : modifierKeys()) {
        masks[m.virtualKey] = m.flagMask;
    }
    EXPECT_EQ(masks,
              (std::map<int, std::uint32_t>{
                  {55, 0x100000}, {56, 0x20000}, {57, 0x10000}, {58, 0x80000}, {59, 0x40000}}));
}

} // namespace zed::test
