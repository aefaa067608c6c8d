// Overlay windows drawn by GNOME Shell: ZED's shell extension shows the
// picture the agent sends it (com.tovik.ZED.ShellOverlay on the session bus)
// in the shell's own top layer, above full-screen windows and never taking a
// click. GNOME offers no layer-shell and lets only its own programs use its
// on-screen display, so the extension is the only way in front there.
#pragma once

#include "OverlayWindow.h"

#include <memory>
#include <string>

namespace zed {

inline constexpr const char* kShellOverlayPath = "/com/tovik/ZED/ShellOverlay";
inline constexpr const char* kShellOverlayInterface = "com.tovik.ZED.ShellOverlay";

// The service when the extension answers on the session bus; else null, with
// why in `why`. The shell shows one display at a time: a window's picture
// replaces the one shown, and closing a window hides it.
std::unique_ptr<OverlayWindowService> makeGnomeShellOverlayService(std::string* why);

} // namespace zed
