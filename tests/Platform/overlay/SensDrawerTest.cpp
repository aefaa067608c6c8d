#include "Daemon/SensDrawer.h"

#include "FakeOverlayWindow.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace zed::test {
namespace {

class SensDrawerTest : public testing::Test {
protected:
    void SetUp() override { SetOverlayWindowService(&service); }
    void TearDown() override { SetOverlayWindowService(nullptr); }

    FakeOverlayService service{OverlayRect{50, 40, 1000, 700}};
};

const double kTwo[] = {3.4, 7.0};
const double kOne[] = {5.0};

// --- Window lifetime ---------------------------------------------------------

TEST_F(SensDrawerTest, NoWindowBeforeTheFirstDraw) {
    SensDrawer drawer;
    drawer.BeginDraw();
    EXPECT_EQ(service.createRequests(), 0);
    drawer.Draw(kTwo, 2);
    ASSERT_EQ(service.windows().size(), 1u);
    EXPECT_EQ(service.openWindows(), 1);
}

TEST_F(SensDrawerTest, DrawWithoutBeginDrawWorks) {
    SensDrawer drawer;
    drawer.Draw(kOne, 1);
    ASSERT_EQ(service.windows().size(), 1u);
    EXPECT_EQ(service.windows()[0]->pictures.size(), 1u);
}

TEST_F(SensDrawerTest, LaterDrawsReuseTheWindow) {
    SensDrawer drawer;
    drawer.BeginDraw();
    for (int i = 0; i < 5; ++i)
        drawer.Draw(kTwo, 2);
    EXPECT_EQ(service.createRequests(), 1);
    EXPECT_EQ(service.windows()[0]->pictures.size(), 5u);
}

TEST_F(SensDrawerTest, EndDrawClosesAndForgetsTheWindow) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    drawer.EndDraw();
    EXPECT_TRUE(service.windows()[0]->closed);
    EXPECT_EQ(service.openWindows(), 0);
    // A Draw after EndDraw starts a new window.
    drawer.Draw(kOne, 1);
    ASSERT_EQ(service.windows().size(), 2u);
    EXPECT_EQ(service.windows()[1]->width, 26);
    EXPECT_EQ(service.openWindows(), 1);
}

TEST_F(SensDrawerTest, EndDrawWithoutWindowOrTwiceDoesNothing) {
    SensDrawer drawer;
    drawer.EndDraw();
    drawer.Draw(kOne, 1);
    drawer.EndDraw();
    drawer.EndDraw();
    EXPECT_EQ(service.windows().size(), 1u);
    EXPECT_EQ(service.openWindows(), 0);
}

TEST_F(SensDrawerTest, DestroyingWhileShownClosesTheWindow) {
    {
        SensDrawer drawer;
        drawer.BeginDraw();
        drawer.Draw(kTwo, 2);
        EXPECT_EQ(service.openWindows(), 1);
    }
    EXPECT_EQ(service.openWindows(), 0);
}

// --- Size and position -------------------------------------------------------

TEST_F(SensDrawerTest, WindowHasTheFirstPicturesSize) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    EXPECT_EQ(service.windows()[0]->width, 46);
    EXPECT_EQ(service.windows()[0]->height, 174);
}

TEST_F(SensDrawerTest, OneValueAfterTwoKeepsTheWidth) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    drawer.Draw(kOne, 1);
    ASSERT_EQ(service.createRequests(), 1);
    const FakeWindowRecord& window = *service.windows()[0];
    EXPECT_EQ(window.width, 46);
    ASSERT_EQ(window.pictures.size(), 2u);
    EXPECT_EQ(window.pictures[1].width, 26);
}

TEST_F(SensDrawerTest, OriginIsVisibleWidthLessHundredAndBottomPlusHundred) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    const auto& origins = service.windows()[0]->origins;
    ASSERT_EQ(origins.size(), 1u);
    // The width alone, not the right edge (50 + 1000).
    EXPECT_DOUBLE_EQ(origins[0].x, 900);
    EXPECT_DOUBLE_EQ(origins[0].y, 140);
}

