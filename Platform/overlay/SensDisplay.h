// The sensitivity overlay as the agent drives it. Drawing it takes cairo,
// pango and X11, which the agent only needs once an overlay is shown: the
// display comes from a module loaded on first use, so an idle agent carries
// none of them.
#pragma once

#include <memory>

namespace zed {

class SensDisplay {
public:
    virtual ~SensDisplay() = default;
    virtual void BeginDraw() = 0;
    virtual void Draw(const double* values, unsigned count) = 0;
    virtual void EndDraw() = 0;
};

// A new display: from the drawing code linked into the program when it is
// (tests and tools), else from the module, loaded on the first call. Null,
// said once on standard error, when the module cannot be loaded.
std::unique_ptr<SensDisplay> MakeSensDisplay();

// The module's entry point: a new display the caller owns.
inline constexpr const char* kSensDisplayModule = "zed-sens-display.so";
inline constexpr const char* kSensDisplayEntry = "zed_make_sens_display";
using SensDisplayEntry = SensDisplay* (*)();

} // namespace zed
