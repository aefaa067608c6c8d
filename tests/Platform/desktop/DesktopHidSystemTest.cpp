#include "DesktopFakes.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

namespace zed::test {
using namespace zed;
using deskfake::KeyboardLog;

namespace {

constexpr std::uint32_t kCommand = 0x100000, kShift = 0x20000, kCapsLock = 0x10000,
                        kOption = 0x80000, kControl = 0x40000;

class DesktopHidSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        properties = std::make_shared<DesktopHidProperties>(
            std::make_unique<deskfake::RecordingDoubleClick>(clickTimes));
        hid = std::make_unique<DesktopHidSystem>(
            deskfake::keyboardFactory(keyboard),
            std::make_unique<deskfake::RecordingPointer>(pointer), properties);
        ASSERT_EQ(hid->open(DesktopRegistry::kHidSystemService, kIOHIDParamConnectType, &connect),
                  kIOReturnSuccess);
    }

    IOReturn key(std::uint32_t type, std::uint8_t code) {
        NXEventData data;
        data.setKeyCode(code);
        return hid->postEvent(connect, type, 0, 0, data, 0, 0, 0);
    }
    IOReturn flags(std::uint32_t f) {
        return hid->postEvent(connect, NX_FLAGSCHANGED, 0, 0, NXEventData{}, 2, f,
                              kIOHIDSetGlobalEventFlags);
    }

    KeyboardLog keyboard;
    deskfake::PointerLog pointer;
    std::vector<std::uint64_t> clickTimes;
    std::shared_ptr<DesktopHidProperties> properties;
    std::unique_ptr<DesktopHidSystem> hid;
    io_connect_t connect = 0;
};

using Keys = std::vector<std::pair<std::uint16_t, bool>>;

// --- Typing ---------------------------------------------------------------

TEST_F(DesktopHidSystemTest, KeyDownAndUpArePressAndReleaseEachWithASync) {
    EXPECT_EQ(key(NX_KEYDOWN, 0), kIOReturnSuccess);
    EXPECT_EQ(key(NX_KEYUP, 0), kIOReturnSuccess);
    ASSERT_EQ(keyboard.events.size(), 4u);
    EXPECT_FALSE(keyboard.events[0].sync);
    EXPECT_TRUE(keyboard.events[1].sync);
    EXPECT_EQ(keyboard.keysSynced(), (Keys{{KEY_A, true}, {KEY_A, false}}));
}

TEST_F(DesktopHidSystemTest, KeysAreTranslatedThroughTheTable) {
    for (std::uint8_t vk : {36, 122, 126, 55}) {
        key(NX_KEYDOWN, vk);
        key(NX_KEYUP, vk);
    }
    EXPECT_EQ(keyboard.keysSynced(), (Keys{{KEY_ENTER, true},
                                           {KEY_ENTER, false},
                                           {KEY_F1, true},
                                           {KEY_F1, false},
                                           {KEY_UP, true},
                                           {KEY_UP, false},
                                           {KEY_LEFTMETA, true},
                                           {KEY_LEFTMETA, false}}));
    EXPECT_TRUE(keyboard.held().empty());
}

TEST_F(DesktopHidSystemTest, AKeyWithoutCounterpartIsRefusedAndNothingIsSent) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(key(NX_KEYDOWN, 52), kIOReturnBadArgument);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("52"), std::string::npos);
    NXEventData wide;
    wide.setKeyCode(0x1234);
    testing::internal::CaptureStderr();
    EXPECT_EQ(hid->postEvent(connect, NX_KEYDOWN, 0, 0, wide, 0, 0, 0), kIOReturnBadArgument);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(keyboard.events.empty());
}

TEST_F(DesktopHidSystemTest, OtherEventTypesAreUnsupported) {
    EXPECT_EQ(hid->postEvent(connect, 1, 0, 0, NXEventData{}, 0, 0, 0), kIOReturnUnsupported);
    EXPECT_TRUE(keyboard.events.empty());
}

// --- Modifier state -------------------------------------------------------

