// The layer-shell service: its geometry, and what it does when there is no
// compositor or the compositor goes away (on sway headless; skipped where
// sway is not installed).
#include "Platform/overlay/WaylandOverlayWindow.h"

#include "SimulatorHarness.h"
#include "SwaySession.h"

#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace zed::test {
namespace {

// --- Without a compositor, or after it went -----------------------------------

TEST(WaylandOverlayService, WithoutACompositorIsNotUsableAndSaysWhy) {
    WaylandOverlayService service("/nonexistent/wayland-9");
    EXPECT_FALSE(service.usable());
    EXPECT_NE(service.problem().find("/nonexistent/wayland-9"), std::string::npos)
        << service.problem();
    EXPECT_EQ(service.createWindow(26, 174), nullptr);
    EXPECT_EQ(service.visibleFrame().width, 0);
}

TEST(WaylandOverlayService, ACompositorThatGoesIsSaidOnceAndDrawingStops) {
    std::optional<SwaySession> sway(std::in_place);
    if (auto why = sway->start(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    WaylandOverlayService service(sway->waylandDisplay());
    ASSERT_TRUE(service.usable()) << service.problem();
    EXPECT_EQ(service.visibleFrame().width, 800);
    auto window = service.createWindow(26, 174);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->scale(), 1);
    const std::vector<std::uint32_t> white(26 * 174, 0xffffffffu);
    const PictureView picture{reinterpret_cast<const std::uint8_t*>(white.data()), 26, 174, 26 * 4};
    window->setFrameOrigin({700, 100});
    window->show(picture);

    sway.reset(); // the compositor ends
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
        window->setFrameOrigin({10, 10});
        window->show(picture);
        EXPECT_GE(window->scale(), 1);
    }
    EXPECT_EQ(service.createWindow(26, 174), nullptr);
    EXPECT_EQ(service.visibleFrame().width, 0);
    window.reset();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("lost the connection to the Wayland compositor"), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "said more than once: " << err;
}

// --- The chooser ------------------------------------------------------------------

TEST(DefaultOverlayService, WithoutAUsableCompositorFallsBackToX11AndSaysWhy) {
    ScopedEnv wayland("WAYLAND_DISPLAY", "/nonexistent/wayland-9");
    ScopedEnv display("DISPLAY", ":4711");
    testing::internal::CaptureStderr();
    auto service = makeDefaultOverlayService();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(dynamic_cast<WaylandOverlayService*>(service.get()), nullptr);
    EXPECT_NE(err.find("overlay: X11 on :4711 (cannot connect to the Wayland compositor "
                       "/nonexistent/wayland-9)"),
              std::string::npos)
        << err;
}

} // namespace
} // namespace zed::test
