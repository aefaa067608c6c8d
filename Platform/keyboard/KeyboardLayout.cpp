#include "KeyboardLayout.h"

#include <cstdlib>
#include <string_view>
#include <vector>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

namespace zed {

namespace {

struct ContextDeleter {
    void operator()(xkb_context* c) const { xkb_context_unref(c); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
};
struct StateDeleter {
    void operator()(xkb_state* s) const { xkb_state_unref(s); }
};
struct ConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
// xcb replies are malloc'ed.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;

std::unique_ptr<KeyboardLayout>& installed() {
    static std::unique_ptr<KeyboardLayout> layout;
    return layout;
}

// Knows no key: what remains when not even the defaults compile.
class EmptyLayout : public KeyboardLayout {
public:
    char32_t unshiftedCharacter(std::uint16_t) const override { return 0; }
};

// Dead keys type nothing by themselves; their cap shows the accent.
char32_t deadKeyCharacter(xkb_keysym_t sym) {
    switch (sym) {
    case XKB_KEY_dead_grave:
        return U'`';
    case XKB_KEY_dead_acute:
        return U'\u00B4';
    case XKB_KEY_dead_circumflex:
        return U'^';
    case XKB_KEY_dead_tilde:
        return U'~';
    case XKB_KEY_dead_diaeresis:
        return U'\u00A8';
    case XKB_KEY_dead_abovering:
        return U'\u00B0';
    case XKB_KEY_dead_cedilla:
        return U'\u00B8';
    case XKB_KEY_dead_caron:
        return U'\u02C7';
    default:
        return 0;
    }
}

const char* orNull(const std::string& s) {
    return s.empty() ? nullptr : s.c_str();
}

} // namespace

struct XkbKeyboardLayout::Handles {
    std::unique_ptr<xkb_context, ContextDeleter> context;
    std::unique_ptr<xkb_keymap, KeymapDeleter> keymap;
    std::unique_ptr<xkb_state, StateDeleter> state;
};

KeyboardLayout::~KeyboardLayout() = default;

const KeyboardLayout& KeyboardLayout::current() {
    std::unique_ptr<KeyboardLayout>& layout = installed();
    if (!layout) {
        layout = XkbKeyboardLayout::fromEnvironment();
        if (!layout) {
            layout = std::make_unique<EmptyLayout>();
        }
    }
    return *layout;
}

void KeyboardLayout::install(std::unique_ptr<KeyboardLayout> layout) {
    installed() = std::move(layout);
}

XkbKeyboardLayout::XkbKeyboardLayout(std::unique_ptr<Handles> handles)
    : handles_(std::move(handles)) {}

XkbKeyboardLayout::~XkbKeyboardLayout() = default;

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::fromNames(const XkbLayoutNames& names) {
    auto handles = std::make_unique<Handles>();
    handles->context.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!handles->context) {
        return nullptr;
    }
    const xkb_rule_names rules{orNull(names.rules), orNull(names.model), orNull(names.layout),
                               orNull(names.variant), orNull(names.options)};
    handles->keymap.reset(
        xkb_keymap_new_from_names(handles->context.get(), &rules, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!handles->keymap) {
        return nullptr;
    }
    handles->state.reset(xkb_state_new(handles->keymap.get()));
    if (!handles->state) {
        return nullptr;
    }
    // Num Lock on: keypad keys are named by their digits, as on their caps.
    const xkb_mod_index_t numLock =
        xkb_keymap_mod_get_index(handles->keymap.get(), XKB_MOD_NAME_NUM);
    if (numLock != XKB_MOD_INVALID && numLock < 32) {
        xkb_state_update_mask(handles->state.get(), 0, 0, xkb_mod_mask_t{1} << numLock, 0, 0, 0);
    }
    return std::unique_ptr<XkbKeyboardLayout>(new XkbKeyboardLayout(std::move(handles)));
}

std::unique_ptr<XkbLayoutNames> XkbKeyboardLayout::displayLayoutNames() {
    int screenNumber = 0;
    std::unique_ptr<xcb_connection_t, ConnectionDeleter> connection(
        xcb_connect(nullptr, &screenNumber));
    if (!connection || xcb_connection_has_error(connection.get())) {
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem <= 0) {
        return nullptr;
    }
    const xcb_window_t root = screens.data->root;

    static constexpr std::string_view kProperty = "_XKB_RULES_NAMES";
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection.get(),
        xcb_intern_atom(connection.get(), 1, static_cast<std::uint16_t>(kProperty.size()),
                        kProperty.data()),
        nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return nullptr;
    }
    Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        connection.get(),
        xcb_get_property(connection.get(), 0, root, atom->atom, XCB_ATOM_STRING, 0, 1024),
        nullptr));
    if (!property || property->format != 8) {
        return nullptr;
    }
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(property.get()));
    const int length = xcb_get_property_value_length(property.get());
    // Rules, model, layout, variant and options, each ended by a NUL.
    std::vector<std::string> parts;
    std::string part;
    for (int i = 0; i < length; ++i) {
        if (bytes[i] == '\0') {
            parts.push_back(std::move(part));
            part.clear();
        } else {
            part.push_back(bytes[i]);
        }
    }
    if (!part.empty()) {
        parts.push_back(std::move(part));
    }
    parts.resize(5);
    if (parts[2].empty()) {
        return nullptr;
    }
    auto names = std::make_unique<XkbLayoutNames>();
    *names = {parts[0], parts[1], parts[2], parts[3], parts[4]};
    return names;
}

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::fromEnvironment() {
    if (auto names = displayLayoutNames()) {
        if (auto layout = fromNames(*names)) {
            return layout;
        }
    }
    return fromNames({});
}

char32_t XkbKeyboardLayout::unshiftedCharacter(std::uint16_t evdevCode) const {
    // XKB numbers keys as X11 does: the evdev code plus 8.
    const xkb_keycode_t key = xkb_keycode_t{evdevCode} + 8;
    if (key > xkb_keymap_max_keycode(handles_->keymap.get())) {
        return 0;
    }
    if (const std::uint32_t c = xkb_state_key_get_utf32(handles_->state.get(), key); c != 0) {
        return static_cast<char32_t>(c);
    }
    return deadKeyCharacter(xkb_state_key_get_one_sym(handles_->state.get(), key));
}

char32_t FixedKeyboardLayout::unshiftedCharacter(std::uint16_t evdevCode) const {
    auto it = characters_.find(evdevCode);
    return it == characters_.end() ? 0 : it->second;
}

} // namespace zed
