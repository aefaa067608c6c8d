// One adopted mouse on the real kernel: a virtual USB mouse made through
// uhid is grabbed, its events go through the transform to the virtual
// pointer, and no button is ever left held there. The AdoptedMouse runs
// on an sd-event loop of the test's own, without udev or a bus.
#include "Driver/AdoptedMouse.h"

#include "Driver/DriverSettings.h"
#include "EvdevReader.h"
#include "Platform/core/RunLoop.h"
#include "UhidMouse.h"
#include "VmTest.h"

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <memory>
#include <optional>
#include <sstream>

using namespace zed::test;
using zed::driver::AdoptedMouse;
using zed::driver::DriverProperties;
using zed::driver::DriverSettings;
using zed::driver::MouseIdentity;

namespace {

std::string describe(const std::vector<InputFrame>& frames) {
    std::ostringstream out;
    for (const InputFrame& frame : frames) {
        out << " [";
        for (const input_event& e : frame) {
            const char* name = libevdev_event_code_get_name(e.type, e.code);
            out << " " << (name ? name : "?") << "=" << e.value;
        }
        out << " ]";
    }
    return out.str();
}

std::optional<int> valueIn(const InputFrame& frame, std::uint16_t type, std::uint16_t code) {
    for (const input_event& e : frame) {
        if (e.type == type && e.code == code) {
            return e.value;
        }
    }
    return std::nullopt;
}

zed::Value fixed(double value) {
    return zed::Value(static_cast<std::int32_t>(value * 65536));
}

struct EvdevFree {
    void operator()(libevdev* dev) const { libevdev_free(dev); }
};
using Description = std::unique_ptr<libevdev, EvdevFree>;

struct UinputFree {
    void operator()(libevdev_uinput* device) const { libevdev_uinput_destroy(device); }
};

// What the device at the node declares (its names, ids and codes), or null.
Description described(const std::string& node) {
    zed::UniqueFd fd(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    libevdev* dev = nullptr;
    if (!fd || libevdev_new_from_fd(fd.get(), &dev) != 0) {
        return nullptr;
    }
    return Description(dev);
}

class AdoptedMouseOnVm : public ::testing::Test {
protected:
    void SetUp() override {
        ZED_REQUIRE_OR_SKIP(nodeMissing("/dev/uhid"));
        ZED_REQUIRE_OR_SKIP(nodeMissing("/dev/uinput"));
        ASSERT_TRUE(loop_.valid());
    }

    // The mouse's identity as discovery would give it.
    MouseIdentity identityOf(UhidMouse& mouse) {
        EXPECT_TRUE(mouse.plugged()) << mouse.error();
        MouseIdentity id;
        id.name = mouse.options().name;
        id.vendor = mouse.options().vendor;
        id.product = mouse.options().product;
        id.node = mouse.evdevNode();
        EXPECT_FALSE(id.node.empty()) << "no evdev node for " << mouse.uniq();
        return id;
    }

    std::unique_ptr<AdoptedMouse> adopt(const MouseIdentity& id) {
        std::string error;
        AdoptedMouse::Callbacks callbacks;
        callbacks.message = [this](std::uint32_t word) { words_.push_back(word); };
        callbacks.lost = [this] { ++lost_; };
        auto mouse = AdoptedMouse::open(loop_.event(), id, std::move(callbacks), &error);
        EXPECT_TRUE(mouse) << error;
        return mouse;
    }

    // Runs the loop until the condition holds or the timeout passes.
    bool pumpUntil(const std::function<bool()>& done, double timeoutSeconds = 5) {
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(static_cast<int>(timeoutSeconds * 1000));
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            loop_.runOnce(0.01);
        }
        return true;
    }

    // Runs the loop for a while, for what must not happen.
    void pumpFor(double seconds) {
        pumpUntil([] { return false; }, seconds);
    }

    // Runs the loop until the reader has `count` frames; returns those it has.
    std::vector<InputFrame> framesFrom(EvdevReader& reader, std::size_t count) {
        std::vector<InputFrame> got;
        pumpUntil([&] {
            for (InputFrame& frame : reader.framesNow()) {
                got.push_back(std::move(frame));
            }
            return got.size() >= count;
        });
        return got;
    }

    // Sends the reports, then a click of the middle button as a marker, and
    // returns every frame of the virtual pointer before the marker's press.
    std::vector<InputFrame> framesOf(UhidMouse& mouse, EvdevReader& pointer,
                                     const std::vector<MouseReport>& reports) {
        for (const MouseReport& report : reports) {
            EXPECT_TRUE(mouse.send(report)) << mouse.error();
        }
        EXPECT_TRUE(mouse.send({.buttons = 4}));
        EXPECT_TRUE(mouse.send({}));
        std::vector<InputFrame> got;
        bool marked = false;
        pumpUntil([&] {
            for (InputFrame& frame : pointer.framesNow()) {
                if (valueIn(frame, EV_KEY, BTN_MIDDLE) == 1) {
                    marked = true;
                }
                if (!marked) {
                    got.push_back(std::move(frame));
                }
            }
            return marked;
        });
        EXPECT_TRUE(marked) << "the marker click never arrived;" << describe(got);
        pumpUntil([&] { return !pointer.frames(1, 0).empty(); }, 1); // its release
        return got;
    }

    DriverSettings settingsOf(const zed::Dictionary& changes) {
        DriverProperties properties;
        EXPECT_EQ(properties.set(changes), zed::kIOReturnSuccess) << properties.lastError();
        return properties.settings();
    }

    zed::RunLoop loop_;
    std::vector<std::uint32_t> words_;
    int lost_ = 0;
};

} // namespace

