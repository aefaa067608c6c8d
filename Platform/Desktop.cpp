#include "Desktop.h"

#include <ctime>

namespace zed {

namespace {
// The desktop (libinput, the X server) opens a new input device only after
// udev has announced it; keys sent before then are lost.
constexpr long kKeyboardSettleNsec = 200L * 1000 * 1000;
} // namespace

std::unique_ptr<DesktopHidSystem> makeDesktopHidSystem() {
    auto keyboard = [](int* error) {
        auto kb = createUinputKeyboard(error);
        if (kb) {
            timespec settle{0, kKeyboardSettleNsec};
            nanosleep(&settle, nullptr);
        }
        return kb;
    };
    auto properties =
        std::make_shared<DesktopHidProperties>(std::make_unique<GSettingsDoubleClick>());
    return std::make_unique<DesktopHidSystem>(keyboard, std::make_unique<X11PointerControl>(),
                                              std::move(properties));
}

std::unique_ptr<Registry> makeDesktopRegistry(std::unique_ptr<Registry> inner,
                                              std::shared_ptr<HidPropertyTarget> hid) {
    return std::make_unique<DesktopRegistry>(std::move(inner), std::move(hid));
}

} // namespace zed
