#include "AgentFixture.h"
#include "Daemon/HidUtils.h"

namespace zed::test {
namespace {

struct Posted {
    std::uint32_t type;
    std::uint16_t keyCode;
    std::uint32_t version;
    std::uint32_t flags;
    std::uint32_t options;
    bool operator==(const Posted&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Posted& p) {
    return os << "{type " << p.type << ", key " << p.keyCode << ", version " << p.version
              << ", flags 0x" << std::hex << p.flags << std::dec << ", options " << p.options
              << "}";
}

constexpr Posted down(std::uint16_t key) {
    return {zed::NX_KEYDOWN, key, 0, 0, 0};
}
constexpr Posted up(std::uint16_t key) {
    return {zed::NX_KEYUP, key, 0, 0, 0};
}
constexpr Posted flags(std::uint32_t f) {
    return {zed::NX_FLAGSCHANGED, 0, 2, f, 1};
}

class KeyEventsTest : public AgentTest {
protected:
    std::vector<Posted> posted() const {
        std::vector<Posted> out;
        for (const auto& e : hid->events) {
            out.push_back({e.type, e.data.keyCode(), e.dataVersion, e.flags, e.options});
            EXPECT_EQ(e.x, 0);
            EXPECT_EQ(e.y, 0);
        }
        return out;
    }
};

} // namespace

TEST_F(KeyEventsTest, PlainKeysArePressedAndReleasedWithTheirCodeOnly) {
    DoHidKeyEvent(56, 0x300); // Shift as a plain key in a key combination
    DoHidKeyEvent(8, 0x208);
    DoHidKeyEvent(8, 0x108);
    DoHidKeyEvent(54, 0x236); // right-hand modifiers are plain keys
    DoHidKeyEvent(60, 0x23C);
    EXPECT_EQ(posted(),
              (std::vector<Posted>{down(56), up(56), down(8), up(8), down(54), down(60)}));
    EXPECT_EQ(gModifiers, 0u);
    for (const auto& e : hid->events) {
        for (std::size_t i = 0; i < e.data.bytes.size(); ++i) {
            if (i != zed::NXEventData::kKeyCodeOffset &&
                i != zed::NXEventData::kKeyCodeOffset + 1) {
                ASSERT_EQ(e.data.bytes[i], 0) << "byte " << i;
            }
        }
    }
}

TEST_F(KeyEventsTest, ModifierItemsChangeTheHeldFlags) {
    DoHidKeyEvent(56, 0x238);
    EXPECT_EQ(gModifiers, 0x20000u);
    DoHidKeyEvent(55, 0x237);
    DoHidKeyEvent(55, 0x137);
    DoHidKeyEvent(56, 0x138);
    DoHidKeyEvent(55, 0x337); // pressed and released in one item
    EXPECT_EQ(posted(), (std::vector<Posted>{flags(0x20000), flags(0x120000), flags(0x20000),
                                             flags(0), flags(0)}));
    EXPECT_EQ(gModifiers, 0u);
}

TEST_F(KeyEventsTest, FlagsWithoutPressOrRelease) {
    DoHidKeyEvent(8, 0);
    EXPECT_TRUE(hid->events.empty()) << "a plain key without flags posts nothing";
    DoHidKeyEvent(59, 0x23B);
    DoHidKeyEvent(59, 0x3B); // a modifier without flags: the unchanged state again
    EXPECT_EQ(posted(), (std::vector<Posted>{flags(0x40000), flags(0x40000)}));
}

TEST_F(KeyEventsTest, EndingASequenceReleasesEveryModifierAndThenEveryKey) {
    BeginHidKeySequence();
    DoHidKeyEvent(58, 0x23A); // Option held at the end of a macro
    DoHidKeyEvent(57, 0x239);
    DoHidKeyEvent(0, 0x200); // and A, never released
    EXPECT_TRUE(hid->heldKeyReleases.empty()) << "only the end of a sequence lets go";
    EndHidKeySequence();
    EXPECT_EQ(gModifiers, 0u);
    EXPECT_EQ(posted().back(), flags(0));
    EXPECT_EQ(posted()[1], flags(0x90000));
    // After the modifier reset, on the same connection, everything goes up.
    EXPECT_EQ(hid->heldKeyReleases, std::vector<std::size_t>{hid->events.size()});
}

TEST_F(KeyEventsTest, TheConnectionIsOpenedOnceAndRetriedAfterAFailure) {
    hid->openStatus = zed::kIOReturnNotPermitted;
    DoHidKeyEvent(8, 0x300);
    EXPECT_TRUE(hid->events.empty()) << "no connection: the keys are not typed";
    hid->openStatus = zed::kIOReturnSuccess;
    DoHidKeyEvent(8, 0x300);
    DoHidKeyEvent(9, 0x300);
    EXPECT_EQ(hid->opens, 1);
    EXPECT_EQ(hid->events.size(), 4u);
    for (const auto& e : hid->events) {
        EXPECT_EQ(e.connect, hid->lastConnect);
    }
}

TEST_F(KeyEventsTest, AnEventThatFindsTheConnectionGoneArrivesOnTheReopenedOne) {
    DoHidKeyEvent(8, 0x300);
    hid->dropConnections(); // the HID system went away and came back
    // Command+Q: losing the flags change would type a plain Q.
    BeginHidKeySequence();
    EXPECT_EQ(DoHidKeyEvent(55, 0x237), zed::kIOReturnSuccess);
    DoHidKeyEvent(12, 0x300);
    EndHidKeySequence();
    EXPECT_EQ(posted(),
              (std::vector<Posted>{down(8), up(8), flags(0x100000), down(12), up(12), flags(0)}));
    EXPECT_EQ(hid->opens, 2);
    for (std::size_t i = 2; i < hid->events.size(); ++i) {
        EXPECT_EQ(hid->events[i].connect, hid->lastConnect) << i;
    }
    EXPECT_EQ(hid->heldKeyReleases, std::vector<std::size_t>{hid->events.size()});

    // A plain key's press after another restart arrives too.
    hid->dropConnections();
    DoHidKeyEvent(13, 0x200);
    EXPECT_EQ(posted().back(), down(13));
    EXPECT_EQ(hid->opens, 3);
}

TEST_F(KeyEventsTest, AnEventIsPostedAgainOnlyOnceWhenTheNewConnectionFailsToo) {
    DoHidKeyEvent(8, 0x300);
    const int opens = hid->opens;
    hid->postStatus = zed::kIOReturnNotOpen;
    EXPECT_EQ(DoHidKeyEvent(59, 0x23B), zed::kIOReturnNotOpen);
    EXPECT_EQ(hid->opens, opens + 1) << "one reopen and one more try, no loop";
    hid->postStatus = zed::kIOReturnSuccess;
    DoHidKeyEvent(9, 0x300);
    EXPECT_EQ(posted().back(), up(9)) << "the connection is opened afresh for the next event";
}

} // namespace zed::test