TEST_F(AdoptedMouseOnVm, TheMouseIsGrabbedAndAMouseShapedVirtualPointerTakesItsPlace) {
    UhidMouse uhid;
    const MouseIdentity id = identityOf(uhid);
    ASSERT_FALSE(id.node.empty());
    EvdevReader desktop(id.node); // what a desktop reading the mouse sees
    ASSERT_TRUE(desktop.ok());
    auto adopted = adopt(id);
    ASSERT_TRUE(adopted);
    EXPECT_TRUE(adopted->grabbed());
    EXPECT_EQ(desktop.grab(true), EBUSY) << "the driver holds the grab";

    const char* node = adopted->virtualPointer().devnode();
    ASSERT_NE(node, nullptr);
    EvdevReader pointer(node);
    ASSERT_TRUE(pointer.ok()) << node << ": " << std::strerror(pointer.openError());

    // Shaped like a mouse and marked as the driver's own.
    const auto shape = described(node);
    const auto source = described(id.node);
    ASSERT_TRUE(shape && source);
    EXPECT_EQ(std::string(libevdev_get_phys(shape.get())),
              zed::driver::kVirtualPhysPrefix + id.node);
    EXPECT_EQ(std::string(libevdev_get_name(shape.get())), id.name + " (ZED)");
    EXPECT_EQ(libevdev_get_id_vendor(shape.get()), id.vendor);
    EXPECT_EQ(libevdev_get_id_product(shape.get()), id.product);
    EXPECT_EQ(libevdev_get_id_bustype(shape.get()), BUS_USB);
    EXPECT_FALSE(libevdev_has_event_type(shape.get(), EV_ABS));
    for (unsigned code : {REL_X, REL_Y, REL_WHEEL, REL_HWHEEL}) {
        EXPECT_TRUE(libevdev_has_event_code(shape.get(), EV_REL, code)) << code;
    }
    // The high-resolution wheel as the source has it (the uhid mouse has one).
    EXPECT_TRUE(libevdev_has_event_code(shape.get(), EV_REL, REL_WHEEL_HI_RES));
    EXPECT_EQ(libevdev_has_event_code(shape.get(), EV_REL, REL_HWHEEL_HI_RES),
              libevdev_has_event_code(source.get(), EV_REL, REL_HWHEEL_HI_RES));
    for (unsigned code = BTN_LEFT; code <= BTN_TASK; ++code) {
        EXPECT_TRUE(libevdev_has_event_code(shape.get(), EV_KEY, code)) << code;
    }
    for (unsigned code = 0; code <= KEY_MAX; ++code) {
        if (code < BTN_LEFT || code > BTN_TASK) {
            EXPECT_FALSE(libevdev_has_event_code(shape.get(), EV_KEY, code)) << code;
        }
    }
    EXPECT_EQ(libevdev_has_property(shape.get(), INPUT_PROP_POINTER),
              libevdev_has_property(source.get(), INPUT_PROP_POINTER));
    EXPECT_EQ(libevdev_has_event_code(shape.get(), EV_MSC, MSC_SCAN),
              libevdev_has_event_code(source.get(), EV_MSC, MSC_SCAN));

    // Untouched settings: the events arrive as they are, on the virtual
    // pointer alone.
    ASSERT_TRUE(uhid.send({.x = 7, .y = -3}));
    auto frames = framesFrom(pointer, 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(valueIn(frames[0], EV_REL, REL_X), 7) << describe(frames);
    EXPECT_EQ(valueIn(frames[0], EV_REL, REL_Y), -3) << describe(frames);
    pumpFor(0.1);
    EXPECT_TRUE(desktop.framesNow().empty()) << "the grabbed mouse delivered to another reader";

    // Dropping the adopted mouse gives the mouse back.
    adopted.reset();
    EXPECT_EQ(desktop.grab(true), 0);
}

TEST_F(AdoptedMouseOnVm, ThePointerDeclaresNoHighResolutionWheelTheSourceLacks) {
    // A mouse of another bus (PS/2, some Bluetooth ones) has only REL_WHEEL, and
    // a pointer property. Desktops ignore REL_WHEEL on a device that declares
    // REL_WHEEL_HI_RES: declaring it here would stop such a mouse scrolling.
    std::unique_ptr<libevdev, EvdevFree> shape(libevdev_new());
    libevdev_set_name(shape.get(), "plain wheel mouse");
    libevdev_set_id_bustype(shape.get(), BUS_I8042);
    for (unsigned code : {REL_X, REL_Y, REL_WHEEL}) {
        libevdev_enable_event_code(shape.get(), EV_REL, code, nullptr);
    }
    for (unsigned code : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}) {
        libevdev_enable_event_code(shape.get(), EV_KEY, code, nullptr);
    }
    libevdev_enable_property(shape.get(), INPUT_PROP_POINTER);
    libevdev_uinput* raw = nullptr;
    ASSERT_EQ(libevdev_uinput_create_from_device(shape.get(), LIBEVDEV_UINPUT_OPEN_MANAGED, &raw),
              0);
    std::unique_ptr<libevdev_uinput, UinputFree> source(raw);
    MouseIdentity id;
    id.name = "plain wheel mouse";
    id.node = libevdev_uinput_get_devnode(source.get());
    auto adopted = adopt(id);
    ASSERT_TRUE(adopted);
    ASSERT_TRUE(adopted->grabbed());

    const auto pointerShape = described(adopted->virtualPointer().devnode());
    ASSERT_TRUE(pointerShape);
    EXPECT_FALSE(libevdev_has_event_code(pointerShape.get(), EV_REL, REL_WHEEL_HI_RES));
    EXPECT_FALSE(libevdev_has_event_code(pointerShape.get(), EV_REL, REL_HWHEEL_HI_RES));
    EXPECT_TRUE(libevdev_has_event_code(pointerShape.get(), EV_REL, REL_WHEEL));
    EXPECT_TRUE(libevdev_has_property(pointerShape.get(), INPUT_PROP_POINTER));
    EXPECT_FALSE(libevdev_has_event_type(pointerShape.get(), EV_MSC));

    EvdevReader pointer(adopted->virtualPointer().devnode());
    ASSERT_TRUE(pointer.ok());
    for (const double speed : {10.0, 20.0}) {
        SCOPED_TRACE("wheel speed " + std::to_string(speed));
        adopted->setSettings(settingsOf({{"ScrollWheelSpeed", fixed(speed)}}));
        ASSERT_EQ(libevdev_uinput_write_event(source.get(), EV_REL, REL_WHEEL, -1), 0);
        ASSERT_EQ(libevdev_uinput_write_event(source.get(), EV_SYN, SYN_REPORT, 0), 0);
        const auto frames = framesFrom(pointer, 1);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(valueIn(frames[0], EV_REL, REL_WHEEL), speed == 10.0 ? -1 : -2)
            << describe(frames);
    }
}

