// The desktop HID system typing through its real uinput keyboard: what the
// kernel delivers on the keyboard's evdev node, and what it holds down.
#include "EvdevReader.h"
#include "Platform/desktop/DesktopHidSystem.h"
#include "Platform/desktop/DesktopRegistry.h"
#include "VmTest.h"

#include <filesystem>
#include <libevdev/libevdev.h>
#include <linux/uinput.h>
#include <sstream>
#include <sys/ioctl.h>

using namespace zed;
using namespace zed::test;

namespace {

constexpr const char* kKeyboardName = "ZED virtual keyboard";
constexpr std::uint32_t kCommand = 0x100000, kShift = 0x20000, kCapsLock = 0x10000,
                        kOption = 0x80000, kControl = 0x40000;
// Virtual key codes.
constexpr std::uint8_t kA = 0, kZ = 6, kC = 8, kB = 11;

// Key changes that arrive together, in any order among themselves: the
// modifiers of one flags change.
using KeyStep = std::multiset<std::pair<std::uint16_t, int>>;

std::string describe(const std::pair<std::uint16_t, int>& change) {
    const char* name = libevdev_event_code_get_name(EV_KEY, change.first);
    return std::string(name ? name : std::to_string(change.first).c_str()) +
           (change.second ? " down" : " up");
}

std::string describe(const std::vector<std::pair<std::uint16_t, int>>& changes) {
    std::ostringstream out;
    for (const auto& c : changes) {
        out << "\n  " << describe(c);
    }
    return out.str();
}

// Every key event queued on the reader, in order; anything that is not a key
// event or a frame the keyboard did not close is a failure.
std::vector<std::pair<std::uint16_t, int>> keyEvents(EvdevReader& reader) {
    std::vector<std::pair<std::uint16_t, int>> keys;
    for (const InputFrame& frame : reader.framesNow()) {
        EXPECT_FALSE(frame.empty()) << "an empty frame";
        for (const input_event& e : frame) {
            EXPECT_EQ(e.type, EV_KEY) << "type " << e.type << " code " << e.code;
            keys.emplace_back(e.code, e.value);
        }
    }
    EXPECT_TRUE(reader.partialFrame().empty()) << "a frame without its SYN_REPORT";
    return keys;
}

// The reader saw exactly these steps, and nothing else.
void expectKeys(EvdevReader& reader, const std::vector<KeyStep>& steps) {
    const auto got = keyEvents(reader);
    std::size_t at = 0;
    for (std::size_t s = 0; s < steps.size(); ++s) {
        if (at + steps[s].size() > got.size()) {
            ADD_FAILURE() << "step " << s << " missing; the keyboard sent:" << describe(got);
            return;
        }
        const KeyStep step(got.begin() + static_cast<std::ptrdiff_t>(at),
                           got.begin() + static_cast<std::ptrdiff_t>(at + steps[s].size()));
        if (step != steps[s]) {
            ADD_FAILURE() << "step " << s << " differs; the keyboard sent:" << describe(got);
            return;
        }
        at += steps[s].size();
    }
    EXPECT_EQ(at, got.size()) << "more than expected; the keyboard sent:" << describe(got);
}

std::string keyNames(const std::set<std::uint16_t>& keys) {
    std::vector<std::pair<std::uint16_t, int>> changes;
    for (std::uint16_t k : keys) {
        changes.emplace_back(k, 1);
    }
    return describe(changes);
}

// Destroys, from under their owner, the uinput devices made on this process's
// descriptors: the way a device vanishes when the kernel takes it away.
int destroyOwnUinputDevices() {
    namespace fs = std::filesystem;
    int destroyed = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        std::error_code linkError;
        if (fs::read_symlink(entry.path(), linkError) != "/dev/uinput") {
            continue;
        }
        const int fd = std::stoi(entry.path().filename().string());
        destroyed += ::ioctl(fd, UI_DEV_DESTROY) == 0 ? 1 : 0;
    }
    return destroyed;
}

