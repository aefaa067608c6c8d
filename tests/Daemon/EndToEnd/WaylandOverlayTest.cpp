// The real agent's sensitivity display on a real Wayland compositor (sway
// headless, layer-shell) at scale 1 and 2: captured with grim, it is
// zed-overlay-render's picture at that scale laid over the background, at the
// place the X11 window would take; a click on it reaches the window below.
#include "AgentSimulatorTest.h"
#include "PixelSupport.h"
#include "Platform/core/PropertyList.h"
#include "SwaySession.h"

#include <algorithm>
#include <array>
#include <cairo.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

using zed::CairoSurfacePtr;
using zed::Value;
using namespace zed::test;

namespace {

const Argb kBackground{255, 0x33, 0x66, 0x99}; // sway's background

class WaylandOverlay : public AgentSimulatorTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        AgentSimulatorTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        if (auto why = missingPrograms({"/usr/bin/grim", "/usr/bin/foot", "/usr/bin/swaybg"});
            !why.empty()) {
            GTEST_SKIP() << why;
        }
        // Only a click moves the focus, so a focus change shows where the click went.
        if (auto why = sway_.start("output HEADLESS-1 bg #336699 solid_color\n"
                                   "focus_follows_mouse no\n");
            !why.empty()) {
            GTEST_SKIP() << why;
        }
        sway_.swaymsg({"output", "HEADLESS-1", "scale", std::to_string(GetParam())});
    }

    // The output captured by grim; null when it could not be.
    CairoSurfacePtr capture() {
        const std::string file = sway_.runtimeDir() + "/capture.png";
        if (sway_.runClient({"/usr/bin/grim", "-o", "HEADLESS-1", file}).exitCode != 0) {
            return nullptr;
        }
        return ReadPng(file);
    }

    // The app_id of the focused window: in sway's tree a window's "focused"
    // comes before its "app_id".
    std::string focusedApp() const {
        const std::string tree = sway_.swaymsg({"-t", "get_tree", "-r"});
        const auto focused = tree.find("\"focused\": true");
        const std::string key = "\"app_id\": \"";
        const auto app = tree.find(key, focused == std::string::npos ? tree.size() : focused);
        if (app == std::string::npos) {
            return {};
        }
        const auto from = app + key.size();
        return tree.substr(from, tree.find('"', from) - from);
    }

    SwaySession sway_;
    std::array<ChildProcess, 2> apps_{ChildProcess{"left", "/tmp"}, ChildProcess{"right", "/tmp"}};
};

} // namespace

TEST_P(WaylandOverlay, TheAgentsDisplayIsItsPictureOverTheDesktopAndClicksPassThrough) {
    const int scale = GetParam();
    // The output is 800 x 600 pixels: its logical size, which drawing
    // coordinates count in, is that divided by the scale.
    const int logicalWidth = 800 / scale, logicalHeight = 600 / scale;

    // What the agent will show for one step up from 5.
    const std::string expectedFile = sway_.runtimeDir() + "/expected.png";
    ASSERT_EQ(runProgram(
                  {ZED_OVERLAY_RENDER, "5.2", "--scale", std::to_string(scale), "-o", expectedFile})
                  .exitCode,
              0);
    const CairoSurfacePtr expected = ReadPng(expectedFile);
    ASSERT_TRUE(expected);
    const int width = cairo_image_surface_get_width(expected.get());
    const int height = cairo_image_surface_get_height(expected.get());
    ASSERT_EQ(height, 174 * scale);

    agent.writeDomain(zed::toXmlPropertyList(Value(zed::Dictionary{
        {"Sensitivity", Value(5.0)}, {"ButtonMappings", Value(zed::Array{Value(zed::Data{7})})}})));
    ASSERT_TRUE(agent.start({{"WAYLAND_DISPLAY", sway_.waylandDisplay()},
                             {"XDG_SESSION_TYPE", "wayland"},
                             {"DISPLAY", ""},
                             {"SWAYSOCK", ""}}));
    ASSERT_EQ(sim({"plug"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] {
        return agent.out().find("Waiting for prefs changes...") != std::string::npos;
    })) << agent.err();
    ASSERT_EQ(sim({"message", "0x20001"}).exitCode, 0); // overlay begin and a step
    ASSERT_TRUE(waitFor([&] {
        return agent.err().find("overlay: layer-shell on") != std::string::npos;
    })) << agent.err();

    // Where the X11 window goes: its lower-left corner 100 left of the right
    // edge and 100 above the bottom (drawing coordinates, y upward).
    const int left = (logicalWidth - 100) * scale;
    const int top = (logicalHeight - 100 - 174) * scale;
    CairoSurfacePtr shot;
    int worst = 256, wrong = 0;
    // The display shows once the compositor has drawn it: compare until all
    // fits or the time is up, then report the last comparison.
    waitFor(
        [&] {
            shot = capture();
            if (!shot || cairo_image_surface_get_width(shot.get()) != 800) {
                return false;
            }
            worst = 0;
            wrong = 0;
            for (int y = -2; y < height + 2; ++y) {
                for (int x = -2; x < width + 2; ++x) {
                    const bool inside = x >= 0 && y >= 0 && x < width && y < height;
                    const Argb want =
                        inside ? Over(Pixel(expected.get(), x, y), kBackground) : kBackground;
                    const int d = Difference(Pixel(shot.get(), left + x, top + y), want);
                    worst = std::max(worst, d);
                    wrong += d > 2;
                }
            }
            return wrong == 0;
        },
        10);
    EXPECT_EQ(wrong, 0) << "pixels off by more than 2 (the worst by " << worst << ") of "
                        << (width + 4) * (height + 4) << " at scale " << scale << "\n"
                        << agent.err();
    std::printf("scale %d: %d x %d picture at (%d, %d), largest channel difference %d\n", scale,
                width, height, left, top, worst);

    // Two windows side by side, the right one under the display; the left one
    // has the focus, then a click on the display's middle.
    // One after the other: sway puts a new window right of the focused one.
    for (int i = 0; i < 2; ++i) {
        const std::string app = i == 0 ? "left" : "right";
        sway_.startClient(apps_[i], {"/usr/bin/foot", "--app-id=" + app, "/bin/cat"});
        ASSERT_TRUE(waitFor([&] {
            return sway_.swaymsg({"-t", "get_tree"}).find("\"" + app + "\"") != std::string::npos;
        }));
    }
    sway_.swaymsg({"[app_id=\"left\"]", "focus"});
    ASSERT_TRUE(waitFor([&] { return focusedApp() == "left"; })) << focusedApp();
    const int cursorX = logicalWidth - 100 + width / scale / 2;
    const int cursorY = logicalHeight - 100 - 174 / 2;
    // Clicked again until sway has laid the two windows out side by side (it
    // waits for both to take their new sizes); a display that took the click
    // would never let it through.
    EXPECT_TRUE(waitFor(
        [&] {
            sway_.swaymsg(
                {"seat", "-", "cursor", "set", std::to_string(cursorX), std::to_string(cursorY)});
            sway_.swaymsg({"seat", "-", "cursor", "press", "button1"});
            sway_.swaymsg({"seat", "-", "cursor", "release", "button1"});
            return focusedApp() == "right";
        },
        10))
        << "the click on the display did not reach the window below: " << focusedApp() << "\n"
        << sway_.swaymsg({"-t", "get_tree"}) << sway_.swaymsg({"-t", "get_seats"});
}

INSTANTIATE_TEST_SUITE_P(Scales, WaylandOverlay, ::testing::Values(1, 2),
                         [](const auto& info) { return "Scale" + std::to_string(info.param); });