TEST_F(AdoptedMouseOnVm, SensitivityFiveMovesThePointerHalfAsFarAndCarriesRemainders) {
    UhidMouse uhid;
    const MouseIdentity id = identityOf(uhid);
    ASSERT_FALSE(id.node.empty());
    auto adopted = adopt(id);
    ASSERT_TRUE(adopted);
    adopted->setSettings(settingsOf({{"Sensitivity", fixed(5.0)}}));
    EvdevReader pointer(adopted->virtualPointer().devnode());
    ASSERT_TRUE(pointer.ok());

    auto frames = framesOf(uhid, pointer, {{.x = 100, .y = -60}});
    ASSERT_EQ(frames.size(), 1u) << describe(frames);
    EXPECT_EQ(valueIn(frames[0], EV_REL, REL_X), 50) << describe(frames);
    EXPECT_EQ(valueIn(frames[0], EV_REL, REL_Y), -30) << describe(frames);

    // Ten moves of 3 and -1 are 15 and -5 in all, however they are split.
    frames = framesOf(uhid, pointer, std::vector<MouseReport>(10, {.x = 3, .y = -1}));
    EXPECT_LE(frames.size(), 10u) << describe(frames);
    EXPECT_EQ(sumOf(frames, EV_REL, REL_X), 15) << describe(frames);
    EXPECT_EQ(sumOf(frames, EV_REL, REL_Y), -5) << describe(frames);
}