class UinputTyping : public ::testing::Test {
protected:
    void SetUp() override {
        ZED_REQUIRE_OR_SKIP(nodeMissing("/dev/uinput"));
        // Every keyboard the HID system makes gets a reader before its first key.
        auto factory = [this](int* error) {
            auto keyboard = createUinputKeyboard(error);
            if (keyboard) {
                readers.push_back(
                    std::make_unique<EvdevReader>(findEvdevNode({.name = kKeyboardName})));
            }
            return keyboard;
        };
        hid = std::make_unique<DesktopHidSystem>(factory, nullptr, nullptr);
        ASSERT_EQ(hid->open(DesktopRegistry::kHidSystemService, kIOHIDParamConnectType, &connect),
                  kIOReturnSuccess);
    }

    IOReturn key(std::uint32_t type, std::uint8_t code) {
        NXEventData data;
        data.setKeyCode(code);
        return hid->postEvent(connect, type, 0, 0, data, 0, 0, 0);
    }
    IOReturn press(std::uint8_t code) { return key(NX_KEYDOWN, code); }
    IOReturn release(std::uint8_t code) { return key(NX_KEYUP, code); }
    IOReturn flags(std::uint32_t f) {
        return hid->postEvent(connect, NX_FLAGSCHANGED, 0, 0, NXEventData{}, 2, f,
                              kIOHIDSetGlobalEventFlags);
    }
    // What the agent's typing layer does when a key sequence ends.
    IOReturn endSequence() {
        const IOReturn status = flags(0);
        const IOReturn released = hid->releaseHeldKeys(connect);
        return status != kIOReturnSuccess ? status : released;
    }

    // The reader of the first keyboard made.
    EvdevReader& keyboard() { return *readers.front(); }

    // Before the HID system, so that its keyboards go first.
    std::vector<std::unique_ptr<EvdevReader>> readers;
    std::unique_ptr<DesktopHidSystem> hid;
    io_connect_t connect = 0;
};

} // namespace

TEST_F(UinputTyping, AKeyCombinationArrivesAsItsModifiersAroundTheKey) {
    ASSERT_EQ(flags(kCommand | kShift), kIOReturnSuccess);
    ASSERT_EQ(press(kZ), kIOReturnSuccess);
    ASSERT_EQ(release(kZ), kIOReturnSuccess);
    ASSERT_EQ(endSequence(), kIOReturnSuccess);

    ASSERT_EQ(readers.size(), 1u) << "keyboards made";
    ASSERT_TRUE(keyboard().ok()) << kKeyboardName << " has no readable evdev node";
    EXPECT_EQ(keyboard().name(), kKeyboardName);
    EXPECT_EQ(keyboard().ids().bustype, BUS_VIRTUAL);
    expectKeys(keyboard(), {{{KEY_LEFTMETA, 1}, {KEY_LEFTSHIFT, 1}},
                            {{KEY_Z, 1}},
                            {{KEY_Z, 0}},
                            {{KEY_LEFTMETA, 0}, {KEY_LEFTSHIFT, 0}}});
    EXPECT_TRUE(keyboard().keysDown().empty()) << keyNames(keyboard().keysDown());
}

