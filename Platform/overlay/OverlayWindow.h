// Overlay window service: a borderless, transparent, click-through window that
// floats above every other window and shows a picture (the agent's on-screen
// display of sensitivity values).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zed {

// Drawing coordinates: origin at the lower left of the main screen, y growing
// upward, one unit per pixel.
struct OverlayPoint {
    double x = 0;
    double y = 0;
};

struct OverlayRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double MinX() const { return x; }
    double MinY() const { return y; }
    double MaxX() const { return x + width; }
    double MaxY() const { return y + height; }
};

// A borrowed picture: premultiplied ARGB32 pixels in native byte order (the
// layout of a cairo image surface), rows from the top.
struct PictureView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // bytes per row

    bool empty() const { return data == nullptr || width <= 0 || height <= 0; }
    std::uint32_t pixel(int x, int y) const;
};

class OverlayWindow {
public:
    virtual ~OverlayWindow() = default; // closes the window

    // The content size in drawing units, fixed when the window is made.
    virtual int width() const = 0;
    virtual int height() const = 0;

    // Device pixels per drawing unit of the pictures show() wants: a picture
    // filling the window is width() x height() times this. A screen of
    // doubled pixels makes it 2; X11 windows always say 1.
    virtual int scale() { return 1; }

    // Moves the window so that its lower-left corner is at `origin`.
    virtual void setFrameOrigin(OverlayPoint origin) = 0;

    // Shows `picture` (drawn at scale()) with its lower-left corner at the
    // window's (whatever lies outside the window is cut off, window area the
    // picture leaves free is transparent), then shows the window in front of
    // all others.
    virtual void show(const PictureView& picture) = 0;
};

class OverlayWindowService {
public:
    virtual ~OverlayWindowService() = default;

    // The main screen's area without panels and docks; all zero without a screen.
    virtual OverlayRect visibleFrame() = 0;

    // A new, still hidden, overlay window with a content size of width x height,
    // or nullptr when there is no display to put it on (said once on stderr).
    virtual std::unique_ptr<OverlayWindow> createWindow(int width, int height) = 0;
};

// A service for machines without a display: no windows, one message on stderr
// (with `why`) the first time one is asked for.
std::unique_ptr<OverlayWindowService>
makeHeadlessOverlayService(std::string why = "DISPLAY is not set");

// The service for the desktop the process runs on, said once on stderr with
// why: layer-shell when WAYLAND_DISPLAY names a compositor that offers it,
// else X11 when DISPLAY names a display (XWayland or a real X server), else
// the headless one. The Wayland compositor is asked here; nothing connects to
// an X display before the first window is asked for.
std::unique_ptr<OverlayWindowService> makeDefaultOverlayService();

} // namespace zed
