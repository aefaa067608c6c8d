// The application in front on sway: the focused window of GET_TREE, then
// each "focus" window event of a connection subscribed to them; known by its
// app_id, else its X class (XWayland), else its process's name.
#pragma once

#include "Platform/core/Focus.h"

namespace zed {

// socketPath: sway's IPC socket ($SWAYSOCK when empty).
std::unique_ptr<FocusTracker> makeSwayFocusTracker(RunLoop& loop, FocusCallback callback,
                                                   std::string* why,
                                                   const std::string& socketPath = {});

// The name of the process's program; empty when it has none (or is gone).
std::string processName(long pid);

} // namespace zed