TEST_F(AdoptedMouseOnVm, AButtonMappedToSecondaryClickArrivesAsBtnRight) {
    UhidMouse uhid;
    const MouseIdentity id = identityOf(uhid);
    ASSERT_FALSE(id.node.empty());
    auto adopted = adopt(id);
    ASSERT_TRUE(adopted);
    zed::Array mappings;
    for (std::uint8_t type : {0, 1, 2, 1, 3, 5, 5}) {
        mappings.emplace_back(zed::Data{type});
    }
    adopted->setSettings(settingsOf({{"ButtonMappings", mappings}}));
    EvdevReader pointer(adopted->virtualPointer().devnode());
    ASSERT_TRUE(pointer.ok());

    // Button 4 (BTN_SIDE on the mouse) is a secondary click.
    ASSERT_TRUE(uhid.send({.buttons = 8}));
    auto frames = framesFrom(pointer, 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(valueIn(frames[0], EV_KEY, BTN_RIGHT), 1) << describe(frames);
    EXPECT_FALSE(valueIn(frames[0], EV_KEY, BTN_SIDE)) << describe(frames);
    EXPECT_EQ(pointer.keysDown(), std::set<std::uint16_t>{BTN_RIGHT});
    ASSERT_TRUE(uhid.send({}));
    frames = framesFrom(pointer, 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(valueIn(frames[0], EV_KEY, BTN_RIGHT), 0) << describe(frames);

    // Button 5 is mapped to keys: the agent types them, told by a message
    // word with the button's index; the pointer sees nothing of it.
    ASSERT_TRUE(uhid.send({.buttons = 16}));
    ASSERT_TRUE(pumpUntil([&] { return !words_.empty(); })) << "no message word";
    EXPECT_EQ(words_.front(), 4u << 8);
    frames = framesOf(uhid, pointer, {{}});
    EXPECT_TRUE(frames.empty()) << describe(frames);
}

TEST_F(AdoptedMouseOnVm, UnpluggingWithAButtonHeldLeavesNothingHeldOnThePointer) {
    auto uhid = std::make_unique<UhidMouse>();
    const MouseIdentity id = identityOf(*uhid);
    ASSERT_FALSE(id.node.empty());
    auto adopted = adopt(id);
    ASSERT_TRUE(adopted);
    EvdevReader pointer(adopted->virtualPointer().devnode());
    ASSERT_TRUE(pointer.ok());
    ASSERT_TRUE(uhid->send({.buttons = 2}));
    ASSERT_EQ(framesFrom(pointer, 1).size(), 1u);
    ASSERT_EQ(pointer.keysDown(), std::set<std::uint16_t>{BTN_RIGHT});

    ASSERT_TRUE(uhid->unplug());
    ASSERT_TRUE(pumpUntil([&] { return lost_ > 0; })) << "the loss was never reported";
    EXPECT_EQ(lost_, 1);
    // The owner has not destroyed the object yet: its pointer is still there.
    // (The frames first: EVIOCGKEY drops a reader's queued key events.)
    const auto frames = pointer.framesNow();
    ASSERT_EQ(frames.size(), 1u) << describe(frames);
    EXPECT_EQ(valueIn(frames[0], EV_KEY, BTN_RIGHT), 0) << describe(frames);
    EXPECT_TRUE(pointer.keysDown().empty());
    pumpFor(0.1);
    EXPECT_EQ(lost_, 1) << "the loss is reported once";
    adopted.reset();
}

TEST_F(AdoptedMouseOnVm, TheLossMayDestroyTheMouseFromItsCallback) {
    auto uhid = std::make_unique<UhidMouse>();
    const MouseIdentity id = identityOf(*uhid);
    ASSERT_FALSE(id.node.empty());
    std::unique_ptr<AdoptedMouse> adopted;
    AdoptedMouse::Callbacks callbacks;
    bool destroyed = false;
    callbacks.lost = [&] {
        adopted.reset(); // as the driver's owner does
        destroyed = true;
    };
    std::string error;
    adopted = AdoptedMouse::open(loop_.event(), id, std::move(callbacks), &error);
    ASSERT_TRUE(adopted) << error;
    ASSERT_TRUE(uhid->send({.buttons = 1}));
    pumpFor(0.05);
    ASSERT_TRUE(uhid->unplug());
    EXPECT_TRUE(pumpUntil([&] { return destroyed; }));
    pumpFor(0.1); // nothing of the destroyed object may run now
}

TEST_F(AdoptedMouseOnVm, TheGrabWaitsUntilNoButtonIsHeld) {
    UhidMouse uhid;
    const MouseIdentity id = identityOf(uhid);
    ASSERT_FALSE(id.node.empty());
    EvdevReader desktop(id.node);
    ASSERT_TRUE(desktop.ok());
    ASSERT_TRUE(uhid.send({.buttons = 1}));
    ASSERT_EQ(desktop.frames(1).size(), 1u);

    auto adopted = adopt(id);
    ASSERT_TRUE(adopted);
    EXPECT_FALSE(adopted->grabbed()) << "grabbed with the left button held";
    EvdevReader pointer(adopted->virtualPointer().devnode());
    ASSERT_TRUE(pointer.ok());
    ASSERT_TRUE(uhid.send({.buttons = 1, .x = 5}));
    pumpFor(3 * AdoptedMouse::kGrabRetrySeconds);
    EXPECT_FALSE(adopted->grabbed());
    EXPECT_EQ(desktop.framesNow().size(), 1u) << "the desktop still reads the mouse";

    // The desktop sees the release of the press it saw; then the driver grabs.
    ASSERT_TRUE(uhid.send({}));
    ASSERT_TRUE(pumpUntil([&] { return adopted->grabbed(); }));
    auto seen = desktop.framesNow();
    ASSERT_EQ(seen.size(), 1u) << describe(seen);
    EXPECT_EQ(valueIn(seen[0], EV_KEY, BTN_LEFT), 0) << describe(seen);
    EXPECT_TRUE(pointer.framesNow().empty()) << "the pointer saw what the desktop saw";

    ASSERT_TRUE(uhid.send({.buttons = 1}));
    const auto frames = framesFrom(pointer, 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(valueIn(frames[0], EV_KEY, BTN_LEFT), 1) << describe(frames);
    EXPECT_TRUE(desktop.framesNow().empty());
}

TEST_F(AdoptedMouseOnVm, AGrabHeldByAnotherProgramIsRetriedUntilItEnds) {
    UhidMouse uhid;
    const MouseIdentity id = identityOf(uhid);
    ASSERT_FALSE(id.node.empty());
    EvdevReader other(id.node);
    ASSERT_TRUE(other.ok());
    ASSERT_EQ(other.grab(true), 0);

    auto adopted = adopt(id);
    ASSERT_TRUE(adopted);
    pumpFor(3 * AdoptedMouse::kGrabRetrySeconds);
    EXPECT_FALSE(adopted->grabbed());
    ASSERT_EQ(other.grab(false), 0);
    EXPECT_TRUE(pumpUntil([&] { return adopted->grabbed(); }));
    EXPECT_EQ(other.grab(true), EBUSY);
}

TEST_F(AdoptedMouseOnVm, AButtonReleasedWhileEventsWereDroppedIsReleasedOnThePointer) {
    UhidMouse uhid;
    const MouseIdentity id = identityOf(uhid);
    ASSERT_FALSE(id.node.empty());
    auto adopted = adopt(id);
    ASSERT_TRUE(adopted);
    EvdevReader pointer(adopted->virtualPointer().devnode());
    ASSERT_TRUE(pointer.ok());
    ASSERT_TRUE(uhid.send({.buttons = 2}));
    ASSERT_EQ(framesFrom(pointer, 1).size(), 1u);
    ASSERT_EQ(pointer.keysDown(), std::set<std::uint16_t>{BTN_RIGHT});

    // Without the loop running, the release and far more motion than the
    // kernel's queue holds: it drops them and reports SYN_DROPPED.
    ASSERT_TRUE(uhid.send({}));
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(uhid.send({.x = 1}));
    }
    ASSERT_TRUE(pumpUntil([&] { return pointer.keysDown().empty(); }))
        << "BTN_RIGHT stays held on the pointer";
    // The mouse goes on working afterwards.
    const auto frames = framesOf(uhid, pointer, {{.y = 4}});
    EXPECT_EQ(sumOf(frames, EV_REL, REL_Y), 4) << describe(frames);
}

TEST_F(AdoptedMouseOnVm, SuspendReleasesEverythingAndResumeGrabsAgain) {
    UhidMouse uhid;
    const MouseIdentity id = identityOf(uhid);
    ASSERT_FALSE(id.node.empty());
    EvdevReader desktop(id.node);
    ASSERT_TRUE(desktop.ok());
    auto adopted = adopt(id);
    ASSERT_TRUE(adopted);
    EvdevReader pointer(adopted->virtualPointer().devnode());
    ASSERT_TRUE(pointer.ok());
    ASSERT_TRUE(uhid.send({.buttons = 1}));
    ASSERT_EQ(framesFrom(pointer, 1).size(), 1u);

    adopted->suspend();
    EXPECT_TRUE(pointer.keysDown().empty());
    EXPECT_FALSE(adopted->grabbed());
    EXPECT_EQ(desktop.grab(true), 0) << "the mouse is let go while asleep";
    ASSERT_EQ(desktop.grab(false), 0);
    ASSERT_TRUE(uhid.send({}));
    desktop.framesNow();

    adopted->resume();
    EXPECT_TRUE(adopted->grabbed());
    const auto frames = framesOf(uhid, pointer, {{.x = -9}});
    EXPECT_EQ(sumOf(frames, EV_REL, REL_X), -9) << describe(frames);
    EXPECT_TRUE(desktop.framesNow().empty());
    EXPECT_EQ(lost_, 0);
}