TEST_F(DesktopHidSystemTest, FlagsChangesPressAndReleaseOnlyTheDifference) {
    flags(kShift | kCommand);
    EXPECT_EQ(keyboard.held(), (std::set<std::uint16_t>{KEY_LEFTSHIFT, KEY_LEFTMETA}));
    const std::size_t before = keyboard.events.size();
    flags(kCommand);
    EXPECT_EQ(keyboard.held(), (std::set<std::uint16_t>{KEY_LEFTMETA}));
    EXPECT_EQ(keyboard.events.size() - before, 2u); // one release and its sync
    flags(kCommand);
    EXPECT_EQ(keyboard.events.size() - before, 2u); // already there: nothing sent
    EXPECT_EQ(hid->heldFlags(), kCommand);
}

TEST_F(DesktopHidSystemTest, EveryFlagsCombinationIsReachedFromThePreviousOne) {
    const std::pair<std::uint32_t, std::uint16_t> keys[] = {{kCommand, KEY_LEFTMETA},
                                                            {kShift, KEY_LEFTSHIFT},
                                                            {kOption, KEY_LEFTALT},
                                                            {kControl, KEY_LEFTCTRL}};
    // Walks the combinations in an order that changes several bits at once.
    for (std::uint32_t i = 0; i < 16; ++i) {
        const std::uint32_t pick = (i * 7) % 16;
        std::uint32_t f = 0;
        std::set<std::uint16_t> expected;
        for (int b = 0; b < 4; ++b) {
            if (pick & (1u << b)) {
                f |= keys[b].first;
                expected.insert(keys[b].second);
            }
        }
        flags(f);
        EXPECT_EQ(keyboard.held(), expected) << std::hex << f;
        EXPECT_EQ(hid->heldFlags(), f);
    }
    flags(0);
    EXPECT_TRUE(keyboard.held().empty());
    for (const auto& [code, pressed] : keyboard.keysSynced()) {
        EXPECT_NE(code, 0xFFFF) << "a key event without its sync";
    }
}

TEST_F(DesktopHidSystemTest, CapsLockIsTappedOnAndTappedOffNeverHeld) {
    flags(kCapsLock);
    EXPECT_EQ(keyboard.keysSynced(), (Keys{{KEY_CAPSLOCK, true}, {KEY_CAPSLOCK, false}}));
    EXPECT_EQ(hid->heldFlags(), kCapsLock);
    flags(kCapsLock | kShift);
    flags(0);
    EXPECT_EQ(keyboard.keysSynced(), (Keys{{KEY_CAPSLOCK, true},
                                           {KEY_CAPSLOCK, false},
                                           {KEY_LEFTSHIFT, true},
                                           {KEY_LEFTSHIFT, false},
                                           {KEY_CAPSLOCK, true},
                                           {KEY_CAPSLOCK, false}}));
    EXPECT_TRUE(keyboard.held().empty());
}

TEST_F(DesktopHidSystemTest, FlagBitsOtherThanTheFiveModifiersAreIgnored) {
    flags(0x1 | 0x800000 | 0x200000);
    EXPECT_TRUE(keyboard.events.empty());
    EXPECT_EQ(hid->heldFlags(), 0u);
}

// --- The end of a sequence -----------------------------------------------

TEST_F(DesktopHidSystemTest, ReleasingHeldKeysLetsGoOfEveryKeyDownInOneFrame) {
    key(NX_KEYDOWN, 54); // right Command, a plain key here
    key(NX_KEYDOWN, 0);
    key(NX_KEYDOWN, 1);
    key(NX_KEYUP, 1);
    flags(kShift | kCapsLock);
    const std::size_t before = keyboard.events.size();
    EXPECT_EQ(hid->releaseHeldKeys(connect), kIOReturnSuccess);
    EXPECT_TRUE(keyboard.held().empty());
    EXPECT_EQ(hid->heldFlags(), 0u);
    // The modifiers as a flags change would let go of them (Caps Lock tapped
    // off), then the plain keys together, one sync after them.
    const std::vector<KeyboardLog::Event> tail(keyboard.events.end() - 3, keyboard.events.end());
    ASSERT_GT(keyboard.events.size(), before + 3);
    EXPECT_FALSE(tail[0].sync);
    EXPECT_FALSE(tail[1].pressed);
    EXPECT_FALSE(tail[1].sync);
    EXPECT_TRUE(tail[2].sync);
    EXPECT_EQ((std::set<std::uint16_t>{tail[0].code, tail[1].code}),
              (std::set<std::uint16_t>{KEY_A, KEY_RIGHTMETA}));

    // Nothing held: nothing sent.
    const std::size_t after = keyboard.events.size();
    EXPECT_EQ(hid->releaseHeldKeys(connect), kIOReturnSuccess);
    EXPECT_EQ(keyboard.events.size(), after);
}

