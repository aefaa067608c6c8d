// Overlay windows on Wayland compositors that offer layer-shell (sway and the
// other wlroots desktops, KDE Plasma): a surface in the overlay layer that
// never takes the keyboard and has an empty input region (clicks go to
// whatever is below), drawn from shared memory at its output's scale.
#pragma once

#include "OverlayWindow.h"

#include <memory>
#include <string>

namespace zed {

// Margins of a layer surface anchored to its output's lower-left corner,
// in the output's logical pixels.
struct LayerMargins {
    int left = 0;
    int bottom = 0;

    bool operator==(const LayerMargins&) const = default;
};

// Where a window whose lower-left corner is at `origin` in drawing
// coordinates goes: the drawing origin is the output's lower-left corner, so
// the margins are the origin itself, rounded and kept within int range.
LayerMargins MarginsFromOrigin(OverlayPoint origin);

// An output's size in logical pixels: what xdg-output said when it said
// something, else the mode divided by the scale (rounded up, as compositors
// do); zero when nothing is known.
struct LogicalSize {
    int width = 0;
    int height = 0;
};
LogicalSize LogicalOutputSize(int modeWidth, int modeHeight, int scale, int xdgWidth,
                              int xdgHeight);

// The visible frame of an output of that logical size, in drawing
// coordinates. Layer-shell tells clients nothing about panels' exclusive
// zones, so the frame is the whole output.
OverlayRect VisibleFrameFromOutput(LogicalSize size);

// The scale a picture is drawn at for an output of the announced scale: at
// least 1, at most 8 (a bigger one is not a real output's, and would make
// buffers of gigabytes).
int PictureScaleForOutput(int outputScale);

struct WaylandConnection;

class WaylandOverlayService final : public OverlayWindowService {
public:
    // Connects to the compositor (an empty name means $WAYLAND_DISPLAY) and
    // learns what it offers, waiting a bounded time for its answers.
    explicit WaylandOverlayService(std::string displayName = {});
    ~WaylandOverlayService() override;
    WaylandOverlayService(const WaylandOverlayService&) = delete;
    WaylandOverlayService& operator=(const WaylandOverlayService&) = delete;

    // Whether windows can be made: connected, with layer-shell, a compositor
    // and shared memory. Else problem() says what is missing.
    bool usable() const;
    const std::string& problem() const { return problem_; }
    // The display's name as the compositor's socket is named.
    const std::string& displayName() const { return displayName_; }

    OverlayRect visibleFrame() override;
    std::unique_ptr<OverlayWindow> createWindow(int width, int height) override;

private:
    std::string displayName_;
    std::string problem_;
    std::shared_ptr<WaylandConnection> connection_;
};

} // namespace zed
