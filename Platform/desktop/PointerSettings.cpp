#include "PointerSettings.h"

namespace zed {

// Here rather than beside a backend: the agent and the GSettings module both
// need it, and only the module links GIO.
DoubleClickSetting::~DoubleClickSetting() = default;

} // namespace zed