TEST_F(SensDrawerTest, EveryDrawFollowsTheVisibleFrame) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    service.setVisibleFrame({0, 0, 1920, 1080});
    drawer.Draw(kTwo, 2);
    const auto& origins = service.windows()[0]->origins;
    ASSERT_EQ(origins.size(), 2u);
    EXPECT_DOUBLE_EQ(origins[1].x, 1820);
    EXPECT_DOUBLE_EQ(origins[1].y, 100);
}

// --- Picture -----------------------------------------------------------------

TEST_F(SensDrawerTest, ShowsThePictureOfTheValues) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    CairoSurfacePtr expected = createSliderImage(kTwo, 2);
    const RecordedPicture& shown = service.windows()[0]->pictures.at(0);
    ASSERT_EQ(shown.width, 46);
    ASSERT_EQ(shown.height, 174);
    const unsigned char* data = cairo_image_surface_get_data(expected.get());
    const int stride = cairo_image_surface_get_stride(expected.get());
    for (int y = 0; y < 174; ++y)
        ASSERT_EQ(std::memcmp(&shown.pixels[static_cast<std::size_t>(y) * 46],
                              data + static_cast<std::size_t>(y) * stride, 46 * 4),
                  0)
            << "row " << y;
}

TEST_F(SensDrawerTest, EachDrawShowsItsOwnValues) {
    SensDrawer drawer;
    const double low[] = {1.0};
    const double high[] = {10.0};
    drawer.Draw(low, 1);
    drawer.Draw(high, 1);
    const auto& pictures = service.windows()[0]->pictures;
    ASSERT_EQ(pictures.size(), 2u);
    // Centre of the top square, row 174 - 7 - 15 x 9 - 6 from the top.
    EXPECT_NE(pictures[0].pixel(13, 26), 0xffffffffu);
    EXPECT_EQ(pictures[1].pixel(13, 26), 0xffffffffu);
}

// --- Without a display -------------------------------------------------------

TEST_F(SensDrawerTest, WithoutADisplayDrawingGoesOnAndAsksAgain) {
    service.setDisplayAvailable(false);
    SensDrawer drawer;
    drawer.BeginDraw();
    drawer.Draw(kTwo, 2);
    drawer.Draw(kOne, 1);
    drawer.EndDraw();
    EXPECT_EQ(service.createRequests(), 2);
    EXPECT_TRUE(service.windows().empty());
}

TEST_F(SensDrawerTest, BadInputNeverCrashes) {
    SensDrawer drawer;
    drawer.Draw(nullptr, 2);
    drawer.Draw(kTwo, 0);
    std::vector<double> many(3000, 2.0);
    drawer.Draw(many.data(), static_cast<unsigned>(many.size()));
    // The window keeps the first picture's size: no values is the bare 6 wide.
    ASSERT_EQ(service.windows().size(), 1u);
    EXPECT_EQ(service.windows()[0]->width, 6);
    EXPECT_EQ(service.windows()[0]->pictures.size(), 3u);
}

// --- Service selection -------------------------------------------------------

TEST_F(SensDrawerTest, PicturesAreDrawnAtTheWindowsScaleInAWindowSizedInPoints) {
    service.setScale(2);
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    ASSERT_EQ(service.windows().size(), 1u);
    const FakeWindowRecord& window = *service.windows()[0];
    EXPECT_EQ(window.width, 46);
    EXPECT_EQ(window.height, 174);
    ASSERT_EQ(window.pictures.size(), 1u);
    EXPECT_EQ(window.pictures[0].width, 92);
    EXPECT_EQ(window.pictures[0].height, 348);
    // The place is in points, whatever the scale.
    ASSERT_EQ(window.origins.size(), 1u);
    EXPECT_EQ(window.origins[0].x, 1000 - 100);
    EXPECT_EQ(window.origins[0].y, 40 + 100);
}

TEST(SensDrawerService, SetServiceIsUsedAndNullRestoresTheDefault) {
    FakeOverlayService fake;
    SetOverlayWindowService(&fake);
    EXPECT_EQ(&CurrentOverlayWindowService(), &fake);
    SetOverlayWindowService(nullptr);
    OverlayWindowService& fallback = CurrentOverlayWindowService();
    EXPECT_NE(&fallback, &fake);
    EXPECT_EQ(&CurrentOverlayWindowService(), &fallback);
}

} // namespace
} // namespace zed::test
