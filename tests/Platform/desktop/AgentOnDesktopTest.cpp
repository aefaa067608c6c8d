// The agent's own code on the desktop services: its key sequences typed on
// the virtual keyboard, its settings read back from the X server, its click
// time reaching the desktop's double-click setting through the registry.
#include "AgentPlatform.h"
#include "Daemon/CallBacks.h"
#include "Daemon/Preferences.h"
#include "DesktopFakes.h"
#include "FakeIOKit.h"
#include "ScriptedLoginSession.h"
#include "X11Probe.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace zed::test {
using namespace zed;

namespace {

class AgentOnDesktopTest : public ::testing::Test {
protected:
    // With a real X server when asked, else a recording pointer.
    void build(bool x11) {
        auto inner = std::make_unique<FakeRegistry>();
        driver = inner->addService("com_tovik_driver_TovikCopperhoundDriver", {});
        auto properties = std::make_shared<DesktopHidProperties>(
            std::make_unique<deskfake::RecordingDoubleClick>(clickTimes));
        std::unique_ptr<PointerControl> pointerControl;
        if (x11) {
            pointerControl = std::make_unique<X11PointerControl>();
        } else {
            pointerControl = std::make_unique<deskfake::RecordingPointer>(pointer);
        }
        auto hid = std::make_unique<DesktopHidSystem>(deskfake::keyboardFactory(keyboard),
                                                      std::move(pointerControl), properties);
        desktopHid = hid.get();
        agent.platform->setRegistry(
            std::make_unique<DesktopRegistry>(std::move(inner), hid->propertyTarget()));
        agent.platform->setHidSystem(std::move(hid));
        Application* app = Application::GetApp();
        app->hidSystem = FindHidSystem();
        app->driverService = driver;
        app->prefs = std::make_unique<Preferences>();
    }
    void apply(const Dictionary& settings) {
        Application::GetApp()->prefs->SendPrefsToDriver(&settings);
    }
    // Button 1 types this key list (map type 3 or 4).
    void mapButton1(std::uint8_t type, const std::string& list) {
        Data element{type};
        element.insert(element.end(), list.begin(), list.end());
        apply({{"ButtonMappings", Value(Array{Value(std::move(element))})}});
    }
    // The driver's message for a press of button 1, in a session at the console.
    void press() {
        static_cast<ScriptedLoginSession&>(agent.platform->loginSession())
            .setSession("alice", 4242, true, true);
        DriverNotifProc(nullptr, driver, 0x0000, 0);
    }

