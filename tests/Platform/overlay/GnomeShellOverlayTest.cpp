// The display drawn by GNOME Shell: the agent's overlay service against the
// extension's own code, run by gjs on the session bus with the shell's parts
// stood in for (gnome-shell does not run here).
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
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace zed::test {
namespace {

const std::string kExtension = std::string(ZED_SOURCE_DIR) + "/Platform/desktop/gnome-shell/";
const std::string kStandIn = std::string(ZED_SOURCE_DIR) + "/tests/support/gnome-shell-stand-in/";

struct Monitor {
    X11Rect monitor, work; // in stage coordinates
};

class GnomeShellOverlay : public ::testing::TestWithParam<Monitor> {
protected:
    void SetUp() override {
        if (auto why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        ASSERT_TRUE(std::filesystem::exists("/usr/bin/gjs")) << "gjs is not installed";
        // The shell's name on a bus of this test's own: other tests take it too.
        ASSERT_EQ(bus_.start(), "");
        setenv("DBUS_SESSION_BUS_ADDRESS", bus_.address().c_str(), 1);
        dir_ = std::filesystem::temp_directory_path() / ("zed-shell-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        const std::string script = dir_ / "shell.js";
        std::ofstream(script) << readFile(kStandIn + "prologue.js")
                              << readFile(kExtension + "zed-shell.js")
                              << readFile(kStandIn + "epilogue.js");
        const Monitor m = GetParam();
        std::ostringstream geometry;
        geometry << m.monitor.x << ',' << m.monitor.y << ',' << m.monitor.width << ','
                 << m.monitor.height << ',' << m.work.x << ',' << m.work.y << ',' << m.work.width
                 << ',' << m.work.height;
        ASSERT_TRUE(
            shell_.start({"/usr/bin/gjs", script},
                         {{"ZED_STAND_IN_OUT", dir_}, {"ZED_STAND_IN_MONITOR", geometry.str()}}));
        ASSERT_TRUE(waitFor([&] { return shell_.out().find("ready") != std::string::npos; }))
            << shell_.err();
    }
    void TearDown() override {
        SetOverlayWindowService(nullptr);
        shell_.stop();
        std::filesystem::remove_all(dir_);
    }
    // The stand-in's lines that start with `what`.
    std::vector<std::string> told(const std::string& what) const {
        std::vector<std::string> out;
        for (const std::string& l : lines(shell_.out())) {
            if (l.rfind(what, 0) == 0) {
                out.push_back(l);
            }
        }
        return out;
    }

    std::filesystem::path dir_;
    PrivateBus bus_;
    ChildProcess shell_{"gjs-shell-" + std::to_string(getpid()), "/tmp"};
};

TEST_P(GnomeShellOverlay, TheShellShowsTheDrawnPictureAtItsPlaceAndHidesItAtTheEnd) {
    std::string why;
    auto service = makeGnomeShellOverlayService(&why);
    ASSERT_TRUE(service) << why;
    SetOverlayWindowService(service.get());
    const double values[] = {3.5, 7.2};
    SensDrawer drawer;
    drawer.BeginDraw();
    drawer.Draw(values, 2);
    ASSERT_TRUE(waitFor([&] { return !told("show").empty(); })) << shell_.err();

    // Where: the panel's place in the main monitor's work area, on the stage.
    const Monitor m = GetParam();
    const X11Rect work{m.work.x - m.monitor.x, m.work.y - m.monitor.y, m.work.width, m.work.height};
    const OverlayRect visible = VisibleFrameFromWorkArea(work, m.monitor.height);
    CairoSurfacePtr expected = createSliderImage(values, 2);
    const int width = cairo_image_surface_get_width(expected.get());
    const int height = cairo_image_surface_get_height(expected.get());
    const X11Rect at =
        TopLeftFromOrigin({visible.width - 100, visible.y + 100}, width, height, m.monitor.height);
    std::ostringstream line;
    line << "show 0 " << m.monitor.x + at.x << ' ' << m.monitor.y + at.y << ' ' << width << ' '
         << height << ' ' << width << ' ' << height << ' ' << width * 4 << " BGRA_8888_PRE";
    EXPECT_EQ(told("show").front(), line.str());

    // What: the drawn picture, byte for byte.
    cairo_surface_flush(expected.get());
    const std::string shown = readFile(dir_ / "0.raw");
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(width * 4 * height));
    const int stride = cairo_image_surface_get_stride(expected.get());
    const auto* data = cairo_image_surface_get_data(expected.get());
    for (int row = 0; row < height; ++row) {
        ASSERT_EQ(shown.compare(static_cast<std::size_t>(row) * width * 4, width * 4,
                                reinterpret_cast<const char*>(data) + row * stride, width * 4),
                  0)
            << "row " << row;
    }
    drawer.EndDraw();
    EXPECT_TRUE(waitFor([&] { return told("hide").size() == 1; }));
}

INSTANTIATE_TEST_SUITE_P(Monitors, GnomeShellOverlay,
                         ::testing::Values(
                             // A top bar of 32 pixels.
                             Monitor{{0, 0, 1280, 1024}, {0, 32, 1280, 992}},
                             // The main monitor right of another, with a dock at its bottom.
                             Monitor{{1920, 0, 1600, 900}, {1920, 0, 1600, 840}}),
                         [](const auto& info) {
                             return info.param.monitor.x == 0 ? "TopBar" : "RightOfAnother";
                         });

TEST_P(GnomeShellOverlay, APictureWithTooFewBytesIsRefusedAndTheShellCarriesOn) {
    const auto call = [](const std::string& bytes) {
        return runProgram({"/usr/bin/gdbus", "call", "--session", "--dest", "org.gnome.Shell",
                           "--object-path", kShellOverlayPath, "--method",
                           std::string(kShellOverlayInterface) + ".Show", "0", "0", "2", "2", "8",
                           bytes});
    };
    const ProgramResult refused = call("[byte 0x01, 0x02]");
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("needs 8 bytes a row"), std::string::npos) << refused.err;
    EXPECT_EQ(call("[byte 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16]").exitCode, 0);
    EXPECT_EQ(told("show").size(), 1u);
}

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
                const Argb p = At(picture.get(), x, y), b = At(on, x, y), a = At(over, x, y);
                const int bare[] = {b.r, b.g, b.b}, mine[] = {p.r, p.g, p.b},
                          seen[] = {a.r, a.g, a.b};
                for (int c = 0; c < 3; ++c) {
                    worst =
                        std::max(worst, std::abs(mine[c] + bare[c] * (255 - p.a) / 255 - seen[c]));
                }
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

TEST(GnomeShellExtension, BothShippedBuildsCarryTheSharedCode) {
    const std::string body = readFile(kExtension + "zed-shell.js");
    ASSERT_FALSE(body.empty());
    const std::string shipped =
        std::filesystem::path(ZED_AGENT).parent_path().string() + "/../share/zed/gnome-shell/";
    for (const char* build : {"43", "45"}) {
        EXPECT_NE(readFile(shipped + build + "/extension.js").find(body), std::string::npos)
            << build;
    }
}

} // namespace
} // namespace zed::test
