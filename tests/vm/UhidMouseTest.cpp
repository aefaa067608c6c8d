// A virtual USB mouse made through /dev/uhid, as the kernel's HID core and
// evdev present it: its ids, its buttons and wheel, and how grabs and
// unplugging look to readers. The mouse driver's tests build on this.
#include "UhidMouse.h"

#include "EvdevReader.h"
#include "VmTest.h"

#include <cerrno>
#include <cstring>
#include <libevdev/libevdev.h>
#include <memory>
#include <optional>
#include <sstream>

using namespace zed::test;

namespace {

std::string describe(const InputFrame& frame) {
    std::ostringstream out;
    for (const input_event& e : frame) {
        const char* name = libevdev_event_code_get_name(e.type, e.code);
        out << " " << (name ? name : "?") << "=" << e.value;
    }
    return out.str();
}

// The value of the first event of that type and code in the frame.
std::optional<int> valueIn(const InputFrame& frame, std::uint16_t type, std::uint16_t code) {
    for (const input_event& e : frame) {
        if (e.type == type && e.code == code) {
            return e.value;
        }
    }
    return std::nullopt;
}

// The events of the frame other than those of one type.
std::size_t countExcept(const InputFrame& frame, std::uint16_t type) {
    std::size_t n = 0;
    for (const input_event& e : frame) {
        n += e.type != type ? 1 : 0;
    }
    return n;
}

class VirtualUsbMouse : public ::testing::Test {
protected:
    void SetUp() override { ZED_REQUIRE_OR_SKIP(nodeMissing("/dev/uhid")); }

    // Plugs a mouse in and opens a reader on the node the kernel made of it.
    std::unique_ptr<EvdevReader> plug(UhidMouse& mouse) {
        EXPECT_TRUE(mouse.plugged()) << mouse.error();
        const std::string node = mouse.evdevNode();
        EXPECT_FALSE(node.empty()) << "no evdev node for " << mouse.uniq();
        auto reader = std::make_unique<EvdevReader>(node);
        EXPECT_TRUE(reader->ok()) << node << ": " << std::strerror(reader->openError());
        return reader;
    }

    // Sends one report and returns the one frame it makes.
    InputFrame frameOf(UhidMouse& mouse, EvdevReader& reader, const MouseReport& report) {
        EXPECT_TRUE(mouse.send(report)) << mouse.error();
        auto frames = reader.frames(1);
        if (frames.size() != 1) {
            ADD_FAILURE() << "no frame for the report";
            return {};
        }
        return frames.front();
    }
};

} // namespace

TEST_F(VirtualUsbMouse, TheMakersMiceShowUpAsUsbMiceWithTheirIds) {
    UhidMouse first({.product = 1});
    UhidMouse second({.product = 2});
    // A second mouse of the first kind: the node search tells them apart.
    UhidMouse twin({.product = 1});
    std::vector<std::unique_ptr<EvdevReader>> readers;
    for (UhidMouse* mouse : {&first, &second, &twin}) {
        readers.push_back(plug(*mouse));
    }
    std::set<std::string> nodes;
    const std::uint16_t product[] = {1, 2, 1};
    int i = 0;
    for (const auto& reader : readers) {
        ASSERT_TRUE(reader->ok());
        nodes.insert(reader->node());
        const input_id id = reader->ids();
        EXPECT_EQ(id.bustype, BUS_USB);
        EXPECT_EQ(id.vendor, 0x2F1A);
        EXPECT_EQ(id.product, product[i++]);
        EXPECT_EQ(reader->name(), first.options().name);
        // Shaped like a mouse: relative axes, a wheel with its high-resolution
        // twin, seven buttons and no absolute axes.
        for (std::uint16_t code : {REL_X, REL_Y, REL_WHEEL, REL_WHEEL_HI_RES}) {
            EXPECT_TRUE(reader->hasCode(EV_REL, code)) << code;
        }
        for (std::uint16_t code = BTN_LEFT; code <= BTN_BACK; ++code) {
            EXPECT_TRUE(reader->hasCode(EV_KEY, code)) << code;
        }
        EXPECT_FALSE(reader->hasCode(EV_KEY, BTN_TASK));
        EXPECT_FALSE(reader->hasCode(0, EV_ABS));
    }
    EXPECT_EQ(nodes.size(), 3u);
}

TEST_F(VirtualUsbMouse, AnyIdsCanBeAskedFor) {
    UhidMouse mouse({.vendor = 0x1234, .product = 0xABCD});
    auto reader = plug(mouse);
    ASSERT_TRUE(reader->ok());
    EXPECT_EQ(reader->ids().vendor, 0x1234);
    EXPECT_EQ(reader->ids().product, 0xABCD);
    EXPECT_EQ(reader->ids().bustype, BUS_USB);
}

