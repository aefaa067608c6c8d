// The application in front on an X server: the window the window manager
// names in the root's _NET_ACTIVE_WINDOW, known by its desktop-file id
// (_GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE), else its WM_CLASS class,
// else its process's name (_NET_WM_PID). Follows the property's changes.
#pragma once

#include "Platform/core/Focus.h"

namespace zed {

std::unique_ptr<FocusTracker> makeX11FocusTracker(RunLoop& loop, FocusCallback callback,
                                                  std::string* why);

} // namespace zed