TEST_F(DesktopHidSystemTest, KeysOfAVanishedKeyboardAreNotReleasedOnItsSuccessor) {
    key(NX_KEYDOWN, 0);
    keyboard.vanished = 1;
    key(NX_KEYDOWN, 11); // B, on a new keyboard
    EXPECT_EQ(keyboard.created, 2);
    EXPECT_EQ(hid->releaseHeldKeys(connect), kIOReturnSuccess);
    EXPECT_EQ(keyboard.keysSynced().back(), (std::pair<std::uint16_t, bool>{KEY_B, false}));
    for (const auto& e : keyboard.events) {
        EXPECT_FALSE(e.device == 2 && e.code == KEY_A) << "A was never down on the new device";
    }
    EXPECT_TRUE(keyboard.held().empty());
    hid->close(connect);
    EXPECT_EQ(hid->releaseHeldKeys(connect), kIOReturnNotOpen);
}

// --- The keyboard device --------------------------------------------------

TEST_F(DesktopHidSystemTest, TheKeyboardIsCreatedOnTheFirstPostAndKept) {
    EXPECT_EQ(keyboard.created, 0); // opening the connection creates nothing
    key(NX_KEYDOWN, 0);
    key(NX_KEYUP, 0);
    flags(kShift);
    flags(0);
    EXPECT_EQ(keyboard.created, 1);
    EXPECT_TRUE(keyboard.destroyed.empty());
}

TEST_F(DesktopHidSystemTest, AVanishedKeyboardIsRecreatedAndTheEventStillArrives) {
    flags(kShift);
    keyboard.vanished = 1;
    EXPECT_EQ(flags(kShift | kControl), kIOReturnSuccess);
    EXPECT_EQ(keyboard.created, 2);
    // The new device starts with nothing pressed, so both modifiers go down on it.
    std::set<std::uint16_t> onNew;
    for (const auto& e : keyboard.events) {
        if (e.device == 2 && !e.sync && e.pressed) {
            onNew.insert(e.code);
        }
    }
    EXPECT_EQ(onNew, (std::set<std::uint16_t>{KEY_LEFTSHIFT, KEY_LEFTCTRL}));
    EXPECT_EQ(keyboard.held(), onNew);
    EXPECT_EQ(key(NX_KEYDOWN, 1), kIOReturnSuccess);
    EXPECT_EQ(keyboard.events[keyboard.events.size() - 2].device, 2);
}

TEST_F(DesktopHidSystemTest, NoAccessToUinputIsSaidOnceAndSettingsStillApply) {
    keyboard.createError = -EACCES;
    testing::internal::CaptureStderr();
    EXPECT_NE(key(NX_KEYDOWN, 0), kIOReturnSuccess);
    EXPECT_NE(key(NX_KEYUP, 0), kIOReturnSuccess);
    EXPECT_NE(flags(kShift), kIOReturnSuccess);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("/dev/uinput"), std::string::npos) << err;
    EXPECT_NE(err.find("uaccess"), std::string::npos) << err;
    EXPECT_EQ(err.find("cannot create"), err.rfind("cannot create"))
        << "said more than once: " << err;
    EXPECT_EQ(hid->setMouseButtonMode(connect, 1), kIOReturnSuccess);
    EXPECT_EQ(pointer.swaps, std::vector<bool>{true});
    // Once the rule is in place the next key gets through.
    keyboard.createError = 0;
    EXPECT_EQ(key(NX_KEYDOWN, 0), kIOReturnSuccess);
    EXPECT_EQ(keyboard.created, 1);
}

TEST_F(DesktopHidSystemTest, NoUinputModuleSaysHowToLoadIt) {
    keyboard.createError = -ENOENT;
    testing::internal::CaptureStderr();
    key(NX_KEYDOWN, 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("modprobe uinput"), std::string::npos) << err;
}

