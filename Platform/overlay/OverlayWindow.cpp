#include "OverlayWindow.h"

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
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        return makeHeadlessOverlayService();
    return std::make_unique<X11OverlayService>();
}

} // namespace zed
