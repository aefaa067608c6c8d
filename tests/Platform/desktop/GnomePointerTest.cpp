// The HID system on GNOME: its parameter calls and properties land in the
// real org.gnome.desktop.peripherals.mouse schema, kept in GSettings' memory
// store, and read back from there.
#include "DesktopFakes.h"
#include "Platform/desktop/GnomeMouseSettings.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>
#include <gtest/gtest.h>

namespace zed::test {
using namespace zed;

namespace {

class GnomePointerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveGnomeMouseSchema()) {
            GTEST_SKIP() << "the desktop schemas (gsettings-desktop-schemas) are not installed";
        }
        store = g_memory_settings_backend_new();
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        GSettingsSchema* schema = g_settings_schema_source_lookup(source, kGnomeMouseSchema, TRUE);
        view = g_settings_new_full(schema, store, nullptr);
        g_settings_schema_unref(schema);
        auto properties = std::make_shared<DesktopHidProperties>(
            std::make_unique<GSettingsDoubleClick>(kGnomeMouseSchema, "double-click", "", store));
        hid = std::make_unique<DesktopHidSystem>(deskfake::keyboardFactory(keyboard),
                                                 std::make_unique<GnomePointerControl>(store),
                                                 properties);
        ASSERT_EQ(hid->open(DesktopRegistry::kHidSystemService, kIOHIDParamConnectType, &connect),
                  kIOReturnSuccess);
    }
    void TearDown() override {
        hid.reset();
        if (view) {
            g_object_unref(view);
        }
        if (store) {
            g_object_unref(store);
        }
    }
    std::string profile() {
        gchar* p = g_settings_get_string(view, GnomePointerControl::kProfileKey);
        std::string s = p;
        g_free(p);
        return s;
    }
    double speed() { return g_settings_get_double(view, GnomePointerControl::kSpeedKey); }
    IOReturn accelerate(double a) {
        return hid->setAccelerationWithKey(connect, DesktopHidSystem::kAccelerationKey, a);
    }

    GSettingsBackend* store = nullptr;
    GSettings* view = nullptr; // the same keys, as the desktop sees them
    deskfake::KeyboardLog keyboard;
    std::unique_ptr<DesktopHidSystem> hid;
    io_connect_t connect = 0;
};

TEST_F(GnomePointerTest, ButtonModeIsLeftHanded) {
    EXPECT_EQ(hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeSwapped),
              kIOReturnSuccess);
    EXPECT_TRUE(g_settings_get_boolean(view, GnomePointerControl::kLeftHandedKey));
    EXPECT_EQ(hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeNormal),
              kIOReturnSuccess);
    EXPECT_FALSE(g_settings_get_boolean(view, GnomePointerControl::kLeftHandedKey));
}

TEST_F(GnomePointerTest, AccelerationIsTheAdaptiveProfileAndItsSpeed) {
    EXPECT_EQ(accelerate(0.75), kIOReturnSuccess);
    EXPECT_EQ(profile(), "adaptive");
    EXPECT_DOUBLE_EQ(speed(), -0.5);
    EXPECT_EQ(accelerate(3.0), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(speed(), 1.0);
    EXPECT_EQ(accelerate(0.0), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(speed(), -1.0);
    EXPECT_EQ(profile(), "adaptive");
    // Beyond the HID system's range: the fastest speed the schema allows.
    EXPECT_EQ(accelerate(7.0), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(speed(), 1.0);
}

TEST_F(GnomePointerTest, OffIsTheFlatProfileAndKeepsTheSpeed) {
    accelerate(2.25);
    EXPECT_EQ(accelerate(-1.0), kIOReturnSuccess);
    EXPECT_EQ(profile(), "flat");
    EXPECT_DOUBLE_EQ(speed(), 0.5);
    // Turned on again with the agent's value.
    accelerate(2.25);
    EXPECT_EQ(profile(), "adaptive");
}

TEST_F(GnomePointerTest, ReadBackIsTheInverseOfTheSpeed) {
    for (double a : {0.0, 0.25, 0.6875, 1.5, 2.0, 3.0}) {
        accelerate(a);
        double back = -7;
        EXPECT_EQ(hid->getAccelerationWithKey(connect, DesktopHidSystem::kAccelerationKey, &back),
                  kIOReturnSuccess);
        EXPECT_DOUBLE_EQ(back, a);
    }
    // A speed set in GNOME's own panel reads as the acceleration it stands for.
    g_settings_set_double(view, GnomePointerControl::kSpeedKey, 0.0);
    double back = -7;
    hid->getAccelerationWithKey(connect, DesktopHidSystem::kAccelerationKey, &back);
    EXPECT_DOUBLE_EQ(back, 1.5);
    // Off does not change what is read: the value stays the agent's setting.
    accelerate(-1.0);
    hid->getAccelerationWithKey(connect, DesktopHidSystem::kAccelerationKey, &back);
    EXPECT_DOUBLE_EQ(back, 1.5);
}

TEST_F(GnomePointerTest, ClickTimeIsDoubleClickInMilliseconds) {
    EXPECT_EQ(hid->propertyTarget()->setProperties(
                  {{"HIDClickTime", Value(static_cast<std::int64_t>(600000000))}}),
              kIOReturnSuccess);
    EXPECT_EQ(g_settings_get_int(view, "double-click"), 600);
    hid->propertyTarget()->setProperties(
        {{"HIDClickTime", Value(static_cast<std::int64_t>(250400000))}});
    EXPECT_EQ(g_settings_get_int(view, "double-click"), 250);
}

TEST_F(GnomePointerTest, OnlyTheMouseKeysChange) {
    accelerate(1.0);
    hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeSwapped);
    hid->propertyTarget()->setProperties(
        {{"HIDClickTime", Value(static_cast<std::int64_t>(500000000))}});
    for (const char* key : {"natural-scroll", "middle-click-emulation", "drag-threshold"}) {
        GVariant* user = g_settings_get_user_value(view, key);
        EXPECT_EQ(user, nullptr) << key;
        if (user) {
            g_variant_unref(user);
        }
    }
}

} // namespace
} // namespace zed::test
