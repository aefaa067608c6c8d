// Names of keys as the Linux desktop writes them in its shortcut editors
// ("Ctrl", "Super", "Space", arrows as "Left"), in the pane's language, and
// readable summaries of a button's mapping ("Ctrl+C", "↓Ctrl ↓C ↑C ↑Ctrl").
// The stored key lists keep their virtual key codes: only the names change.
#pragma once

#include <QString>
#include <cstdint>

class ButtonMapping;

namespace zed {

// The desktop's name of a key whose cap does not depend on the keyboard
// layout, translated; the empty text for every other key.
QString fixedKeyName(std::uint16_t virtualKey);

// The fixed name, else the unshifted character of the current keyboard
// layout, else the empty text.
QString keyName(std::uint16_t virtualKey);

// Whether the key is one of the modifiers (Super, Shift, Caps Lock, Alt, Ctrl,
// either side).
bool isModifierKeyCode(std::uint16_t virtualKey);

// A key list of presses (map type 3) as the desktop writes a shortcut:
// modifiers first, Ctrl, Alt, Shift, Super, then the other keys in the
// order recorded, letters in capitals, joined by "+". Empty for no keys.
QString keyCombinationText(const QString& keyList);

// A key list of presses and releases (map type 4) with a direction mark in
// front of each key, joined by spaces.
QString keyMacroText(const QString& keyList);

// What a button does in words: the click type, or its keys or macro; a
// mapping of the advanced type adds its second mapping's keys. The click
// types' names are those of the page's map-type menu of the button (its
// index 0-6; -1 for none), so buttons 4 and 5 name Back and Forward.
QString mappingSummary(const ButtonMapping& mapping, int button = -1);

} // namespace zed
