#include "OverlayWindow.h"

#include "GnomeShellOverlay.h"
#include "Platform/core/Log.h"
#include "X11OverlayWindow.h"

#include <cstdlib>
#include <cstring>

namespace zed {

std::uint32_t PictureView::pixel(int x, int y) const {
    if (empty() || x < 0 || y < 0 || x >= width || y >= height)
        return 0;
    std::uint32_t value;
    std::memcpy(&value, data + static_cast<std::size_t>(y) * stride + 4 * x, sizeof value);
    return value;
}

namespace {

class HeadlessOverlayService final : public OverlayWindowService {
public:
    OverlayRect visibleFrame() override { return {}; }

    std::unique_ptr<OverlayWindow> createWindow(int, int) override {
        if (!reported_) {
            reported_ = true;
            zed::log(
                "overlay: no display (DISPLAY is not set); the on-screen display is not shown");
        }
        return nullptr;
    }

private:
    bool reported_ = false;
};

} // namespace

std::unique_ptr<OverlayWindowService> makeHeadlessOverlayService() {
    return std::make_unique<HeadlessOverlayService>();
}

std::unique_ptr<OverlayWindowService> makeDefaultOverlayService() {
    // On GNOME the shell draws the display for ZED's extension, in front of
    // full-screen windows too; without the extension it is X11's, as on
    // every other desktop.
    std::string notGnome;
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    if (desktop && std::strstr(desktop, "GNOME")) {
        if (auto gnome = makeGnomeShellOverlayService(&notGnome)) {
            zed::log("overlay: drawn by GNOME Shell's ZED extension");
            return gnome;
        }
        notGnome = " (GNOME Shell's ZED extension does not answer: " + notGnome + ")";
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        return makeHeadlessOverlayService();
    zed::log("overlay: an X11 window on %s%s", display, notGnome.c_str());
    return std::make_unique<X11OverlayService>();
}

} // namespace zed