TEST_F(UinputTyping, AMacroWithModifiersArrivesKeyByKey) {
    // Shift down, A, Option down, B, Shift up, end; then Caps Lock on and off.
    flags(kShift);
    press(kA);
    release(kA);
    flags(kShift | kOption);
    press(kB);
    release(kB);
    flags(kOption);
    endSequence();
    flags(kCapsLock);
    endSequence();

    ASSERT_EQ(readers.size(), 1u) << "keyboards made";
    ASSERT_TRUE(keyboard().ok());
    expectKeys(keyboard(), {{{KEY_LEFTSHIFT, 1}},
                            {{KEY_A, 1}},
                            {{KEY_A, 0}},
                            {{KEY_LEFTALT, 1}},
                            {{KEY_B, 1}},
                            {{KEY_B, 0}},
                            {{KEY_LEFTSHIFT, 0}},
                            {{KEY_LEFTALT, 0}},
                            // Caps Lock is a toggle: tapped on, tapped off.
                            {{KEY_CAPSLOCK, 1}},
                            {{KEY_CAPSLOCK, 0}},
                            {{KEY_CAPSLOCK, 1}},
                            {{KEY_CAPSLOCK, 0}}});
    EXPECT_TRUE(keyboard().keysDown().empty()) << keyNames(keyboard().keysDown());
}

TEST_F(UinputTyping, AMacroCutOffWithModifiersDownHasThemReleasedAtTheEnd) {
    flags(kControl | kOption);
    endSequence();

    ASSERT_EQ(readers.size(), 1u) << "keyboards made";
    ASSERT_TRUE(keyboard().ok());
    expectKeys(keyboard(),
               {{{KEY_LEFTCTRL, 1}, {KEY_LEFTALT, 1}}, {{KEY_LEFTCTRL, 0}, {KEY_LEFTALT, 0}}});
    EXPECT_TRUE(keyboard().keysDown().empty()) << keyNames(keyboard().keysDown());
}

TEST_F(UinputTyping, AMacroCutOffWithAKeyDownLeavesNothingHeld) {
    flags(kControl);
    press(kC);
    endSequence();

    ASSERT_EQ(readers.size(), 1u) << "keyboards made";
    ASSERT_TRUE(keyboard().ok());
    const auto keys = keyEvents(keyboard());
    ASSERT_GE(keys.size(), 2u) << describe(keys);
    EXPECT_EQ(keys[0], (std::pair<std::uint16_t, int>{KEY_LEFTCTRL, 1})) << describe(keys);
    EXPECT_EQ(keys[1], (std::pair<std::uint16_t, int>{KEY_C, 1})) << describe(keys);
    EXPECT_EQ(std::multiset(keys.begin() + 2, keys.end()), (KeyStep{{KEY_LEFTCTRL, 0}, {KEY_C, 0}}))
        << "the end releases both keys once:" << describe(keys);
    EXPECT_TRUE(keyboard().keysDown().empty())
        << "held at the end:" << keyNames(keyboard().keysDown());
}

TEST_F(UinputTyping, TheKeyboardIsRecreatedAfterItVanishes) {
    ASSERT_EQ(flags(kShift), kIOReturnSuccess);
    ASSERT_EQ(readers.size(), 1u);
    ASSERT_TRUE(readers[0]->ok());

    expectKeys(*readers[0], {{{KEY_LEFTSHIFT, 1}}});
    ASSERT_EQ(destroyOwnUinputDevices(), 1);
    EXPECT_EQ(readers[0]->waitForReadError(), ENODEV);

    // The next post finds the device gone and types on a new one, which
    // starts with nothing held: both modifiers go down there.
    EXPECT_EQ(flags(kShift | kControl), kIOReturnSuccess);
    ASSERT_EQ(readers.size(), 2u) << "keyboards made";
    EvdevReader& fresh = *readers[1];
    ASSERT_TRUE(fresh.ok());
    EXPECT_EQ(press(kA), kIOReturnSuccess);
    EXPECT_EQ(release(kA), kIOReturnSuccess);
    EXPECT_EQ(endSequence(), kIOReturnSuccess);
    expectKeys(fresh, {{{KEY_LEFTSHIFT, 1}, {KEY_LEFTCTRL, 1}},
                       {{KEY_A, 1}},
                       {{KEY_A, 0}},
                       {{KEY_LEFTSHIFT, 0}, {KEY_LEFTCTRL, 0}}});
    EXPECT_TRUE(fresh.keysDown().empty()) << keyNames(fresh.keysDown());
}
