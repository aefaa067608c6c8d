// Which of the desktop's pointer-settings backends the HID system uses: chosen
// once per session from XDG_CURRENT_DESKTOP, XDG_SESSION_TYPE and which of
// the desktops' services answer.
#pragma once

#include "PointerSettings.h"

#include <memory>
#include <string>

namespace zed {

class RunLoop;

enum class PointerBackendKind {
    Gnome, // GSettings org.gnome.desktop.peripherals.mouse
    KWin,  // KDE Plasma on Wayland: KWin's input devices on the session bus
    Sway,  // sway's IPC socket
    X11,   // the X server's core pointer (X applications only under Wayland)
};

enum class DoubleClickKind {
    GnomeSettings, // GSettings double-click, which GTK applications read too
    KdeGlobals,    // kdeglobals [KDE] DoubleClickInterval
    None,          // the desktop has no such setting
};

// What the choice depends on.
struct SessionFacts {
    std::string currentDesktop; // XDG_CURRENT_DESKTOP, e.g. "ubuntu:GNOME"
    std::string sessionType;    // XDG_SESSION_TYPE: "wayland", "x11", "tty", ...
    bool gnomeSchema = false;   // the GNOME mouse schema is installed
    bool kwinAnswers = false;   // KWin's input device manager answers
    bool swayAnswers = false;   // $SWAYSOCK accepts a connection
};

struct BackendChoice {
    PointerBackendKind pointer;
    DoubleClickKind doubleClick;
    bool operator==(const BackendChoice&) const = default;
};

// GNOME (either session type) with its schema: GSettings for everything.
// KDE Plasma: kdeglobals for the double-click time; KWin for the pointer on
// Wayland when it answers, else the X server. sway (named, or a Wayland
// session naming no desktop whose $SWAYSOCK answers): its IPC, and no
// double-click time. Anything else keeps the X server and GNOME's
// double-click setting.
BackendChoice choosePointerBackend(const SessionFacts& facts);

// A readable name of the desktop a choice stands for, for messages.
const char* desktopName(PointerBackendKind kind);

struct PointerBackend {
    PointerBackendKind kind;
    std::unique_ptr<PointerControl> pointer;
    std::unique_ptr<DoubleClickSetting> doubleClick;
};

// Looks at this session (the environment, the session bus, $SWAYSOCK) and
// builds the backends chosen. loop (may be null) dispatches the session bus
// connection that follows KWin's devices.
PointerBackend makePointerBackend(RunLoop* loop);

} // namespace zed
