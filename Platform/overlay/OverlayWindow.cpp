#include "OverlayWindow.h"

#include "GnomeShellOverlay.h"
#include "Platform/core/Log.h"
#include "WaylandOverlayWindow.h"
#include "X11OverlayWindow.h"

#include <cstdlib>
#include <cstring>
#include <string>

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
    explicit HeadlessOverlayService(std::string why) : why_(std::move(why)) {}

    OverlayRect visibleFrame() override { return {}; }

    std::unique_ptr<OverlayWindow> createWindow(int, int) override {
        if (!reported_) {
            reported_ = true;
            zed::log("overlay: no display (%s); the on-screen display is not shown", why_.c_str());
        }
        return nullptr;
    }

private:
    std::string why_;
    bool reported_ = false;
};

} // namespace

std::unique_ptr<OverlayWindowService> makeHeadlessOverlayService(std::string why) {
    return std::make_unique<HeadlessOverlayService>(std::move(why));
}

std::unique_ptr<OverlayWindowService> makeDefaultOverlayService() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0' ? value : nullptr;
    };
    // Why the backends tried first were passed over, for the message.
    std::string passed;
    if (const char* wayland = set("WAYLAND_DISPLAY")) {
        auto service = std::make_unique<WaylandOverlayService>(wayland);
        if (service->usable()) {
            zed::log("overlay: layer-shell on %s", wayland);
            return service;
        }
        passed = service->problem();
    } else {
        passed = "WAYLAND_DISPLAY is not set";
    }
    // On GNOME (no layer-shell) the shell draws the display for ZED's
    // extension, in front of full-screen windows too.
    if (const char* desktop = set("XDG_CURRENT_DESKTOP");
        desktop && std::strstr(desktop, "GNOME")) {
        std::string why;
        if (auto gnome = makeGnomeShellOverlayService(&why)) {
            zed::log("overlay: drawn by GNOME Shell's ZED extension (%s)", passed.c_str());
            return gnome;
        }
        passed += "; GNOME Shell's ZED extension does not answer: " + why;
    }
    if (const char* display = set("DISPLAY")) {
        zed::log("overlay: X11 on %s (%s)", display, passed.c_str());
        return std::make_unique<X11OverlayService>();
    }
    // The headless service says why when the first window is asked for.
    return makeHeadlessOverlayService(passed + "; DISPLAY is not set");
}

} // namespace zed
