#include "KeyNames.h"

#include "Platform/core/ButtonMappings.h"
#include "Platform/keyboard/KeyCodes.h"
#include "Platform/keyboard/KeyboardLayout.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace zed {

using namespace buttons;

namespace {

struct FixedKey {
    std::uint16_t keyCode;
    const char* id;      // translated text, when the strings have it
    const char* english; // else this
};

// Keys whose caps do not depend on the keyboard layout, ordered by key code.
// Command is the desktop's Super key and Option its Alt key.
constexpr std::array kFixedKeys{
    FixedKey{36, "KEY_RETURN", "Return"},
    FixedKey{48, "KEY_TAB", "Tab"},
    FixedKey{49, "KEY_SPACE", "Space"},
    FixedKey{51, "KEY_BACKSPACE", "Backspace"},
    FixedKey{53, "KEY_ESC", "Esc"},
    FixedKey{kRightCommandKey, "KEY_SUPER", "Super"},
    FixedKey{kCommandKey, "KEY_SUPER", "Super"},
    FixedKey{kShiftKey, "KEY_SHIFT", "Shift"},
    FixedKey{kCapsLockKey, "KEY_CAPS_LOCK", "Caps Lock"},
    FixedKey{kOptionKey, "KEY_ALT", "Alt"},
    FixedKey{kControlKey, "KEY_CTRL", "Ctrl"},
    FixedKey{kRightShiftKey, "KEY_SHIFT", "Shift"},
    FixedKey{kRightOptionKey, "KEY_ALT", "Alt"},
    FixedKey{kRightControlKey, "KEY_CTRL", "Ctrl"},
    FixedKey{71, "KEY_NUM_LOCK", "Num Lock"},
    FixedKey{76, "KEY_ENTER", "Enter"},
    FixedKey{96, nullptr, "F5"},
    FixedKey{97, nullptr, "F6"},
    FixedKey{98, nullptr, "F7"},
    FixedKey{99, nullptr, "F3"},
    FixedKey{100, nullptr, "F8"},
    FixedKey{101, nullptr, "F9"},
    FixedKey{103, nullptr, "F11"},
    FixedKey{105, nullptr, "F13"},
    FixedKey{109, nullptr, "F10"},
    FixedKey{111, nullptr, "F12"},
    FixedKey{115, "KEY_HOME", "Home"},
    FixedKey{116, "KEY_PAGE_UP", "PgUp"},
    FixedKey{117, "KEY_DEL", "Del"},
    FixedKey{118, nullptr, "F4"},
    FixedKey{119, "KEY_END", "End"},
    FixedKey{120, nullptr, "F2"},
    FixedKey{121, "KEY_PAGE_DOWN", "PgDown"},
    FixedKey{122, nullptr, "F1"},
    FixedKey{123, "KEY_LEFT", "Left"},
    FixedKey{124, "KEY_RIGHT", "Right"},
    FixedKey{125, "KEY_DOWN", "Down"},
    FixedKey{126, "KEY_UP", "Up"},
};

// Modifiers in the order the desktop names them in a shortcut.
constexpr std::array<std::array<std::uint16_t, 2>, 4> kModifierOrder{{
    {kControlKey, kRightControlKey},
    {kOptionKey, kRightOptionKey},
    {kShiftKey, kRightShiftKey},
    {kCommandKey, kRightCommandKey},
}};

const QChar kDownArrow(0x2193);
const QChar kUpArrow(0x2191);

// The translation of an id, or the English text when the strings lack it.
QString translated(const char* id, const char* english) {
    const QString text = qtTrId(id);
    return text.isEmpty() || text == QLatin1String(id) ? QString::fromUtf8(english) : text;
}

// An item's value as the agent reads it: its leading digits.
std::uint16_t itemValue(const QString& item) {
    const QByteArray text = item.toLatin1();
    return static_cast<std::uint16_t>(std::strtol(text.constData(), nullptr, 10));
}

std::vector<std::uint16_t> items(const QString& keyList) {
    std::vector<std::uint16_t> values;
    if (keyList.isEmpty()) {
        return values;
    }
    const QStringList parts = keyList.split(QLatin1Char(kKeyListSeparator));
    for (const QString& part : parts) {
        values.push_back(itemValue(part));
    }
    return values;
}

// A key as it is written in a shortcut: letters in capitals.
QString shortcutName(std::uint16_t keyCode) {
    const QString name = keyName(keyCode);
    return name.size() == 1 ? name.toUpper() : name;
}

QString keysOf(const std::optional<std::string>& text) {
    return text ? QString::fromStdString(*text) : QString();
}

} // namespace

