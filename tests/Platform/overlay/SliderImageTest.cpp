#include "Daemon/SensDrawer.h"
#include "PixelSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <pango/pangocairo.h>
#include <string>
#include <utility>
#include <vector>

namespace zed::test {
namespace {

using test::Argb;
using test::At;

constexpr int kBackgroundAlpha = 38; // 0.15 of 255
constexpr int kUnlitAlpha = 128;     // 0.5 of 255

CairoSurfacePtr Render(std::vector<double> values) {
    return createSliderImage(values.data(), static_cast<unsigned>(values.size()));
}

int Width(const CairoSurfacePtr& s) {
    return cairo_image_surface_get_width(s.get());
}
int Height(const CairoSurfacePtr& s) {
    return cairo_image_surface_get_height(s.get());
}

// Centre pixel of square k of column i.
Argb Square(const CairoSurfacePtr& s, int column, int k) {
    return At(s.get(), 7 + 20 * column + 6, 7 + 15 * k + 6);
}

int LitInColumn(const CairoSurfacePtr& s, int column) {
    int lit = 0;
    for (int k = 0; k < 10; ++k)
        lit += Square(s, column, k).isWhite() ? 1 : 0;
    return lit;
}

// --- Size --------------------------------------------------------------------

TEST(SliderImageSize, OneValueIs26By174) {
    auto s = Render({1.0});
    EXPECT_EQ(Width(s), 26);
    EXPECT_EQ(Height(s), 174);
    EXPECT_EQ(cairo_image_surface_get_format(s.get()), CAIRO_FORMAT_ARGB32);
}

TEST(SliderImageSize, TwoValuesAre46By174) {
    auto s = Render({3.4, 7.0});
    EXPECT_EQ(Width(s), 46);
    EXPECT_EQ(Height(s), 174);
}

TEST(SliderImageSize, NoValuesOrNullValuesGiveTheBareBackground) {
    auto none = createSliderImage(nullptr, 0);
    EXPECT_EQ(Width(none), 6);
    auto null = createSliderImage(nullptr, 5);
    EXPECT_EQ(Width(null), 6);
    EXPECT_EQ(At(null.get(), 3, 87).a, kBackgroundAlpha);
}

TEST(SliderImageSize, TooManyValuesAreCutToTheWidestPicture) {
    std::vector<double> values(5000, 4.0);
    auto s = createSliderImage(values.data(), static_cast<unsigned>(values.size()));
    ASSERT_EQ(cairo_surface_status(s.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(Width(s), static_cast<int>(20 * kMaxSliderColumns + 6));
    EXPECT_EQ(LitInColumn(s, static_cast<int>(kMaxSliderColumns) - 1), 4);
}

// --- Background --------------------------------------------------------------

// --- Scale -----------------------------------------------------------------------

class SliderImageScale : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(SliderImageScale, HasThatManyPixelsAPointAndTheSamePicture) {
    const auto [asked, scale] = GetParam();
    const double values[] = {3.4, 7.0};
    CairoSurfacePtr one = createSliderImage(values, 2);
    CairoSurfacePtr scaled = createSliderImage(values, 2, asked);
    ASSERT_EQ(cairo_image_surface_get_width(scaled.get()), 46 * scale);
    ASSERT_EQ(cairo_image_surface_get_height(scaled.get()), 174 * scale);
    // Inside every square (lit or not) and on the panel between them, each
    // pixel of a point is the point's colour at scale 1.
    for (int column = 0; column < 2; ++column)
        for (int k = 0; k < 10; ++k)
            for (const auto& [x, y] : {std::pair{7 + 20 * column + 6, 7 + 15 * k + 6},
                                       std::pair{7 + 20 * column + 14, 7 + 15 * k + 6}}) {
                const Argb want = At(one.get(), x, y);
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        const Argb got = At(scaled.get(), x * scale + dx, y * scale + dy);
                        EXPECT_EQ(got.a, want.a) << x << "," << y << " at scale " << scale;
                        EXPECT_EQ(got.r, want.r) << x << "," << y << " at scale " << scale;
                    }
            }
}

INSTANTIATE_TEST_SUITE_P(Scales, SliderImageScale,
                         testing::Values(std::pair{1, 1}, std::pair{2, 2}, std::pair{3, 3},
                                         std::pair{0, 1}, std::pair{-4, 1}, std::pair{99, 8}));

TEST(SliderImageScale, TheWidestPictureStaysWithinCairosLimit) {
    std::vector<double> values(kMaxSliderColumns, 5.0);
    CairoSurfacePtr picture =
        createSliderImage(values.data(), static_cast<unsigned>(values.size()), 8);
    EXPECT_EQ(cairo_surface_status(picture.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_LE(cairo_image_surface_get_width(picture.get()), 32767);
}

TEST(SliderImageBackground, IsBlackAtFifteenPercentPremultiplied) {
    auto s = Render({1.0});
    for (auto [x, y] : {std::pair{3, 87}, {0, 87}, {25, 87}, {13, 0}, {13, 173}}) {
        Argb p = At(s.get(), x, y);
        EXPECT_EQ(p.a, kBackgroundAlpha) << x << "," << y;
        EXPECT_TRUE(p.isBlack()) << x << "," << y;
    }
}

TEST(SliderImageBackground, CornersAreRoundedAndTransparent) {
    auto s = Render({1.0, 1.0});
    for (auto [x, y] : {std::pair{0, 0}, {45, 0}, {0, 173}, {45, 173}, {1, 1}, {44, 172}})
        EXPECT_EQ(At(s.get(), x, y).a, 0) << x << "," << y;
    // Partly covered where the arc crosses the pixel.
    const int edge = At(s.get(), 0, 6).a;
    EXPECT_GT(edge, 0);
    EXPECT_LT(edge, kBackgroundAlpha);
}

// --- Squares -----------------------------------------------------------------

TEST(SliderImageSquares, UnlitSquaresReplaceTheBackgroundInCopyMode) {
    auto s = Render({1.0});
    for (int k = 1; k < 10; ++k) {
        Argb p = Square(s, 0, k);
        // Blending over the background would give about 146.
        EXPECT_NEAR(p.a, kUnlitAlpha, 1) << k;
        EXPECT_TRUE(p.isBlack()) << k;
    }
}

TEST(SliderImageSquares, SquaresAreTwelvePixelsOnAFifteenPixelPitch) {
    auto s = Render({0.0});
    for (int k = 0; k < 10; ++k) {
        const int y = 7 + 15 * k;
        // Inside, corners included, and nothing soft at the edges.
        for (auto [dx, dy] : {std::pair{0, 0}, {11, 0}, {0, 11}, {11, 11}})
            EXPECT_NEAR(At(s.get(), 7 + dx, y + dy).a, kUnlitAlpha, 1) << k;
        EXPECT_EQ(At(s.get(), 6, y + 5).a, kBackgroundAlpha) << k;
        EXPECT_EQ(At(s.get(), 19, y + 5).a, kBackgroundAlpha) << k;
        EXPECT_EQ(At(s.get(), 12, y - 1).a, kBackgroundAlpha) << k;
        EXPECT_EQ(At(s.get(), 12, y + 12).a, kBackgroundAlpha) << k;
    }
}

TEST(SliderImageSquares, LitSquaresAreOpaqueWhite) {
    auto s = Render({10.0});
    for (int k = 0; k < 10; ++k) {
        EXPECT_TRUE(Square(s, 0, k).isWhite()) << k;
        EXPECT_TRUE(At(s.get(), 7, 7 + 15 * k).isWhite()) << k;
        EXPECT_TRUE(At(s.get(), 18, 18 + 15 * k).isWhite()) << k;
    }
}

TEST(SliderImageSquares, LitCountIsTheTruncatedValue) {
    EXPECT_EQ(LitInColumn(Render({1.0}), 0), 1);
    EXPECT_EQ(LitInColumn(Render({5.99}), 0), 5);
    EXPECT_EQ(LitInColumn(Render({9.97}), 0), 9);
    EXPECT_EQ(LitInColumn(Render({10.0}), 0), 10);
    EXPECT_EQ(LitInColumn(Render({2.0}), 0), 2);
}

TEST(SliderImageSquares, LitSquaresAreTheLowest) {
    auto s = Render({5.99});
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(Square(s, 0, k).isWhite(), k < 5) << k;
}

TEST(SliderImageSquares, EachColumnShowsItsOwnValueLeftToRight) {
    auto s = Render({3.4, 7.0});
    EXPECT_EQ(LitInColumn(s, 0), 3);
    EXPECT_EQ(LitInColumn(s, 1), 7);
    // Column 1 starts at x = 27.
    EXPECT_EQ(At(s.get(), 26, 7).a, kBackgroundAlpha);
    EXPECT_TRUE(At(s.get(), 27, 7).isWhite());
}

TEST(SliderImageSquares, LitSquaresCastAOnePixelShadowStraightDown) {
    auto s = Render({1.0});
    // Black at one third over the background: 1/3 + 0.15 x 2/3 of 255.
    for (int x = 7; x <= 18; ++x) {
        Argb p = At(s.get(), x, 6);
        EXPECT_NEAR(p.a, 110, 2) << x;
        EXPECT_TRUE(p.isBlack()) << x;
    }
    // Not sideways, and not two pixels down.
    EXPECT_EQ(At(s.get(), 6, 6).a, kBackgroundAlpha);
    EXPECT_EQ(At(s.get(), 19, 6).a, kBackgroundAlpha);
    EXPECT_EQ(At(s.get(), 12, 5).a, kBackgroundAlpha);
    // Unlit squares have none.
    EXPECT_EQ(At(s.get(), 12, 7 + 15 - 1).a, kBackgroundAlpha);
}

TEST(SliderImageSquares, OddValuesNeverCrashAndLightWithinTheBar) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto s = Render({nan, -3.0, inf, 1e300, -inf, 0.0});
    ASSERT_EQ(Width(s), 126);
    EXPECT_EQ(LitInColumn(s, 0), 0);
    EXPECT_EQ(LitInColumn(s, 1), 0);
    EXPECT_EQ(LitInColumn(s, 2), 10);
    EXPECT_EQ(LitInColumn(s, 3), 10);
    EXPECT_EQ(LitInColumn(s, 4), 0);
    EXPECT_EQ(LitInColumn(s, 5), 0);
}

// --- Labels ------------------------------------------------------------------

TEST(SliderLabelText, IsTheValueWithOneDecimal) {
    EXPECT_EQ(SliderLabel(1.0), "1.0");
    EXPECT_EQ(SliderLabel(3.4), "3.4");
    EXPECT_EQ(SliderLabel(5.99), "6.0");
    EXPECT_EQ(SliderLabel(9.94), "9.9");
}

TEST(SliderLabelText, RoundsUpToTenPointZeroJustBelowTen) {
    EXPECT_EQ(SliderLabel(9.97), "10.0");
}

TEST(SliderLabelText, IsTenWithoutDecimalsFromTenUp) {
    EXPECT_EQ(SliderLabel(10.0), "10");
    EXPECT_EQ(SliderLabel(12.5), "10");
    EXPECT_EQ(SliderLabel(std::numeric_limits<double>::infinity()), "10");
}

TEST(SliderLabelText, OddValuesStillGiveText) {
    EXPECT_EQ(SliderLabel(-2.25), "-2.2");
    EXPECT_FALSE(SliderLabel(std::numeric_limits<double>::quiet_NaN()).empty());
    EXPECT_FALSE(SliderLabel(-1e300).empty());
}

// Columns [left, right] of text pixels (opaque white) in the label band.
struct InkSpan {
    int left = -1;
    int right = -1;
    int bottom = -1; // lowest row, drawing coordinates
    int top = -1;
    int width() const { return right - left + 1; }
};

InkSpan TextInk(cairo_surface_t* s, int x0, int x1, int y0, int y1) {
    InkSpan ink;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            Argb p = At(s, x, y);
            if (p.a >= 200 && p.r >= 200 && p.r == p.g && p.g == p.b) {
                ink.left = ink.left < 0 ? x : std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.bottom = ink.bottom < 0 ? y : std::min(ink.bottom, y);
                ink.top = std::max(ink.top, y);
            }
        }
    return ink;
}

// The label alone, drawn independently of the overlay's code: bold sans at 12
// pixels, white on transparent.
InkSpan ExpectedInk(const std::string& text) {
    CairoSurfacePtr s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 80, 30));
    CairoContextPtr cr(cairo_create(s.get()));
    PangoLayoutPtr layout(pango_cairo_create_layout(cr.get()));
    PangoFontDescriptionPtr font(pango_font_description_from_string("Sans Bold"));
    pango_font_description_set_absolute_size(font.get(), 12 * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_move_to(cr.get(), 10, 5);
    pango_cairo_show_layout(cr.get(), layout.get());
    cairo_surface_flush(s.get());
    return TextInk(s.get(), 0, 79, 0, 29);
}

void ExpectLabel(const std::vector<double>& values, int column, const std::string& text) {
    SCOPED_TRACE(text);
    auto s = Render(values);
    const int x = 7 + 20 * column;
    // Centred over the column by its box width. Neighbouring labels touch, so
    // only the box's own columns are looked at.
    const double boxWidth = SliderLabelWidth(text);
    const double boxLeft = x + (12 - boxWidth) / 2;
    const int left = std::max(0, static_cast<int>(std::ceil(boxLeft)));
    const int right = std::min(Width(s) - 1, static_cast<int>(std::floor(boxLeft + boxWidth)) - 1);
    // Rows from just above the top square to the top of the picture.
    InkSpan ink = TextInk(s.get(), left, right, 155, 173);
    InkSpan expected = ExpectedInk(text);
    ASSERT_GE(ink.left, 0) << "no label drawn";
    EXPECT_NEAR(ink.width(), expected.width(), 1);
    EXPECT_NEAR(ink.top - ink.bottom, expected.top - expected.bottom, 1);
    EXPECT_NEAR((ink.left + ink.right + 1) / 2.0, x + 6, 1.5);
    // Above the box's lower edge at 156, within the picture.
    EXPECT_GE(ink.bottom, 156);
    EXPECT_LE(ink.top, 173);
}

TEST(SliderLabelDrawing, ShowsOnePointZeroForOne) {
    ExpectLabel({1.0}, 0, "1.0");
}
TEST(SliderLabelDrawing, ShowsSixPointZeroForFivePointNineNine) {
    ExpectLabel({5.99}, 0, "6.0");
}
TEST(SliderLabelDrawing, ShowsTenPointZeroForNinePointNineSeven) {
    ExpectLabel({9.97}, 0, "10.0");
}
TEST(SliderLabelDrawing, ShowsTenForTen) {
    ExpectLabel({10.0}, 0, "10");
}
TEST(SliderLabelDrawing, EachColumnHasItsOwnLabel) {
    ExpectLabel({3.4, 7.0}, 0, "3.4");
    ExpectLabel({3.4, 7.0}, 1, "7.0");
}

TEST(SliderLabelDrawing, IsTwelvePointsWithOnePointPerPixel) {
    // Digits of a 12-pixel bold sans are about 9 pixels high; the 96-dpi
    // default would make them 12.
    auto s = Render({10.0});
    InkSpan ink = TextInk(s.get(), 0, 25, 155, 173);
    ASSERT_GE(ink.left, 0);
    EXPECT_GE(ink.top - ink.bottom + 1, 8);
    EXPECT_LE(ink.top - ink.bottom + 1, 10);
    EXPECT_GT(SliderLabelWidth("10.0"), SliderLabelWidth("10"));
}

TEST(SliderLabelDrawing, ShadowFallsBlurredToTheLowerRight) {
    auto s = Render({10.0});
    InkSpan ink = TextInk(s.get(), 0, 25, 155, 173);
    ASSERT_GE(ink.left, 0);
    // Shadow: darker than the background and not white.
    int left = 1000, right = -1, bottom = 1000;
    for (int y = 140; y <= 173; ++y)
        for (int x = 0; x < 26; ++x) {
            Argb p = At(s.get(), x, y);
            if (y > 155 && p.a > kBackgroundAlpha + 8 && p.r == 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                bottom = std::min(bottom, y);
            }
        }
    ASSERT_GE(right, 0) << "no shadow";
    EXPECT_GE(right - ink.right, 2);
    EXPECT_LE(right - ink.right, 6);
    EXPECT_GE(ink.bottom - bottom, 1);
    EXPECT_GE(left, ink.left - 2);
}

} // namespace
} // namespace zed::test
