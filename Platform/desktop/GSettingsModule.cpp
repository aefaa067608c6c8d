#include "GSettingsModule.h"

#include "Platform/core/Modules.h"

namespace zed {

IOReturn LazyDoubleClick::setDoubleClickTime(std::uint64_t nanoseconds) {
    if (!tried_) {
        tried_ = true;
        const auto entry =
            reinterpret_cast<DoubleClickEntry>(moduleSymbol(kGSettingsModule, kDoubleClickEntry));
        loaded_.reset(entry ? entry() : nullptr);
    }
    return loaded_ ? loaded_->setDoubleClickTime(nanoseconds) : kIOReturnUnsupported;
}

bool gnomeMouseSchemaInstalled() {
    const auto entry =
        reinterpret_cast<GnomeSchemaEntry>(moduleSymbol(kGSettingsModule, kGnomeSchemaEntry));
    return entry && entry();
}

std::unique_ptr<PointerControl> makeGnomePointerControl() {
    const auto entry =
        reinterpret_cast<GnomePointerEntry>(moduleSymbol(kGSettingsModule, kGnomePointerEntry));
    return std::unique_ptr<PointerControl>(entry ? entry() : nullptr);
}

} // namespace zed
