#include "Daemon/ABezierPathCategory.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zed {

PathRect InsetRect(const PathRect& rect, float inset) {
    return {rect.x + inset, rect.y + inset, rect.width - 2 * inset, rect.height - 2 * inset};
}

void BezierPath::AppendArc(PathPoint centre, float radius, float startAngle, float endAngle) {
    Element arc;
    arc.kind = Element::Kind::Arc;
    arc.centre = centre;
    arc.radius = radius;
    arc.startAngle = startAngle;
    arc.endAngle = endAngle;
    fElements.push_back(arc);
}

void BezierPath::ClosePath() {
    fElements.push_back(Element{});
}

bool BezierPath::IsClosed() const {
    return !fElements.empty() && fElements.back().kind == Element::Kind::Close;
}

void BezierPath::AddTo(cairo_t* cr) const {
    constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
    cairo_new_path(cr);
    for (const Element& e : fElements) {
        if (e.kind == Element::Kind::Close) {
            cairo_close_path(cr);
            continue;
        }
        // A negative radius would be no circle at all.
        const double radius = std::max(0.0f, e.radius);
        // cairo_arc draws the line from the current point to the arc's start.
        cairo_arc(cr, e.centre.x, e.centre.y, radius, e.startAngle * kRadiansPerDegree,
                  e.endAngle * kRadiansPerDegree);
    }
}

void BezierPath::Fill(cairo_t* cr) const {
    AddTo(cr);
    cairo_fill(cr);
}

BezierPath BezierPathWithRoundRectInRect(PathRect rect, float radius) {
    // A negative or undefined radius draws square corners.
    const auto shorter = static_cast<float>(std::min(rect.width, rect.height));
    radius = std::max(0.0f, std::min(radius, 0.5f * shorter));
    const PathRect inner = InsetRect(rect, radius);
    BezierPath path;
    path.AppendArc({inner.MinX(), inner.MinY()}, radius, 180, 270);
    path.AppendArc({inner.MaxX(), inner.MinY()}, radius, 270, 360);
    path.AppendArc({inner.MaxX(), inner.MaxY()}, radius, 0, 90);
    path.AppendArc({inner.MinX(), inner.MaxY()}, radius, 90, 180);
    path.ClosePath();
    return path;
}

} // namespace zed
