#include "Platform/keyboard/KeyboardLayout.h"

#include "Platform/core/Log.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <optional>
#include <string>

namespace zed::test {
namespace {

using namespace std::string_literals;

std::unique_ptr<XkbKeyboardLayout> layout(const char* name, const char* variant = "") {
    return XkbKeyboardLayout::fromNames({"evdev", "pc105", name, variant, ""});
}

// Layouts compiled by xkbcommon from the system's XKB data

TEST(XkbKeyboardLayout, NamesKeysByTheirUnshiftedCharacter) {
    auto us = layout("us");
    ASSERT_TRUE(us);
    EXPECT_EQ(us->unshiftedCharacter(KEY_A), U'a');
    EXPECT_EQ(us->unshiftedCharacter(KEY_1), U'1');
    EXPECT_EQ(us->unshiftedCharacter(KEY_SLASH), U'/');
    EXPECT_EQ(us->unshiftedCharacter(KEY_SPACE), U' ');
}

TEST(XkbKeyboardLayout, KeypadKeysAreNamedByTheirDigits) {
    auto us = layout("us");
    ASSERT_TRUE(us);
    EXPECT_EQ(us->unshiftedCharacter(KEY_KP1), U'1');
    EXPECT_EQ(us->unshiftedCharacter(KEY_KPDOT), U'.');
}

TEST(XkbKeyboardLayout, KeysThatTypeNothingGiveZero) {
    auto us = layout("us");
    ASSERT_TRUE(us);
    EXPECT_EQ(us->unshiftedCharacter(KEY_LEFTSHIFT), 0u);
    EXPECT_EQ(us->unshiftedCharacter(KEY_F1), 0u);
    EXPECT_EQ(us->unshiftedCharacter(KEY_MAX), 0u);
    EXPECT_EQ(us->unshiftedCharacter(0xFFFF), 0u) << "beyond every key code";
}

TEST(XkbKeyboardLayout, OtherLayoutsMoveTheCharacters) {
    auto de = layout("de");
    ASSERT_TRUE(de);
    EXPECT_EQ(de->unshiftedCharacter(KEY_Y), U'z');
    EXPECT_EQ(de->unshiftedCharacter(KEY_SEMICOLON), U'ö');
    EXPECT_EQ(de->unshiftedCharacter(KEY_GRAVE), U'^') << "a dead key shows its accent";
    auto fr = layout("fr");
    ASSERT_TRUE(fr);
    EXPECT_EQ(fr->unshiftedCharacter(KEY_Q), U'a');
    EXPECT_EQ(fr->unshiftedCharacter(KEY_1), U'&');
}

TEST(XkbKeyboardLayout, AnUnknownLayoutDoesNotCompile) {
    EXPECT_FALSE(layout("no-such-layout"));
}

TEST(XkbKeyboardLayout, WithoutADisplayTheServersNamesAreUnknown) {
    const char* old = std::getenv("DISPLAY");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("DISPLAY", "unix:9999", 1);
    EXPECT_FALSE(XkbKeyboardLayout::displayLayoutNames());
    EXPECT_TRUE(XkbKeyboardLayout::fromEnvironment()) << "the system defaults serve";
    if (saved) {
        setenv("DISPLAY", saved->c_str(), 1);
    } else {
        unsetenv("DISPLAY");
    }
}

TEST(XkbKeyboardLayout, TheXServersLayoutIsReadWhenThereIsOne) {
    if (!std::getenv("DISPLAY")) {
        GTEST_SKIP() << "needs an X server: run under xvfb-run";
    }
    auto names = XkbKeyboardLayout::displayLayoutNames();
    ASSERT_TRUE(names) << "the server names no layout";
    EXPECT_FALSE(names->layout.empty());
    EXPECT_TRUE(XkbKeyboardLayout::fromNames(*names));
}

// The process's layout

TEST(KeyboardLayout, AnInstalledLayoutIsTheCurrentOneUntilForgotten) {
    KeyboardLayout::install(
        std::make_unique<FixedKeyboardLayout>(std::map<std::uint16_t, char32_t>{{KEY_A, U'q'}}));
    EXPECT_EQ(KeyboardLayout::current().unshiftedCharacter(KEY_A), U'q');
    EXPECT_EQ(KeyboardLayout::current().unshiftedCharacter(KEY_B), 0u);
    KeyboardLayout::install(nullptr);
    const KeyboardLayout& found = KeyboardLayout::current();
    EXPECT_EQ(&found, &KeyboardLayout::current()) << "found once, then kept";
    KeyboardLayout::install(nullptr);
}

// The system log

TEST(SystemLog, TheSinkGetsEachFormattedLineWithEveryByte) {
    std::vector<std::string> lines;
    SystemLogSink before = setSystemLogSink([&](const std::string& l) { lines.push_back(l); });
    systemLog("keycode = %x, keychar = %c or %c", 0x2a, 'a', 0);
    systemLog("keys = %ld", 97L);
    systemLog("%s", "");
    SystemLogSink mine = setSystemLogSink(std::move(before));
    EXPECT_TRUE(mine);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"keycode = 2a, keychar = a or \0"s, "keys = 97", ""}));
}

} // namespace
} // namespace zed::test
