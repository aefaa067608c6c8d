// The desktop settings kept in GSettings come from a module loaded when one
// is first set, so that an agent that never sets one carries no GIO. The
// module holds the GSettings units; this side is the thin seam to it.
#pragma once

#include "PointerSettings.h"

#include <memory>

namespace zed {

inline constexpr const char* kGSettingsModule = "zed-gsettings.so";
// The module's entry for the double-click time: a new GSettingsDoubleClick
// on the desktop's own backend, owned by the caller.
inline constexpr const char* kDoubleClickEntry = "zed_make_double_click";
using DoubleClickEntry = DoubleClickSetting* (*)();

// The GSettings double-click time, loaded on the first set. Without the
// module (said once) the desktop keeps its own time.
class LazyDoubleClick : public DoubleClickSetting {
public:
    IOReturn setDoubleClickTime(std::uint64_t nanoseconds) override;

private:
    std::unique_ptr<DoubleClickSetting> loaded_;
    bool tried_ = false;
};

} // namespace zed