QString fixedKeyName(std::uint16_t virtualKey) {
    const auto named = std::lower_bound(
        kFixedKeys.begin(), kFixedKeys.end(), virtualKey,
        [](const FixedKey& key, std::uint16_t code) { return key.keyCode < code; });
    if (named == kFixedKeys.end() || named->keyCode != virtualKey) {
        return {};
    }
    return named->id ? translated(named->id, named->english) : QString::fromLatin1(named->english);
}

QString keyName(std::uint16_t virtualKey) {
    QString name = fixedKeyName(virtualKey);
    if (!name.isEmpty() || virtualKey > 0xFF) {
        return name;
    }
    const std::optional<std::uint16_t> evdev =
        evdevFromVirtualKey(static_cast<std::uint8_t>(virtualKey));
    const char32_t character = evdev ? KeyboardLayout::current().unshiftedCharacter(*evdev) : 0;
    return character ? QString::fromUcs4(&character, 1) : QString();
}

bool isModifierKeyCode(std::uint16_t virtualKey) {
    return virtualKey <= 0xFF && buttons::isModifierKey(static_cast<std::uint8_t>(virtualKey));
}

QString keyCombinationText(const QString& keyList) {
    const std::vector<std::uint16_t> codes = items(keyList);
    QStringList names;
    for (const auto& sides : kModifierOrder) {
        const bool held = std::any_of(codes.begin(), codes.end(), [&sides](std::uint16_t item) {
            const std::uint8_t code = keyOf(item);
            return code == sides[0] || code == sides[1];
        });
        if (held) {
            names << shortcutName(sides[0]);
        }
    }
    for (std::uint16_t item : codes) {
        const std::uint8_t code = keyOf(item);
        if (!isModifierKeyCode(code) || code == kCapsLockKey) {
            names << shortcutName(code);
        }
    }
    return names.join(QLatin1Char('+'));
}

QString keyMacroText(const QString& keyList) {
    QStringList names;
    for (std::uint16_t item : items(keyList)) {
        names << (isRelease(item) ? kUpArrow : kDownArrow) + shortcutName(keyOf(item));
    }
    return names.join(QLatin1Char(' '));
}

QString mappingSummary(const ButtonMapping& mapping, int button) {
    switch (mapping.mapType()) {
    case kPrimaryClick:
        return translated("BUTTONS_MAP_PRIMARY_CLICK", "Primary click");
    case kSecondaryClick:
        return translated("BUTTONS_MAP_SECONDARY_CLICK", "Secondary click");
    case kMiddleClick:
        return translated("BUTTONS_MAP_MIDDLE_CLICK", "Middle click");
    case kKeyCombination: {
        const QString keys = keyCombinationText(keysOf(mapping.keys()));
        return keys.isEmpty() ? translated("BUTTONS_SUMMARY_NO_KEYS", "No keys recorded") : keys;
    }
    case kKeyMacro: {
        const QString keys = keyMacroText(keysOf(mapping.macro()));
        return keys.isEmpty() ? translated("BUTTONS_SUMMARY_NO_KEYS", "No keys recorded") : keys;
    }
    case kOwnClick:
        // Buttons 4 and 5 give the side buttons' codes, which desktops and
        // browsers take as Back and Forward.
        if (button == 3) {
            return translated("BUTTONS_MAP_OWN_CLICK_BACK", "Back (the button's own click)");
        }
        if (button == 4) {
            return translated("BUTTONS_MAP_OWN_CLICK_FORWARD", "Forward (the button's own click)");
        }
        return translated("BUTTONS_MAP_OWN_CLICK", "The button's own click");
    case kAdvanced: {
        const QString steps = translated("BUTTONS_MAP_OTF_SENSITIVITY", "On-the-fly sensitivity");
        const ButtonMapping* second = mapping.advancedMapping();
        const int type = second ? second->mapType() : -1;
        if (type != kKeyCombination && type != kKeyMacro) {
            return steps;
        }
        //: %1: the click type, %2: the keys the button also types.
        return translated("BUTTONS_SUMMARY_ADVANCED", "%1, and %2")
            .arg(steps, mappingSummary(*second));
    }
    case kOnTheFlySensitivity:
        return translated("BUTTONS_MAP_OTF_SENSITIVITY", "On-the-fly sensitivity");
    default:
        //: %1: a map type this version does not know.
        return translated("BUTTONS_SUMMARY_UNKNOWN", "Map type %1").arg(mapping.mapType());
    }
}

} // namespace zed
