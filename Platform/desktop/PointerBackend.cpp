#include "PointerBackend.h"

#include "GSettingsModule.h"
#include "KdePointerSettings.h"
#include "Platform/core/RunLoop.h"
#include "SwayPointerSettings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zed {

// --- The choice ---------------------------------------------------------------

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// XDG_CURRENT_DESKTOP is a colon-separated list, most specific first.
bool names(const std::string& currentDesktop, const std::string& desktop) {
    const std::string list = lower(currentDesktop);
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        if (list.compare(start, end - start, desktop) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

} // namespace

BackendChoice choosePointerBackend(const SessionFacts& facts) {
    const bool wayland = lower(facts.sessionType) == "wayland";
    if (names(facts.currentDesktop, "gnome") && facts.gnomeSchema) {
        return {PointerBackendKind::Gnome, DoubleClickKind::GnomeSettings};
    }
    if (names(facts.currentDesktop, "kde")) {
        return {wayland && facts.kwinAnswers ? PointerBackendKind::KWin : PointerBackendKind::X11,
                DoubleClickKind::KdeGlobals};
    }
    const bool sway = names(facts.currentDesktop, "sway");
    if (sway || (wayland && facts.currentDesktop.empty() && facts.swayAnswers)) {
        return {facts.swayAnswers ? PointerBackendKind::Sway : PointerBackendKind::X11,
                DoubleClickKind::None};
    }
    return {PointerBackendKind::X11, DoubleClickKind::GnomeSettings};
}

const char* desktopName(PointerBackendKind kind) {
    switch (kind) {
    case PointerBackendKind::Gnome:
        return "GNOME";
    case PointerBackendKind::KWin:
        return "KDE Plasma";
    case PointerBackendKind::Sway:
        return "sway";
    case PointerBackendKind::X11:
        break;
    }
    return "X11";
}

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

PointerBackend makePointerBackend(RunLoop* loop) {
    SessionFacts facts;
    facts.currentDesktop = env("XDG_CURRENT_DESKTOP");
    facts.sessionType = env("XDG_SESSION_TYPE");
    // GIO is loaded for this only where GNOME's settings could be used.
    facts.gnomeSchema = names(facts.currentDesktop, "gnome") && gnomeMouseSchemaInstalled();
    // Only the services the desktop could use are asked.
    const bool wayland = lower(facts.sessionType) == "wayland";
    BusPtr session;
    if (wayland && names(facts.currentDesktop, "kde")) {
        session = openBus(BusKind::Session);
        facts.kwinAnswers = session && KWinPointerControl::answers(session.get());
    }
    if (wayland && !env("SWAYSOCK").empty()) {
        facts.swayAnswers = SwayPointerControl::answers(env("SWAYSOCK"));
    }
    const BackendChoice choice = choosePointerBackend(facts);
    if (wayland && choice.pointer == PointerBackendKind::X11) {
        const std::string left =
            ", so the button mode and the pointer acceleration reach X applications only";
        if (names(facts.currentDesktop, "kde")) {
            OnceReporter("KDE Plasma")
                .say("KWin's input devices do not answer on the session bus" + left);
        } else if (choice.doubleClick == DoubleClickKind::None) {
            OnceReporter("sway").say("its IPC socket ($SWAYSOCK) does not answer" + left);
        } else if (names(facts.currentDesktop, "gnome")) {
            OnceReporter("GNOME").say(
                "its mouse settings (org.gnome.desktop.peripherals.mouse) are "
                "not installed" +
                left);
        }
    }

    PointerBackend backend{choice.pointer, nullptr, nullptr};
    switch (choice.pointer) {
    case PointerBackendKind::Gnome:
        backend.pointer = makeGnomePointerControl();
        if (!backend.pointer) {
            backend.kind = PointerBackendKind::X11;
            backend.pointer = std::make_unique<X11PointerControl>();
        }
        break;
    case PointerBackendKind::KWin:
        if (loop) {
            loop->attachBus(session.get());
        }
        backend.pointer = std::make_unique<KWinPointerControl>(std::move(session));
        break;
    case PointerBackendKind::Sway:
        backend.pointer = std::make_unique<SwayPointerControl>();
        break;
    case PointerBackendKind::X11:
        backend.pointer = std::make_unique<X11PointerControl>();
        break;
    }
    switch (choice.doubleClick) {
    case DoubleClickKind::GnomeSettings:
        backend.doubleClick = std::make_unique<LazyDoubleClick>();
        break;
    case DoubleClickKind::KdeGlobals:
        backend.doubleClick = std::make_unique<KdeGlobalsDoubleClick>();
        break;
    case DoubleClickKind::None:
        backend.doubleClick = std::make_unique<NoDoubleClick>("sway");
        break;
    }
    return backend;
}

} // namespace zed
