// Overlay windows on an X11 display (xcb): override-redirect, 32-bit ARGB
// visual, transparent background, empty input shape (clicks go to whatever is
// below), raised and marked above other windows.
#pragma once

#include "OverlayWindow.h"

#include <memory>
#include <span>
#include <string>

namespace zed {

// A rectangle in X11's coordinates: origin at the top left, y growing downward.
struct X11Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The visible frame in drawing coordinates for a work area of a screen
// `screenHeight` pixels high.
OverlayRect VisibleFrameFromWorkArea(const X11Rect& workArea, int screenHeight);

// The top-left corner in X11 coordinates of a window `windowHeight` pixels high
// whose lower-left corner is at `origin` in drawing coordinates.
X11Rect TopLeftFromOrigin(OverlayPoint origin, int windowWidth, int windowHeight, int screenHeight);

// The work area to use from a _NET_WORKAREA property (four cardinals per
// desktop) and the current desktop; the whole screen when the property is
// missing or does not hold that desktop.
X11Rect WorkAreaFromProperty(std::span<const std::uint32_t> workAreas, std::uint32_t desktop,
                             int screenWidth, int screenHeight);

struct X11Connection;

class X11OverlayService final : public OverlayWindowService {
public:
    // An empty display name means $DISPLAY. The connection is made when the
    // first window is asked for, and made anew after the server went away.
    explicit X11OverlayService(std::string displayName = {});
    ~X11OverlayService() override;
    X11OverlayService(const X11OverlayService&) = delete;
    X11OverlayService& operator=(const X11OverlayService&) = delete;

    OverlayRect visibleFrame() override;
    std::unique_ptr<OverlayWindow> createWindow(int width, int height) override;

private:
    bool connected();
    void reportOnce(const std::string& message);

    std::string displayName_;
    std::shared_ptr<X11Connection> connection_;
    bool reported_ = false;
};

} // namespace zed
