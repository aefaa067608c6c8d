// A small bezier path type for the overlay's drawing, and the rounded-rectangle
// factory the overlay's background is made with.
#pragma once

#include "Platform/overlay/OverlayWindow.h"

#include <cairo.h>
#include <vector>

namespace zed {

// The overlay window's geometry types: one point and one rectangle type for
// the drawing and the window alike.
using PathPoint = OverlayPoint;
using PathRect = OverlayRect;

// The rectangle shrunk by `inset` on every side.
PathRect InsetRect(const PathRect& rect, float inset);

// A path in drawing coordinates (y upward): arcs and a final close. Angles are
// in degrees and arcs run counter-clockwise.
class BezierPath {
public:
    struct Element {
        enum class Kind { Arc, Close };
        Kind kind = Kind::Close;
        PathPoint centre;
        float radius = 0;
        float startAngle = 0;
        float endAngle = 0;
    };

    // Joins the arc to the end of the path so far with a straight line.
    void AppendArc(PathPoint centre, float radius, float startAngle, float endAngle);
    void ClosePath();

    const std::vector<Element>& Elements() const { return fElements; }
    bool IsClosed() const;

    // Replaces cr's current path with this one. The context must already map
    // drawing coordinates (y upward), so counter-clockwise stays so on screen.
    void AddTo(cairo_t* cr) const;
    // Fills the path with cr's current source and operator.
    void Fill(cairo_t* cr) const;

private:
    std::vector<Element> fElements;
};

// A closed rounded rectangle: the radius is clamped to half the shorter side;
// quarter arcs at the lower-left, lower-right, upper-right and upper-left
// corners, joined by the straight edges.
BezierPath BezierPathWithRoundRectInRect(PathRect rect, float radius);

} // namespace zed