    deskfake::KeyboardLog keyboard;
    deskfake::PointerLog pointer;
    std::vector<std::uint64_t> clickTimes;
    // Last, so the platform and its devices go before the logs they write to.
    deskfake::AgentPlatform agent;
    DesktopHidSystem* desktopHid = nullptr;
    io_service_t driver = 0;
};

using Keys = std::vector<std::pair<std::uint16_t, bool>>;

// --- Typing ---------------------------------------------------------------

TEST_F(AgentOnDesktopTest, TheAgentFindsTheDesktopHidSystemInTheRegistry) {
    build(false);
    EXPECT_EQ(Application::GetApp()->hidSystem, DesktopRegistry::kHidSystemService);
}

TEST_F(AgentOnDesktopTest, AShiftedKeyMacroLeavesNothingHeld) {
    build(false);
    BeginHidKeySequence();
    DoHidKeyEvent(56, 0x238); // Shift down
    DoHidKeyEvent(0, 0x200);  // A down
    DoHidKeyEvent(0, 0x100);  // A up
    DoHidKeyEvent(56, 0x138); // Shift up
    EndHidKeySequence();
    EXPECT_EQ(keyboard.keysSynced(),
              (Keys{{KEY_LEFTSHIFT, true}, {KEY_A, true}, {KEY_A, false}, {KEY_LEFTSHIFT, false}}));
    EXPECT_TRUE(keyboard.held().empty());
}

TEST_F(AgentOnDesktopTest, ModifiersAMacroLeavesDownAreReleasedAtItsEnd) {
    build(false);
    BeginHidKeySequence();
    DoHidKeyEvent(58, 0x23A); // Option down
    DoHidKeyEvent(59, 0x23B); // Control down
    DoHidKeyEvent(55, 0x237); // Command down
    DoHidKeyEvent(14, 0x300); // E pressed and released
    EXPECT_EQ(keyboard.held(), (std::set<std::uint16_t>{KEY_LEFTALT, KEY_LEFTCTRL, KEY_LEFTMETA}));
    EndHidKeySequence();
    EXPECT_TRUE(keyboard.held().empty());
    EXPECT_EQ(desktopHid->heldFlags(), 0u);
}

TEST_F(AgentOnDesktopTest, PlainKeyEventsOfModifierCodesPressThoseVeryKeys) {
    build(false);
    BeginHidKeySequence();
    DoHidKeyEvent(56, 0x300);
    DoHidKeyEvent(60, 0x23C); // right Shift is a plain key to the agent
    DoHidKeyEvent(60, 0x13C);
    EndHidKeySequence();
    EXPECT_EQ(keyboard.keysSynced(), (Keys{{KEY_LEFTSHIFT, true},
                                           {KEY_LEFTSHIFT, false},
                                           {KEY_RIGHTSHIFT, true},
                                           {KEY_RIGHTSHIFT, false}}));
}

TEST_F(AgentOnDesktopTest, AKeyCombinationArrivesAsAChord) {
    build(false);
    mapButton1(3, "8,59"); // Control+C as stored: the key, then its modifier
    press();
    EXPECT_EQ(keyboard.keysSynced(),
              (Keys{{KEY_LEFTCTRL, true}, {KEY_C, true}, {KEY_C, false}, {KEY_LEFTCTRL, false}}));
    keyboard.events.clear();
    mapButton1(3, "512,567,572"); // A with Command and right Shift, as the panel records it
    press();
    EXPECT_EQ(keyboard.keysSynced(), (Keys{{KEY_LEFTMETA, true},
                                           {KEY_LEFTSHIFT, true},
                                           {KEY_A, true},
                                           {KEY_A, false},
                                           {KEY_LEFTMETA, false},
                                           {KEY_LEFTSHIFT, false}}));
    EXPECT_TRUE(keyboard.held().empty());
}

TEST_F(AgentOnDesktopTest, AMacroThatEndsWithAKeyDownLeavesNothingHeld) {
    build(false);
    mapButton1(4, "512"); // A pressed, never released
    press();
    EXPECT_EQ(keyboard.keysSynced(), (Keys{{KEY_A, true}, {KEY_A, false}}));
    EXPECT_TRUE(keyboard.held().empty());
    // Its modifiers and a right-hand modifier key, which a macro presses as a plain key, too.
    keyboard.events.clear();
    mapButton1(4, "571,566,520");
    press();
    EXPECT_TRUE(keyboard.held().empty());
    EXPECT_EQ(desktopHid->heldFlags(), 0u);
    // The next sequence starts from a keyboard that holds nothing.
    keyboard.events.clear();
    mapButton1(4, "512,256");
    press();
    EXPECT_EQ(keyboard.keysSynced(), (Keys{{KEY_A, true}, {KEY_A, false}}));
}

TEST_F(AgentOnDesktopTest, WithoutUinputTheAgentStillAppliesItsSettings) {
    build(false);
    keyboard.createError = -EACCES;
    testing::internal::CaptureStderr();
    BeginHidKeySequence();
    DoHidKeyEvent(0, 0x300);
    EndHidKeySequence();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("/dev/uinput"), std::string::npos);
    apply({{"Orientation", Value(std::int32_t{1})}});
    EXPECT_EQ(pointer.swaps, std::vector<bool>{true});
}

// --- Settings -------------------------------------------------------------

TEST_F(AgentOnDesktopTest, TheClickTimeReachesTheDoubleClickSetting) {
    build(false);
    apply({{"DblClickSpeed", Value(6.0)}});
    EXPECT_EQ(clickTimes, std::vector<std::uint64_t>{600000000});
}

TEST_F(AgentOnDesktopTest, OrientationAndAccelerationReadBackFromTheXServer) {
    if (!std::getenv("DISPLAY")) {
        GTEST_SKIP() << "DISPLAY is not set: run under xvfb-run for the X server tests";
    }
    deskfake::X11Probe x;
    ASSERT_TRUE(x.ok());
    build(true);
    apply({{"Orientation", Value(std::int32_t{1})},
           {"MasterAccel", Value(0.5)},
           {"MasterAccelOn", Value(std::int32_t{0})}});
    EXPECT_EQ(x.map()[0], 3);
    EXPECT_EQ(x.map()[2], 1);
    EXPECT_DOUBLE_EQ(x.factor(), 1.5);
    apply({{"Orientation", Value(std::int32_t{0})},
           {"MasterAccel", Value(0.5)},
           {"MasterAccelOn", Value(std::int32_t{1})}});
    EXPECT_EQ(x.map()[0], 1);
    EXPECT_EQ(x.map()[2], 3);
    EXPECT_DOUBLE_EQ(x.factor(), 1.0); // acceleration off
}

TEST_F(AgentOnDesktopTest, TheDefaultAccelerationIsTheXServersOwn) {
    if (!std::getenv("DISPLAY")) {
        GTEST_SKIP() << "DISPLAY is not set: run under xvfb-run for the X server tests";
    }
    deskfake::X11Probe x;
    ASSERT_TRUE(x.ok());
    x.setFactor(7, 4);
    build(true);
    const Dictionary defaults = Preferences::InitPrefs();
    const Value* accel = lookup(defaults, "MasterAccel");
    ASSERT_TRUE(accel);
    EXPECT_DOUBLE_EQ(accel->toDouble().value_or(-1), 0.75);
}

} // namespace
} // namespace zed::test
