#include "Platform/desktop/PointerSettings.h"

#include "Platform/desktop/GnomeMouseSettings.h"
#include "X11Probe.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace zed::test {
using namespace zed;

namespace {

#define REQUIRE_DISPLAY()                                                                          \
    do {                                                                                           \
        if (!std::getenv("DISPLAY")) {                                                             \
            GTEST_SKIP() << "DISPLAY is not set: run under xvfb-run for the X server tests";       \
        }                                                                                          \
    } while (0)

// --- X11 core pointer -----------------------------------------------------

TEST(X11Pointer, SwappingExchangesTheFirstAndThirdButtonsOnly) {
    REQUIRE_DISPLAY();
    deskfake::X11Probe x;
    ASSERT_TRUE(x.ok());
    X11PointerControl pointer;
    const auto before = x.map();
    ASSERT_GE(before.size(), 3u);
    EXPECT_EQ(pointer.setButtonsSwapped(true), kIOReturnSuccess);
    auto swapped = x.map();
    EXPECT_EQ(swapped[0], 3);
    EXPECT_EQ(swapped[2], 1);
    EXPECT_TRUE(std::equal(swapped.begin() + 3, swapped.end(), before.begin() + 3));
    EXPECT_EQ(pointer.setButtonsSwapped(true), kIOReturnSuccess); // twice is still swapped
    EXPECT_EQ(x.map(), swapped);
    EXPECT_EQ(pointer.setButtonsSwapped(false), kIOReturnSuccess);
    auto restored = x.map();
    EXPECT_EQ(restored[0], 1);
    EXPECT_EQ(restored[2], 3);
}

TEST(X11Pointer, AccelerationIsTheMultiplierAboveOneAndReadsBack) {
    REQUIRE_DISPLAY();
    deskfake::X11Probe x;
    ASSERT_TRUE(x.ok());
    X11PointerControl pointer;
    EXPECT_EQ(pointer.setAcceleration(0.5), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(x.factor(), 1.5);
    double a = -7;
    EXPECT_EQ(pointer.getAcceleration(&a), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(a, 0.5);
    EXPECT_EQ(pointer.setAcceleration(0.6875), kIOReturnSuccess);
    pointer.getAcceleration(&a);
    EXPECT_NEAR(a, 0.6875, 0.001);
}

TEST(X11Pointer, MinusOneTurnsAccelerationOff) {
    REQUIRE_DISPLAY();
    deskfake::X11Probe x;
    ASSERT_TRUE(x.ok());
    X11PointerControl pointer;
    pointer.setAcceleration(2.0);
    EXPECT_EQ(pointer.setAcceleration(-1.0), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(x.factor(), 1.0);
    double a = -7;
    pointer.getAcceleration(&a);
    EXPECT_EQ(a, 0.0);
}

TEST(X11Pointer, ValuesBeyondTheServersRangeAreClamped) {
    REQUIRE_DISPLAY();
    deskfake::X11Probe x;
    ASSERT_TRUE(x.ok());
    X11PointerControl pointer;
    EXPECT_EQ(pointer.setAcceleration(1e9), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(x.factor(), 1.0 + X11PointerControl::kMaxAcceleration);
    EXPECT_EQ(pointer.setAcceleration(std::nan("")), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(x.factor(), 1.0);
}

TEST(X11Pointer, ReadsAccelerationSetByOthers) {
    REQUIRE_DISPLAY();
    deskfake::X11Probe x;
    ASSERT_TRUE(x.ok());
    x.setFactor(2, 1);
    X11PointerControl pointer;
    double a = -7;
    EXPECT_EQ(pointer.getAcceleration(&a), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(a, 1.0);
    x.setFactor(1, 2); // slower than the pointer itself: no acceleration
    pointer.getAcceleration(&a);
    EXPECT_EQ(a, 0.0);
}

TEST(X11Pointer, WithoutADisplayEveryCallFailsAfterOneMessage) {
    X11PointerControl pointer("unix:/nonexistent/zed-no-display:99");
    testing::internal::CaptureStderr();
    EXPECT_EQ(pointer.setButtonsSwapped(true), kIOReturnNoDevice);
    EXPECT_EQ(pointer.setAcceleration(0.5), kIOReturnNoDevice);
    double a = 0;
    EXPECT_EQ(pointer.getAcceleration(&a), kIOReturnNoDevice);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no X display"), std::string::npos) << err;
    EXPECT_EQ(err.find("no X display"), err.rfind("no X display")) << err;
}

// --- GSettings double-click time ------------------------------------------

class DoubleClickTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zed-dblclick-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        keyfile = dir + "/keyfile";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string contents() {
        std::ifstream in(keyfile);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static bool haveGnomeSchema() {
        return std::filesystem::exists(
            "/usr/share/glib-2.0/schemas/org.gnome.desktop.peripherals.gschema.xml");
    }
    std::string dir, keyfile;
};

TEST_F(DoubleClickTest, TheClickTimeIsStoredInMilliseconds) {
    if (!haveGnomeSchema()) {
        GTEST_SKIP() << "the desktop schemas (gsettings-desktop-schemas) are not installed";
    }
    GSettingsDoubleClick setting(GSettingsDoubleClick::kGnomeMouseSchema,
                                 GSettingsDoubleClick::kGnomeDoubleClickKey, keyfile);
    EXPECT_EQ(setting.setDoubleClickTime(600000000), kIOReturnSuccess);
    EXPECT_EQ(setting.milliseconds(), 600);
    EXPECT_NE(contents().find("double-click=600"), std::string::npos) << contents();
}

TEST_F(DoubleClickTest, NanosecondsRoundToTheNearestMillisecondAndHugeValuesClamp) {
    if (!haveGnomeSchema()) {
        GTEST_SKIP() << "the desktop schemas (gsettings-desktop-schemas) are not installed";
    }
    GSettingsDoubleClick setting(GSettingsDoubleClick::kGnomeMouseSchema,
                                 GSettingsDoubleClick::kGnomeDoubleClickKey, keyfile);
    setting.setDoubleClickTime(349600000);
    EXPECT_EQ(setting.milliseconds(), 350);
    setting.setDoubleClickTime(349400000);
    EXPECT_EQ(setting.milliseconds(), 349);
    setting.setDoubleClickTime(0);
    EXPECT_EQ(setting.milliseconds(), 0);
    setting.setDoubleClickTime(UINT64_MAX);
    EXPECT_EQ(setting.milliseconds(), INT32_MAX);
}

TEST_F(DoubleClickTest, WithoutTheSchemaTheDesktopKeepsItsOwnTimeSaidOnce) {
    GSettingsDoubleClick setting("org.example.zed.no-such-schema", "double-click", keyfile);
    testing::internal::CaptureStderr();
    EXPECT_EQ(setting.setDoubleClickTime(600000000), kIOReturnUnsupported);
    EXPECT_EQ(setting.setDoubleClickTime(500000000), kIOReturnUnsupported);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("keeps its own double-click time"), std::string::npos) << err;
    EXPECT_EQ(err.find("keeps its own"), err.rfind("keeps its own")) << err;
    EXPECT_FALSE(std::filesystem::exists(keyfile));
}

TEST_F(DoubleClickTest, AKeyThatIsNotMillisecondsIsLeftAlone) {
    if (!haveGnomeSchema()) {
        GTEST_SKIP() << "the desktop schemas (gsettings-desktop-schemas) are not installed";
    }
    // left-handed is a boolean in the same schema.
    GSettingsDoubleClick setting(GSettingsDoubleClick::kGnomeMouseSchema, "left-handed", keyfile);
    testing::internal::CaptureStderr();
    EXPECT_EQ(setting.setDoubleClickTime(600000000), kIOReturnUnsupported);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("keeps its own"), std::string::npos);
}

} // namespace
} // namespace zed::test
