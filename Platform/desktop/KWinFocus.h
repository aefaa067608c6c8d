// The application in front on KDE Plasma (5 and 6): a small KWin script,
// loaded over org.kde.KWin /Scripting, calls the agent back on the session
// bus at each activation (com.tovik.ZED.Focus.FocusChanged on
// /com/tovik/ZED/Focus). Loaded again when KWin restarts, unloaded when the
// tracker goes.
#pragma once

#include "Platform/core/Focus.h"

#include <systemd/sd-bus.h>

namespace zed {

inline constexpr const char* kFocusObjectPath = "/com/tovik/ZED/Focus";
inline constexpr const char* kFocusInterface = "com.tovik.ZED.Focus";
inline constexpr const char* kKWinScriptName = "zed-focus";

// session: the agent's session bus connection (it owns the agent's name);
// scriptPath: the script (share/zed/kwin/zed-focus.js beside the program
// when empty).
std::unique_ptr<FocusTracker> makeKWinFocusTracker(sd_bus* session, FocusCallback callback,
                                                   std::string* why,
                                                   const std::string& scriptPath = {});

} // namespace zed
