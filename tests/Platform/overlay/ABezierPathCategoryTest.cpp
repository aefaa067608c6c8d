#include "Daemon/ABezierPathCategory.h"

#include "PixelSupport.h"
#include "Platform/overlay/DrawingHandles.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace zed::test {
namespace {

using Kind = BezierPath::Element::Kind;

void ExpectArc(const BezierPath::Element& e, float cx, float cy, float r, float from, float to) {
    ASSERT_EQ(e.kind, Kind::Arc);
    EXPECT_FLOAT_EQ(e.centre.x, cx);
    EXPECT_FLOAT_EQ(e.centre.y, cy);
    EXPECT_FLOAT_EQ(e.radius, r);
    EXPECT_FLOAT_EQ(e.startAngle, from);
    EXPECT_FLOAT_EQ(e.endAngle, to);
}

// --- Shape -------------------------------------------------------------------

TEST(RoundRectPath, FourQuarterArcsCounterClockwiseFromTheLowerLeft) {
    BezierPath path = BezierPathWithRoundRectInRect({0, 0, 26, 174}, 10);
    const auto& e = path.Elements();
    ASSERT_EQ(e.size(), 5u);
    ExpectArc(e[0], 10, 10, 10, 180, 270);
    ExpectArc(e[1], 16, 10, 10, 270, 360);
    ExpectArc(e[2], 16, 164, 10, 0, 90);
    ExpectArc(e[3], 10, 164, 10, 90, 180);
    EXPECT_EQ(e[4].kind, Kind::Close);
    EXPECT_TRUE(path.IsClosed());
}

TEST(RoundRectPath, CornerCentresFollowAnOffsetRectangle) {
    BezierPath path = BezierPathWithRoundRectInRect({5, 20, 40, 30}, 4);
    const auto& e = path.Elements();
    ASSERT_EQ(e.size(), 5u);
    ExpectArc(e[0], 9, 24, 4, 180, 270);
    ExpectArc(e[1], 41, 24, 4, 270, 360);
    ExpectArc(e[2], 41, 46, 4, 0, 90);
    ExpectArc(e[3], 9, 46, 4, 90, 180);
}

// --- Radius clamp ------------------------------------------------------------

TEST(RoundRectPathRadius, IsClampedToHalfTheShorterSide) {
    BezierPath path = BezierPathWithRoundRectInRect({0, 0, 6, 174}, 10);
    const auto& e = path.Elements();
    ASSERT_EQ(e.size(), 5u);
    ExpectArc(e[0], 3, 3, 3, 180, 270);
    ExpectArc(e[1], 3, 3, 3, 270, 360);
    ExpectArc(e[2], 3, 171, 3, 0, 90);
    ExpectArc(e[3], 3, 171, 3, 90, 180);
}

TEST(RoundRectPathRadius, ShorterHeightClampsToo) {
    BezierPath path = BezierPathWithRoundRectInRect({0, 0, 100, 8}, 10);
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(path.Elements()[i].radius, 4) << i;
}

TEST(RoundRectPathRadius, ASmallRadiusIsKept) {
    BezierPath path = BezierPathWithRoundRectInRect({0, 0, 100, 100}, 2.5f);
    EXPECT_FLOAT_EQ(path.Elements()[0].radius, 2.5f);
}

TEST(RoundRectPathRadius, NegativeOrUndefinedRadiusGivesSquareCorners) {
    for (float r : {-5.0f, std::numeric_limits<float>::quiet_NaN()}) {
        BezierPath path = BezierPathWithRoundRectInRect({0, 0, 10, 10}, r);
        ExpectArc(path.Elements()[0], 0, 0, 0, 180, 270);
        ExpectArc(path.Elements()[2], 10, 10, 0, 0, 90);
    }
}

// --- Drawing -----------------------------------------------------------------

struct Flat {
    std::vector<std::pair<double, double>> points;
    bool closed = false;
};

// The path as cairo sees it, in drawing coordinates (y upward).
Flat Flatten(const BezierPath& path, int height) {
    CairoSurfacePtr s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
    CairoContextPtr cr(cairo_create(s.get()));
    cairo_translate(cr.get(), 0, height);
    cairo_scale(cr.get(), 1, -1);
    path.AddTo(cr.get());
    cairo_path_t* flat = cairo_copy_path_flat(cr.get());
    Flat out;
    for (int i = 0; i < flat->num_data; i += flat->data[i].header.length) {
        const cairo_path_data_t& d = flat->data[i];
        if (d.header.type == CAIRO_PATH_CLOSE_PATH)
            out.closed = true;
        else
            out.points.emplace_back(flat->data[i + 1].point.x, flat->data[i + 1].point.y);
    }
    cairo_path_destroy(flat);
    return out;
}

TEST(RoundRectPathDrawing, RunsCounterClockwiseAndCloses) {
    Flat flat = Flatten(BezierPathWithRoundRectInRect({0, 0, 26, 174}, 10), 174);
    ASSERT_GT(flat.points.size(), 8u);
    EXPECT_TRUE(flat.closed);
    double area = 0;
    for (std::size_t i = 0; i < flat.points.size(); ++i) {
        auto [x0, y0] = flat.points[i];
        auto [x1, y1] = flat.points[(i + 1) % flat.points.size()];
        area += x0 * y1 - x1 * y0;
    }
    // Positive: counter-clockwise with y upward. Close to the rounded area
    // (flattened arcs cut their corners a little).
    const double expected = 26.0 * 174 - (4 - M_PI) * 100;
    EXPECT_NEAR(area / 2, expected, 3.0);
}

TEST(RoundRectPathDrawing, StartsAtTheLeftEdgeAndJoinsEdgesStraight) {
    Flat flat = Flatten(BezierPathWithRoundRectInRect({0, 0, 26, 174}, 10), 174);
    ASSERT_FALSE(flat.points.empty());
    // The first arc starts at 180 degrees on the lower-left corner's circle.
    EXPECT_NEAR(flat.points.front().first, 0, 1e-6);
    EXPECT_NEAR(flat.points.front().second, 10, 1e-6);
    // Every point lies within the rectangle; the bottom edge runs along y = 0
    // between the corner arcs.
    bool bottomEdgeStart = false, bottomEdgeEnd = false;
    for (auto [x, y] : flat.points) {
        EXPECT_GE(x, -1e-6);
        EXPECT_LE(x, 26 + 1e-6);
        EXPECT_GE(y, -1e-6);
        EXPECT_LE(y, 174 + 1e-6);
        bottomEdgeStart |= std::abs(x - 10) < 1e-6 && std::abs(y) < 1e-6;
        bottomEdgeEnd |= std::abs(x - 16) < 1e-6 && std::abs(y) < 1e-6;
    }
    EXPECT_TRUE(bottomEdgeStart);
    EXPECT_TRUE(bottomEdgeEnd);
}

TEST(RoundRectPathDrawing, FillBlendsWithTheCurrentColour) {
    CairoSurfacePtr s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 40));
    CairoContextPtr cr(cairo_create(s.get()));
    cairo_set_source_rgba(cr.get(), 0, 0, 0, 0.5);
    cairo_paint(cr.get());
    cairo_translate(cr.get(), 0, 40);
    cairo_scale(cr.get(), 1, -1);
    cairo_set_source_rgba(cr.get(), 0, 0, 0, 0.5);
    BezierPathWithRoundRectInRect({0, 0, 40, 40}, 10).Fill(cr.get());
    cairo_surface_flush(s.get());
    // Over: 0.5 + 0.5 x 0.5 inside; the corner outside the arc keeps 0.5.
    EXPECT_NEAR(test::At(s.get(), 20, 20).a, 191, 1);
    EXPECT_NEAR(test::At(s.get(), 0, 0).a, 128, 1);
    EXPECT_NEAR(test::At(s.get(), 39, 39).a, 128, 1);
}

} // namespace
} // namespace zed::test
