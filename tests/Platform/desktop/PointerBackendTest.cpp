// Which pointer-settings backend each session gets, and the one acceleration
// mapping the libinput desktops share.
#include "Platform/desktop/PointerBackend.h"

#include "DesktopFakes.h"

#include <cmath>
#include <gtest/gtest.h>

namespace zed::test {
using namespace zed;

namespace {

using P = PointerBackendKind;
using D = DoubleClickKind;

struct Case {
    const char* desktop;
    const char* session;
    bool schema, kwin, sway;
    BackendChoice expected;
};

TEST(PointerBackendChoice, EachDesktopAndSessionTypeGetsItsBackend) {
    const Case cases[] = {
        // GNOME, whatever the session type and however the list names it.
        {"GNOME", "wayland", true, false, false, {P::Gnome, D::GnomeSettings}},
        {"GNOME", "x11", true, false, false, {P::Gnome, D::GnomeSettings}},
        {"ubuntu:GNOME", "wayland", true, false, false, {P::Gnome, D::GnomeSettings}},
        {"GNOME-Flashback:GNOME", "x11", true, false, false, {P::Gnome, D::GnomeSettings}},
        {"gnome", "wayland", true, false, false, {P::Gnome, D::GnomeSettings}},
        // Without the schema GNOME's keys cannot be written: the X server.
        {"GNOME", "x11", false, false, false, {P::X11, D::GnomeSettings}},
        // KDE Plasma: KWin on Wayland when it answers, kdeglobals always.
        {"KDE", "wayland", true, true, false, {P::KWin, D::KdeGlobals}},
        {"KDE", "wayland", true, false, false, {P::X11, D::KdeGlobals}},
        {"KDE", "x11", true, true, false, {P::X11, D::KdeGlobals}},
        // sway, named or found by its socket in a session naming nothing.
        {"sway", "wayland", true, false, true, {P::Sway, D::None}},
        {"", "wayland", true, false, true, {P::Sway, D::None}},
        {"sway", "wayland", true, false, false, {P::X11, D::None}},
        // A socket left in the environment does not make another desktop sway.
        {"XFCE", "x11", true, false, true, {P::X11, D::GnomeSettings}},
        {"", "x11", true, false, true, {P::X11, D::GnomeSettings}},
        // Everything else as before: the X server and GNOME's double-click.
        {"XFCE", "x11", true, false, false, {P::X11, D::GnomeSettings}},
        {"", "tty", false, false, false, {P::X11, D::GnomeSettings}},
        {"", "", true, false, false, {P::X11, D::GnomeSettings}},
        // A name that merely contains another is not that desktop.
        {"GNOMEISH", "wayland", true, false, false, {P::X11, D::GnomeSettings}},
        {"swayfx-like", "wayland", true, false, false, {P::X11, D::GnomeSettings}},
    };
    for (const Case& c : cases) {
        SessionFacts facts{c.desktop, c.session, c.schema, c.kwin, c.sway};
        const BackendChoice got = choosePointerBackend(facts);
        EXPECT_EQ(got.pointer, c.expected.pointer)
            << c.desktop << " / " << c.session << " schema " << c.schema << " kwin " << c.kwin
            << " sway " << c.sway;
        EXPECT_EQ(got.doubleClick, c.expected.doubleClick)
            << c.desktop << " / " << c.session << " schema " << c.schema << " kwin " << c.kwin
            << " sway " << c.sway;
    }
}

TEST(AccelerationMapping, ZeroToThreeIsTheWholeSpeedRangeAndDefaultsMeet) {
    EXPECT_DOUBLE_EQ(libinputSpeedFromAcceleration(0.0), -1.0);
    EXPECT_DOUBLE_EQ(libinputSpeedFromAcceleration(1.5), 0.0);
    EXPECT_DOUBLE_EQ(libinputSpeedFromAcceleration(3.0), 1.0);
    EXPECT_DOUBLE_EQ(libinputSpeedFromAcceleration(0.75), -0.5);
    // Beyond the HID system's range: clamped.
    EXPECT_DOUBLE_EQ(libinputSpeedFromAcceleration(10.0), 1.0);
    EXPECT_DOUBLE_EQ(libinputSpeedFromAcceleration(INFINITY), 1.0);
}

TEST(AccelerationMapping, IsMonotonicAndReadBackIsItsInverse) {
    double previous = -2.0;
    for (int i = 0; i <= 300; ++i) {
        const double a = i / 100.0;
        const double speed = libinputSpeedFromAcceleration(a);
        EXPECT_GT(speed, previous) << a;
        previous = speed;
        EXPECT_NEAR(accelerationFromLibinputSpeed(speed), a, 1e-12) << a;
    }
    for (double speed : {-1.0, -0.25, 0.0, 0.6, 1.0}) {
        EXPECT_NEAR(libinputSpeedFromAcceleration(accelerationFromLibinputSpeed(speed)), speed,
                    1e-12);
    }
}

TEST(AccelerationMapping, BelowZeroOrNotANumberIsOff) {
    EXPECT_TRUE(accelerationIsOff(-1.0));
    EXPECT_TRUE(accelerationIsOff(-0.001));
    EXPECT_TRUE(accelerationIsOff(std::nan("")));
    EXPECT_FALSE(accelerationIsOff(0.0));
    EXPECT_FALSE(accelerationIsOff(3.0));
}

TEST(NoDoubleClick, SaysOnceNamingTheDesktop) {
    NoDoubleClick none("sway");
    testing::internal::CaptureStderr();
    EXPECT_EQ(none.setDoubleClickTime(500000000), kIOReturnUnsupported);
    EXPECT_EQ(none.setDoubleClickTime(600000000), kIOReturnUnsupported);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find(deskfake::named("sway: ")), 0u) << err;
    EXPECT_EQ(err.find("double-click"), err.rfind("double-click")) << err;
}

} // namespace
} // namespace zed::test
