#include "SensDisplay.h"

#include "Platform/core/Modules.h"

namespace zed {

// Defined by the drawing code where it is linked in; null otherwise.
[[gnu::weak]] std::unique_ptr<SensDisplay> MakeLinkedSensDisplay();

std::unique_ptr<SensDisplay> MakeSensDisplay() {
    if (&MakeLinkedSensDisplay != nullptr) {
        return MakeLinkedSensDisplay();
    }
    static const auto entry =
        reinterpret_cast<SensDisplayEntry>(moduleSymbol(kSensDisplayModule, kSensDisplayEntry));
    return std::unique_ptr<SensDisplay>(entry ? entry() : nullptr);
}

} // namespace zed
