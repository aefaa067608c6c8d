// The display drawn by GNOME Shell: the agent's overlay service against a
// real GNOME Shell, headless, with ZED's extension as shipped.
#include "Platform/overlay/GnomeShellOverlay.h"

#include "Daemon/SensDrawer.h"
#include "GnomeShellSession.h"
#include "PixelSupport.h"
#include "Platform/overlay/X11OverlayWindow.h"

#include <algorithm>
#include <cairo.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace zed::test {
namespace {

// The real shell, headless: what is on screen is the drawn picture laid over
// what was there, and what was there once the display ends.
TEST(GnomeShellOnScreen, TheDisplayIsThePictureOverTheDesktopUntilItEnds) {
    PrivateBus bus;
    ASSERT_EQ(bus.start(), "");
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    GnomeShellSession shell;
    if (const std::string why = shell.start(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    std::string why;
    auto service = makeGnomeShellOverlayService(&why);
    ASSERT_TRUE(service) << why;
    SetOverlayWindowService(service.get());
    const double values[] = {2.5, 9.0};
    CairoSurfacePtr picture = createSliderImage(values, 2);
    const int width = cairo_image_surface_get_width(picture.get());
    const int height = cairo_image_surface_get_height(picture.get());
    const OverlayRect visible = service->visibleFrame();
    const X11Rect at =
        TopLeftFromOrigin({visible.width - 100, visible.y + 100}, width, height, 1024);
    const auto shot = [&](const std::string& name) {
        const std::string png = "/tmp/zed-gnome-" + std::to_string(getpid()) + name + ".png";
        CairoSurfacePtr s;
        if (shell.screenshot(at.x, at.y, width, height, png)) {
            s.reset(cairo_image_surface_create_from_png(png.c_str()));
            std::filesystem::remove(png);
        }
        return s;
    };
    // The desktop as it stays, once the shell has drawn it.
    const auto same = [&](cairo_surface_t* a, cairo_surface_t* b) {
        return a && b &&
               std::memcmp(cairo_image_surface_get_data(a), cairo_image_surface_get_data(b),
                           static_cast<std::size_t>(cairo_image_surface_get_stride(a)) * height) ==
                   0;
    };
    CairoSurfacePtr before;
    ASSERT_TRUE(waitFor([&] {
        CairoSurfacePtr next = shot("before");
        const bool settled = same(before.get(), next.get());
        before = std::move(next);
        return settled;
    })) << "the desktop does not settle";

    SensDrawer drawer;
    drawer.BeginDraw();
    drawer.Draw(values, 2);
    // Each channel: the picture's (premultiplied) plus what shows through it.
    int worst = 0;
    const auto differs = [&](cairo_surface_t* on, cairo_surface_t* over) {
        worst = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                worst = std::max(
                    worst, Difference(Over(At(picture.get(), x, y), At(on, x, y)), At(over, x, y)));
            }
        }
        return worst;
    };
    CairoSurfacePtr after;
    EXPECT_TRUE(waitFor(
        [&] {
            after = shot("after");
            return after && differs(before.get(), after.get()) <= 2;
        },
        10))
        << "largest difference " << worst;

    drawer.EndDraw();
    EXPECT_TRUE(waitFor(
        [&] {
            CairoSurfacePtr gone = shot("gone");
            return gone && std::memcmp(cairo_image_surface_get_data(gone.get()),
                                       cairo_image_surface_get_data(before.get()),
                                       static_cast<std::size_t>(
                                           cairo_image_surface_get_stride(before.get())) *
                                           height) == 0;
        },
        10));
}

} // namespace
} // namespace zed::test