TEST_F(VirtualUsbMouse, ButtonsOneToSevenArriveAsTheMouseButtons) {
    UhidMouse mouse;
    auto reader = plug(mouse);
    ASSERT_TRUE(reader->ok());
    const std::uint16_t expected[] = {BTN_LEFT,  BTN_RIGHT,   BTN_MIDDLE, BTN_SIDE,
                                      BTN_EXTRA, BTN_FORWARD, BTN_BACK};
    for (int n = 1; n <= 7; ++n) {
        SCOPED_TRACE("button " + std::to_string(n));
        const std::uint16_t code = expected[n - 1];
        for (const bool down : {true, false}) {
            const auto bits = static_cast<std::uint8_t>(down ? 1u << (n - 1) : 0u);
            const InputFrame frame = frameOf(mouse, *reader, {.buttons = bits});
            // The HID usage comes first as MSC_SCAN (Button page, usage n).
            ASSERT_EQ(frame.size(), 2u) << describe(frame);
            EXPECT_EQ(frame[0].type, EV_MSC);
            EXPECT_EQ(frame[0].code, MSC_SCAN);
            EXPECT_EQ(frame[0].value, 0x90000 + n);
            EXPECT_EQ(frame[1].type, EV_KEY);
            EXPECT_EQ(frame[1].code, code) << describe(frame);
            EXPECT_EQ(frame[1].value, down ? 1 : 0);
        }
    }
    EXPECT_TRUE(reader->keysDown().empty());
}

TEST_F(VirtualUsbMouse, OneWheelDetentIsOneNotchAndOneHundredTwentyHighResUnitsInOneFrame) {
    UhidMouse mouse;
    auto reader = plug(mouse);
    ASSERT_TRUE(reader->ok());
    for (const int detent : {1, -1}) {
        const InputFrame frame =
            frameOf(mouse, *reader, {.wheel = static_cast<std::int8_t>(detent)});
        EXPECT_EQ(frame.size(), 2u) << describe(frame);
        EXPECT_EQ(valueIn(frame, EV_REL, REL_WHEEL), detent) << describe(frame);
        EXPECT_EQ(valueIn(frame, EV_REL, REL_WHEEL_HI_RES), 120 * detent) << describe(frame);
    }
}

TEST_F(VirtualUsbMouse, MotionOfSixteenBitsArrivesInOneFrameAndNoMotionMakesNoFrame) {
    UhidMouse mouse;
    auto reader = plug(mouse);
    ASSERT_TRUE(reader->ok());
    InputFrame frame = frameOf(mouse, *reader, {.x = 1000, .y = -2000});
    EXPECT_EQ(frame.size(), 2u) << describe(frame);
    EXPECT_EQ(valueIn(frame, EV_REL, REL_X), 1000);
    EXPECT_EQ(valueIn(frame, EV_REL, REL_Y), -2000);
    frame = frameOf(mouse, *reader, {.x = -32767});
    EXPECT_EQ(frame.size(), 1u) << describe(frame);
    EXPECT_EQ(valueIn(frame, EV_REL, REL_X), -32767);

    // The input core drops zero motion and repeated button states: an empty
    // report makes no frame, so the next frame is the next real report's.
    ASSERT_TRUE(mouse.send({}));
    frame = frameOf(mouse, *reader, {.y = 3});
    EXPECT_EQ(countExcept(frame, EV_SYN), 1u) << describe(frame);
    EXPECT_EQ(valueIn(frame, EV_REL, REL_Y), 3) << describe(frame);
    EXPECT_TRUE(reader->framesNow().empty());
}

TEST_F(VirtualUsbMouse, AnExclusiveGrabKeepsASecondReaderFromSeeingEvents) {
    UhidMouse mouse;
    auto grabbed = plug(mouse);
    ASSERT_TRUE(grabbed->ok());
    EvdevReader other(grabbed->node());
    ASSERT_TRUE(other.ok());
    ASSERT_EQ(grabbed->grab(true), 0);
    EXPECT_EQ(other.grab(true), EBUSY) << "a second grab";

    const InputFrame frame = frameOf(mouse, *grabbed, {.buttons = 1});
    EXPECT_EQ(valueIn(frame, EV_KEY, BTN_LEFT), 1) << describe(frame);
    // Delivery is done when the report is written: nothing waits for the other reader.
    EXPECT_TRUE(other.framesNow().empty());
    EXPECT_TRUE(other.partialFrame().empty());

    ASSERT_EQ(grabbed->grab(false), 0);
    ASSERT_TRUE(mouse.send({}));
    const auto frames = other.frames(1);
    ASSERT_EQ(frames.size(), 1u) << "the release after the grab ended";
    EXPECT_EQ(valueIn(frames[0], EV_KEY, BTN_LEFT), 0) << describe(frames[0]);
}

TEST_F(VirtualUsbMouse, UnpluggingGivesTheGrabbedReaderEnodev) {
    UhidMouse mouse;
    auto reader = plug(mouse);
    ASSERT_TRUE(reader->ok());
    ASSERT_EQ(reader->grab(true), 0);
    const InputFrame frame = frameOf(mouse, *reader, {.buttons = 2});
    EXPECT_EQ(valueIn(frame, EV_KEY, BTN_RIGHT), 1) << describe(frame);

    ASSERT_TRUE(mouse.unplug());
    EXPECT_EQ(reader->waitForReadError(), ENODEV);
    EXPECT_TRUE(findEvdevNode({.uniq = mouse.uniq()}).empty());
    EXPECT_FALSE(mouse.send({})) << "a report after the unplug";
}
