#include "KeyCodes.h"

#include <array>
#include <linux/input-event-codes.h>

namespace zed {

namespace {

// Ordered by virtual key code. The layout is the host platform's ANSI
// keyboard by position, so a stored "A" is the key where A is on a US
// keyboard, whatever the layout prints on it.
constexpr std::array kTable{
    KeyCodePair{0, KEY_A},
    KeyCodePair{1, KEY_S},
    KeyCodePair{2, KEY_D},
    KeyCodePair{3, KEY_F},
    KeyCodePair{4, KEY_H},
    KeyCodePair{5, KEY_G},
    KeyCodePair{6, KEY_Z},
    KeyCodePair{7, KEY_X},
    KeyCodePair{8, KEY_C},
    KeyCodePair{9, KEY_V},
    KeyCodePair{10, KEY_102ND}, // the ISO key beside the left Shift
    KeyCodePair{11, KEY_B},
    KeyCodePair{12, KEY_Q},
    KeyCodePair{13, KEY_W},
    KeyCodePair{14, KEY_E},
    KeyCodePair{15, KEY_R},
    KeyCodePair{16, KEY_Y},
    KeyCodePair{17, KEY_T},
    KeyCodePair{18, KEY_1},
    KeyCodePair{19, KEY_2},
    KeyCodePair{20, KEY_3},
    KeyCodePair{21, KEY_4},
    KeyCodePair{22, KEY_6},
    KeyCodePair{23, KEY_5},
    KeyCodePair{24, KEY_EQUAL},
    KeyCodePair{25, KEY_9},
    KeyCodePair{26, KEY_7},
    KeyCodePair{27, KEY_MINUS},
    KeyCodePair{28, KEY_8},
    KeyCodePair{29, KEY_0},
    KeyCodePair{30, KEY_RIGHTBRACE},
    KeyCodePair{31, KEY_O},
    KeyCodePair{32, KEY_U},
    KeyCodePair{33, KEY_LEFTBRACE},
    KeyCodePair{34, KEY_I},
    KeyCodePair{35, KEY_P},
    KeyCodePair{36, KEY_ENTER},
    KeyCodePair{37, KEY_L},
    KeyCodePair{38, KEY_J},
    KeyCodePair{39, KEY_APOSTROPHE},
    KeyCodePair{40, KEY_K},
    KeyCodePair{41, KEY_SEMICOLON},
    KeyCodePair{42, KEY_BACKSLASH},
    KeyCodePair{43, KEY_COMMA},
    KeyCodePair{44, KEY_SLASH},
    KeyCodePair{45, KEY_N},
    KeyCodePair{46, KEY_M},
    KeyCodePair{47, KEY_DOT},
    KeyCodePair{48, KEY_TAB},
    KeyCodePair{49, KEY_SPACE},
    KeyCodePair{50, KEY_GRAVE},
    KeyCodePair{51, KEY_BACKSPACE},
    KeyCodePair{53, KEY_ESC},
    KeyCodePair{buttons::kRightCommandKey, KEY_RIGHTMETA},
    KeyCodePair{buttons::kCommandKey, KEY_LEFTMETA},
    KeyCodePair{buttons::kShiftKey, KEY_LEFTSHIFT},
    KeyCodePair{buttons::kCapsLockKey, KEY_CAPSLOCK},
    KeyCodePair{buttons::kOptionKey, KEY_LEFTALT},
    KeyCodePair{buttons::kControlKey, KEY_LEFTCTRL},
    KeyCodePair{buttons::kRightShiftKey, KEY_RIGHTSHIFT},
    KeyCodePair{buttons::kRightOptionKey, KEY_RIGHTALT},
    KeyCodePair{buttons::kRightControlKey, KEY_RIGHTCTRL},
    KeyCodePair{buttons::kFunctionKey, KEY_FN},
    KeyCodePair{64, KEY_F17},
    KeyCodePair{65, KEY_KPDOT},
    KeyCodePair{67, KEY_KPASTERISK},
    KeyCodePair{69, KEY_KPPLUS},
    // Clear sits where PC keyboards have Num Lock, and sends it on Linux.
    KeyCodePair{71, KEY_NUMLOCK},
    KeyCodePair{72, KEY_VOLUMEUP},
    KeyCodePair{73, KEY_VOLUMEDOWN},
    KeyCodePair{74, KEY_MUTE},
    KeyCodePair{75, KEY_KPSLASH},
    KeyCodePair{76, KEY_KPENTER},
    KeyCodePair{78, KEY_KPMINUS},
    KeyCodePair{79, KEY_F18},
    KeyCodePair{80, KEY_F19},
    KeyCodePair{81, KEY_KPEQUAL},
    KeyCodePair{82, KEY_KP0},
    KeyCodePair{83, KEY_KP1},
    KeyCodePair{84, KEY_KP2},
    KeyCodePair{85, KEY_KP3},
    KeyCodePair{86, KEY_KP4},
    KeyCodePair{87, KEY_KP5},
    KeyCodePair{88, KEY_KP6},
    KeyCodePair{89, KEY_KP7},
    KeyCodePair{90, KEY_F20},
    KeyCodePair{91, KEY_KP8},
    KeyCodePair{92, KEY_KP9},
    KeyCodePair{93, KEY_YEN},
    KeyCodePair{94, KEY_RO},
    KeyCodePair{95, KEY_KPJPCOMMA},
    KeyCodePair{96, KEY_F5},
    KeyCodePair{97, KEY_F6},
    KeyCodePair{98, KEY_F7},
    KeyCodePair{99, KEY_F3},
    KeyCodePair{100, KEY_F8},
    KeyCodePair{101, KEY_F9},
    KeyCodePair{103, KEY_F11},
    KeyCodePair{105, KEY_F13},
    KeyCodePair{106, KEY_F16},
    KeyCodePair{107, KEY_F14},
    KeyCodePair{109, KEY_F10},
    KeyCodePair{110, KEY_COMPOSE}, // the context-menu key
    KeyCodePair{111, KEY_F12},
    KeyCodePair{113, KEY_F15},
    KeyCodePair{114, KEY_INSERT}, // Help sits where PC keyboards have Insert
    KeyCodePair{115, KEY_HOME},
    KeyCodePair{116, KEY_PAGEUP},
    KeyCodePair{117, KEY_DELETE},
    KeyCodePair{118, KEY_F4},
    KeyCodePair{119, KEY_END},
    KeyCodePair{120, KEY_F2},
    KeyCodePair{121, KEY_PAGEDOWN},
    KeyCodePair{122, KEY_F1},
    KeyCodePair{123, KEY_LEFT},
    KeyCodePair{124, KEY_RIGHT},
    KeyCodePair{125, KEY_DOWN},
    KeyCodePair{126, KEY_UP},
};

// Direct lookups both ways, built from the one table.
struct Index {
    std::array<std::int32_t, 128> toEvdev{};
    std::array<std::int16_t, KEY_MAX + 1> toVirtual{};
    constexpr Index() {
        toEvdev.fill(-1);
        toVirtual.fill(-1);
        for (const KeyCodePair& p : kTable) {
            toEvdev[p.virtualKey] = p.evdev;
            toVirtual[p.evdev] = p.virtualKey;
        }
    }
};
constexpr Index kIndex;

} // namespace

std::span<const KeyCodePair> keyCodeTable() {
    return kTable;
}

std::optional<std::uint16_t> evdevFromVirtualKey(std::uint8_t virtualKey) {
    if (virtualKey >= kIndex.toEvdev.size() || kIndex.toEvdev[virtualKey] < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(kIndex.toEvdev[virtualKey]);
}

std::optional<std::uint8_t> virtualKeyFromEvdev(std::uint16_t evdev) {
    if (evdev >= kIndex.toVirtual.size() || kIndex.toVirtual[evdev] < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(kIndex.toVirtual[evdev]);
}

std::optional<std::uint8_t> virtualKeyFromX11Keycode(std::uint32_t x11Keycode) {
    if (x11Keycode < kX11KeycodeOffset || x11Keycode - kX11KeycodeOffset > KEY_MAX) {
        return std::nullopt;
    }
    return virtualKeyFromEvdev(static_cast<std::uint16_t>(x11Keycode - kX11KeycodeOffset));
}

std::optional<std::uint32_t> x11KeycodeFromVirtualKey(std::uint8_t virtualKey) {
    const auto evdev = evdevFromVirtualKey(virtualKey);
    // X11 key codes stop at 255.
    if (!evdev || *evdev + kX11KeycodeOffset > 255) {
        return std::nullopt;
    }
    return *evdev + kX11KeycodeOffset;
}

std::span<const ModifierKey> modifierKeys() {
    return buttons::kFlagModifiers;
}

} // namespace zed
