// The characters that keys type in the user's keyboard layout, for naming
// keys whose caps the layout decides (letters, digits, punctuation). Keys are
// named by their evdev code; the layout comes from xkbcommon.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace zed {

class KeyboardLayout {
public:
    virtual ~KeyboardLayout();

    // The character the key types with no modifier held (Num Lock on, so the
    // keypad gives its digits); 0 when it types none.
    virtual char32_t unshiftedCharacter(std::uint16_t evdevCode) const = 0;

    // The process's layout: on first use the X server's layout when there is
    // a display that names one, else the system's XKB defaults.
    static const KeyboardLayout& current();
    // Replaces it (tests, or a program that knows better); null forgets it.
    static void install(std::unique_ptr<KeyboardLayout> layout);
};

// The names of an XKB layout, as XKB's rules resolve them; empty parts take
// the system's defaults.
struct XkbLayoutNames {
    std::string rules, model, layout, variant, options;
};

class XkbKeyboardLayout : public KeyboardLayout {
public:
    // Null when xkbcommon cannot compile a keymap for these names.
    static std::unique_ptr<XkbKeyboardLayout> fromNames(const XkbLayoutNames& names);
    // The X server's layout names (the root window's _XKB_RULES_NAMES, as
    // setxkbmap leaves them), or none when there is no display or no names.
    static std::unique_ptr<XkbLayoutNames> displayLayoutNames();
    // The X server's layout, else the system defaults; null when neither compiles.
    static std::unique_ptr<XkbKeyboardLayout> fromEnvironment();

    ~XkbKeyboardLayout() override;
    char32_t unshiftedCharacter(std::uint16_t evdevCode) const override;

private:
    struct Handles;
    explicit XkbKeyboardLayout(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> handles_;
};

// A layout given as a table, for tests; keys not in it type nothing.
class FixedKeyboardLayout : public KeyboardLayout {
public:
    explicit FixedKeyboardLayout(std::map<std::uint16_t, char32_t> characters)
        : characters_(std::move(characters)) {}
    char32_t unshiftedCharacter(std::uint16_t evdevCode) const override;

private:
    std::map<std::uint16_t, char32_t> characters_;
};

} // namespace zed
