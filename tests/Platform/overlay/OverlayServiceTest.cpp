#include "Daemon/SensDrawer.h"
#include "FakeOverlayWindow.h"
#include "Platform/overlay/X11OverlayWindow.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zed::test {
namespace {

// --- Coordinates -------------------------------------------------------------

TEST(OverlayCoordinates, WorkAreaBecomesAVisibleFrameFromTheBottom) {
    OverlayRect frame = VisibleFrameFromWorkArea({0, 24, 1280, 960}, 1024);
    EXPECT_DOUBLE_EQ(frame.x, 0);
    EXPECT_DOUBLE_EQ(frame.y, 40); // 1024 - (24 + 960)
    EXPECT_DOUBLE_EQ(frame.width, 1280);
    EXPECT_DOUBLE_EQ(frame.height, 960);
}

TEST(OverlayCoordinates, OriginBecomesTheTopLeftCorner) {
    X11Rect r = TopLeftFromOrigin({1180, 140}, 46, 174, 1024);
    EXPECT_EQ(r.x, 1180);
    EXPECT_EQ(r.y, 710); // 1024 - (140 + 174)
    EXPECT_EQ(r.width, 46);
    EXPECT_EQ(r.height, 174);
}

TEST(OverlayCoordinates, RoundTripOfTheWholeScreenPlacesThePanelAboveTheBottom) {
    OverlayRect frame = VisibleFrameFromWorkArea({0, 0, 1280, 1024}, 1024);
    X11Rect r = TopLeftFromOrigin({frame.width - 100, frame.y + 100}, 46, 174, 1024);
    EXPECT_EQ(r.x, 1180);
    EXPECT_EQ(r.y, 1024 - 100 - 174);
}

TEST(OverlayCoordinates, FarAwayOrUndefinedOriginsStayWithinX11Range) {
    X11Rect far = TopLeftFromOrigin({1e12, -1e12}, 46, 174, 1024);
    EXPECT_EQ(far.x, 32767);
    EXPECT_EQ(far.y, 32767);
    X11Rect nan = TopLeftFromOrigin({std::nan(""), 0}, 46, 174, 1024);
    EXPECT_EQ(nan.x, 0);
}

// --- Work area property -----------------------------------------------------

TEST(OverlayWorkArea, MissingPropertyMeansTheWholeScreen) {
    X11Rect r = WorkAreaFromProperty({}, 0, 1280, 1024);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.width, 1280);
    EXPECT_EQ(r.height, 1024);
}

TEST(OverlayWorkArea, TheCurrentDesktopsAreaIsUsed) {
    const std::vector<std::uint32_t> areas = {0, 24, 1280, 1000, 10, 0, 1200, 990};
    X11Rect r = WorkAreaFromProperty(areas, 1, 1280, 1024);
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.width, 1200);
    EXPECT_EQ(r.height, 990);
}

TEST(OverlayWorkArea, ADesktopWithoutAnAreaFallsBackToTheFirst) {
    const std::vector<std::uint32_t> areas = {0, 24, 1280, 1000};
    X11Rect r = WorkAreaFromProperty(areas, 7, 1280, 1024);
    EXPECT_EQ(r.y, 24);
    EXPECT_EQ(r.height, 1000);
}

TEST(OverlayWorkArea, EmptyOrShortOrHugeValuesAreSafe) {
    const std::vector<std::uint32_t> empty = {0, 0, 0, 0};
    EXPECT_EQ(WorkAreaFromProperty(empty, 0, 800, 600).width, 800);
    const std::vector<std::uint32_t> shortList = {1, 2, 3};
    EXPECT_EQ(WorkAreaFromProperty(shortList, 0, 800, 600).height, 600);
    const std::vector<std::uint32_t> huge = {0xffffffffu, 0, 0xffffffffu, 100};
    X11Rect r = WorkAreaFromProperty(huge, 0, 800, 600);
    EXPECT_EQ(r.x, 32767);
    EXPECT_EQ(r.width, 32767);
}

// --- Services without a display ---------------------------------------------

TEST(OverlayWithoutDisplay, HeadlessServiceSaysSoOnce) {
    auto service = makeHeadlessOverlayService();
    testing::internal::CaptureStderr();
    EXPECT_EQ(service->createWindow(46, 174), nullptr);
    EXPECT_EQ(service->createWindow(46, 174), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

TEST(OverlayWithoutDisplay, UnreachableDisplaySaysSoOnceAndDrawingGoesOn) {
    X11OverlayService service(":4711");
    SetOverlayWindowService(&service);
    testing::internal::CaptureStderr();
    {
        SensDrawer drawer;
        const double values[] = {3.4, 7.0};
        drawer.BeginDraw();
        drawer.Draw(values, 2);
        drawer.Draw(values, 2);
        drawer.EndDraw();
    }
    const std::string err = testing::internal::GetCapturedStderr();
    SetOverlayWindowService(nullptr);
    EXPECT_NE(err.find("cannot open the X display"), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    EXPECT_DOUBLE_EQ(service.visibleFrame().width, 0);
}

TEST(OverlayWithoutDisplay, DefaultServiceWithoutDisplayIsHeadless) {
    const char* saved = std::getenv("DISPLAY");
    const std::string display = saved ? saved : "";
    unsetenv("DISPLAY");
    auto service = makeDefaultOverlayService();
    if (saved)
        setenv("DISPLAY", display.c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(service->createWindow(26, 174), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("DISPLAY is not set"), std::string::npos);
}

// --- Recording service -------------------------------------------------------

TEST(FakeOverlayService, RecordsPicturesAsCopies) {
    FakeOverlayService service;
    auto window = service.createWindow(2, 1);
    ASSERT_NE(window, nullptr);
    std::uint32_t pixels[2] = {0x11223344u, 0xffffffffu};
    window->show({reinterpret_cast<const std::uint8_t*>(pixels), 2, 1, 8});
    pixels[0] = 0;
    const RecordedPicture& shown = service.windows()[0]->pictures.at(0);
    EXPECT_EQ(shown.pixel(0, 0), 0x11223344u);
    EXPECT_EQ(shown.pixel(1, 0), 0xffffffffu);
    EXPECT_EQ(shown.pixel(5, 5), 0u);
    window.reset();
    EXPECT_TRUE(service.windows()[0]->closed);
}

} // namespace
} // namespace zed::test
