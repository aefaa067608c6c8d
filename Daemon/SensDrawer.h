// The on-screen display of the sensitivity values: a translucent rounded panel
// with one bar of ten squares and a label per value, in a click-through window
// above all others.
#pragma once

#include "Platform/overlay/DrawingHandles.h"
#include "Platform/overlay/OverlayWindow.h"
#include "Platform/overlay/SensDisplay.h"

#include <memory>
#include <string>

namespace zed {

class SensDrawer {
public:
    SensDrawer();
    virtual ~SensDrawer();
    SensDrawer(const SensDrawer&) = delete;
    SensDrawer& operator=(const SensDrawer&) = delete;

    // Nothing to prepare: the window is made by the first Draw.
    void BeginDraw();
    // Renders the values (one, or X then Y) and shows them. The first call makes
    // the window, sized to that picture for the rest of its life.
    void Draw(const double* values, unsigned count);
    // Closes the window, if there is one.
    void EndDraw();

private:
    std::unique_ptr<OverlayWindow> fOverlayWindow;
};

// A display drawn by a SensDrawer in this program: what the overlay module
// hands out, and what programs that link the drawing code use directly.
std::unique_ptr<SensDisplay> MakeLinkedSensDisplay();

// Panel geometry, in points of the drawing coordinates (y upward).
inline constexpr int kSliderHeight = 174;
inline constexpr int kSquaresPerColumn = 10;
inline constexpr double kLabelBaseY = kSliderHeight - 18;
// The widest picture cairo can hold: values beyond this many are not drawn.
inline constexpr unsigned kMaxSliderColumns = (32767 - 6) / 20;
// The largest scale a picture is drawn at.
inline constexpr int kMaxPictureScale = 8;

// Picture width for `count` values: 20 x count + 6.
int SliderImageWidth(unsigned count);
// The text above a value's bar: "%.1f", or "10" from 10.0 up.
std::string SliderLabel(double value);
// How many squares of a value's bar are lit: its integer part, within 0 ... 10.
int LitSquares(double value);
// The width of a label's box as it is drawn.
double SliderLabelWidth(const std::string& label);

// The panel's picture for the values: premultiplied ARGB32, 20 x count + 6 by
// 174 points, owned by the caller, at `scale` pixels a point (1 ... 8; a
// screen of doubled pixels wants 2). A null `values` counts as no values.
CairoSurfacePtr createSliderImage(const double* values, unsigned count, int scale = 1);

// The service SensDrawer makes its windows with. Until one is set, a default
// from makeDefaultOverlayService() is made on first use; nullptr goes back to it.
void SetOverlayWindowService(OverlayWindowService* service);
OverlayWindowService& CurrentOverlayWindowService();

} // namespace zed