// --- Connections and pointer settings -------------------------------------

TEST_F(DesktopHidSystemTest, CallsNeedAnOpenConnection) {
    hid->close(connect);
    EXPECT_EQ(key(NX_KEYDOWN, 0), kIOReturnNotOpen);
    EXPECT_EQ(hid->setMouseButtonMode(connect, 1), kIOReturnNotOpen);
    double a = 0;
    EXPECT_EQ(hid->getAccelerationWithKey(connect, "HIDMouseAcceleration", &a), kIOReturnNotOpen);
    EXPECT_EQ(hid->setMouseButtonMode(0, 1), kIOReturnNotOpen);
    EXPECT_EQ(keyboard.created, 0);
    EXPECT_TRUE(pointer.swaps.empty());
}

TEST_F(DesktopHidSystemTest, OpenWantsAServiceAndTheParameterConnection) {
    io_connect_t c = 99;
    EXPECT_EQ(hid->open(0, kIOHIDParamConnectType, &c), kIOReturnBadArgument);
    EXPECT_EQ(c, 0u);
    EXPECT_EQ(hid->open(DesktopRegistry::kHidSystemService, 0, &c), kIOReturnBadArgument);
    io_connect_t second = 0;
    EXPECT_EQ(hid->open(DesktopRegistry::kHidSystemService, kIOHIDParamConnectType, &second),
              kIOReturnSuccess);
    EXPECT_NE(second, connect);
    hid->close(second);
    EXPECT_EQ(hid->setMouseButtonMode(connect, 2), kIOReturnSuccess); // the first stays open
}

TEST_F(DesktopHidSystemTest, ButtonModeOneSwapsTwoRestoresOthersAreRefused) {
    EXPECT_EQ(hid->setMouseButtonMode(connect, 1), kIOReturnSuccess);
    EXPECT_EQ(hid->setMouseButtonMode(connect, 2), kIOReturnSuccess);
    EXPECT_EQ(hid->setMouseButtonMode(connect, 0), kIOReturnBadArgument);
    EXPECT_EQ(hid->setMouseButtonMode(connect, 3), kIOReturnBadArgument);
    EXPECT_EQ(pointer.swaps, (std::vector<bool>{true, false}));
}

TEST_F(DesktopHidSystemTest, MouseAccelerationGoesToThePointerOtherKeysDoNot) {
    EXPECT_EQ(hid->setAccelerationWithKey(connect, "HIDMouseAcceleration", -1.0), kIOReturnSuccess);
    EXPECT_EQ(hid->setAccelerationWithKey(connect, "HIDTrackpadAcceleration", 2.0),
              kIOReturnUnsupported);
    EXPECT_EQ(pointer.accelerations, std::vector<double>{-1.0});
    pointer.current = 1.25;
    double a = 0;
    EXPECT_EQ(hid->getAccelerationWithKey(connect, "HIDMouseAcceleration", &a), kIOReturnSuccess);
    EXPECT_EQ(a, 1.25);
}

// --- Properties -----------------------------------------------------------

TEST_F(DesktopHidSystemTest, ClickTimeGoesToTheDoubleClickSettingAndReadsBack) {
    const Dictionary set{{"HIDClickTime", Value(std::int64_t{600000000})}};
    EXPECT_EQ(hid->propertyTarget()->setProperties(set), kIOReturnSuccess);
    EXPECT_EQ(clickTimes, std::vector<std::uint64_t>{600000000});
    EXPECT_EQ(hid->propertyTarget()->copyProperties(), set);
}

TEST_F(DesktopHidSystemTest, AClickTimeThatIsNoTimeIsRefused) {
    EXPECT_EQ(properties->setProperties({{"HIDClickTime", Value("soon")}}), kIOReturnBadArgument);
    EXPECT_EQ(properties->setProperties({{"HIDClickTime", Value(std::int64_t{-5})}}),
              kIOReturnBadArgument);
    EXPECT_TRUE(clickTimes.empty());
    // An empty dictionary, as the agent sends without a click time, is fine.
    EXPECT_EQ(properties->setProperties({}), kIOReturnSuccess);
}

} // namespace
} // namespace zed::test
