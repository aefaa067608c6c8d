// The real zed-driver on the test machine's bus (its system bus), with udev:
// a virtual USB mouse with the maker's ids is adopted, its services appear,
// the settings set on them change what the virtual pointer emits, the real
// agent types a mapped button's keys and steps the sensitivity on the fly,
// and no way of ending (unplug, suspend, SIGTERM, SIGKILL) leaves a button
// held on the virtual pointer.
#include "AgentProcess.h"
#include "Driver/MouseIdentity.h"
#include "EvdevReader.h"
#include "Platform/core/PropertyList.h"
#include "Platform/dbus/DBusClient.h"
#include "SimulatorHarness.h"
#include "UhidMouse.h"
#include "VmTest.h"

#include <cmath>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <unistd.h>

using namespace zed;
using namespace zed::test;

namespace {

constexpr const char* kDriverClass = "com_tovik_driver_TovikCopperhoundDriver";
constexpr const char* kUsbDeviceClass = "IOUSBDevice";

std::int32_t fixed(double v) {
    return static_cast<std::int32_t>(std::lround(v * 65536));
}

std::string missingForTheStack() {
    for (const char* node : {"/dev/uhid", "/dev/uinput"}) {
        if (auto why = nodeMissing(node); !why.empty()) {
            return why;
        }
    }
    if (::access("/run/udev/control", F_OK) != 0) {
        return "needs udevd (run scripts/vm-test)";
    }
    return sessionBusMissing();
}

// The evdev node of the virtual pointer the driver made of the source node:
// the input device whose phys is the driver's prefix and that node.
std::string virtualPointerOf(const std::string& sourceNode) {
    const std::string phys = std::string(driver::kVirtualPhysPrefix) + sourceNode;
    for (const auto& input : std::filesystem::directory_iterator("/sys/class/input")) {
        const std::string name = input.path().filename();
        if (name.rfind("input", 0) != 0) {
            continue;
        }
        std::string p = readFile(input.path() / "phys");
        while (!p.empty() && p.back() == '\n') {
            p.pop_back();
        }
        if (p != phys) {
            continue;
        }
        for (const auto& child : std::filesystem::directory_iterator(input.path())) {
            const std::string c = child.path().filename();
            if (c.rfind("event", 0) == 0) {
                return "/dev/input/" + c;
            }
        }
    }
    return {};
}

// Every button (EV_KEY) the frames leave down, in order of the frames.
std::set<std::uint16_t> heldAfter(const std::vector<InputFrame>& frames,
                                  std::set<std::uint16_t> held = {}) {
    for (const auto& frame : frames) {
        for (const input_event& e : frame) {
            if (e.type == EV_KEY) {
                if (e.value) {
                    held.insert(e.code);
                } else {
                    held.erase(e.code);
                }
            }
        }
    }
    return held;
}

// Whether the virtual pointer holds nothing at its end: either it is gone (a
// removed device holds no key; readers drop what it held) or, still there,
// its key state is empty.
bool nothingHeldAtTheEnd(EvdevReader& pointer) {
    if (pointer.waitForReadError() == ENODEV) {
        return true;
    }
    return pointer.keysDown().empty();
}

// The driver's registry as a client sees it on the system bus.
class RegistryView {
public:
    RegistryView() : bus_(openBus(BusKind::System)) {}

    struct Service {
        std::string path;
        std::string className;
        Dictionary properties;
    };

    // The services served now, in id order.
    std::vector<Service> services() {
        std::vector<Service> out;
        if (!bus_) {
            return out;
        }
        // Ids count up from 1 within one driver's life.
        for (int id = 1; id <= 64; ++id) {
            Service s;
            s.path = std::string(registrybus::kServicePathPrefix) + std::to_string(id);
            char* className = nullptr;
            BusError error;
            if (sd_bus_get_property_string(bus_.get(), registrybus::kBusName, s.path.c_str(),
                                           registrybus::kServiceInterface, "ClassName", error.get(),
                                           &className) < 0) {
                continue;
            }
            s.className = className;
            std::free(className);
            sd_bus_message* raw = nullptr;
            BusError e2;
            if (sd_bus_get_property(bus_.get(), registrybus::kBusName, s.path.c_str(),
                                    registrybus::kServiceInterface, "Properties", e2.get(), &raw,
                                    "a{sv}") >= 0) {
                MessagePtr reply(raw);
                std::string why;
                s.properties = readDictionary(reply.get(), &why).value_or(Dictionary{});
            }
            out.push_back(std::move(s));
        }
        return out;
    }

    std::optional<Service> find(const std::string& className) {
        for (auto& s : services()) {
            if (s.className == className) {
                return s;
            }
        }
        return std::nullopt;
    }

    // SetProperties' status, or a negative errno when the call failed.
    std::int32_t setProperties(const std::string& path, const Dictionary& properties) {
        sd_bus_message* raw = nullptr;
        int r =
            sd_bus_message_new_method_call(bus_.get(), &raw, registrybus::kBusName, path.c_str(),
                                           registrybus::kServiceInterface, "SetProperties");
        MessagePtr m(raw);
        if (r >= 0) {
            r = appendDictionary(m.get(), properties);
        }
        sd_bus_message* replyRaw = nullptr;
        BusError error;
        if (r >= 0) {
            r = sd_bus_call(bus_.get(), m.get(), 5'000'000, error.get(), &replyRaw);
        }
        MessagePtr reply(replyRaw);
        std::int32_t status = 0;
        if (r >= 0) {
            r = sd_bus_message_read(reply.get(), "i", &status);
        }
        return r < 0 ? r : status;
    }

private:
    BusPtr bus_;
};

std::optional<std::int64_t> intOf(const Dictionary& d, const char* key) {
    const Value* v = lookup(d, key);
    return v ? v->toInt64() : std::nullopt;
}

class DriverStack : public ::testing::Test {
protected:
    void SetUp() override {
        ZED_REQUIRE_OR_SKIP(missingForTheStack());
        dir_ = makeDir();
        driver_ = std::make_unique<ChildProcess>("driver", dir_);
    }
    void TearDown() override {
        driver_.reset();
        if (!dir_.empty()) {
            std::filesystem::remove_all(dir_);
        }
    }

    static std::string makeDir() {
        char tmpl[] = "/tmp/zed-driver-e2e-XXXXXX";
        return mkdtemp(tmpl);
    }

    // Starts zed-driver and waits until it owns its name.
    bool startDriver() {
        if (!driver_->start({ZED_DRIVER})) {
            return false;
        }
        return waitFor([] { return nameHasOwner(registrybus::kBusName, BusKind::System); }, 10);
    }

    // Plugs the mouse, waits for the driver to adopt it and opens a reader
    // on its virtual pointer.
    std::unique_ptr<EvdevReader> adopt(UhidMouse& mouse) {
        EXPECT_TRUE(mouse.plugged()) << mouse.error();
        source_ = mouse.evdevNode();
        EXPECT_FALSE(source_.empty());
        std::string node;
        EXPECT_TRUE(waitFor([&] { return !(node = virtualPointerOf(source_)).empty(); }, 10))
            << "no virtual pointer for " << source_ << "; the driver says: " << driver_->err();
        if (node.empty()) {
            return nullptr;
        }
        // sysfs shows the device a moment before its node is there.
        std::unique_ptr<EvdevReader> reader;
        EXPECT_TRUE(waitFor([&] { return (reader = std::make_unique<EvdevReader>(node))->ok(); }))
            << node;
        // The services are published with the device.
        EXPECT_TRUE(waitFor([&] { return registry_.find(kDriverClass).has_value(); }, 10))
            << driver_->err();
        return reader;
    }

    // Sends the reports and returns the frames the virtual pointer emits
    // for them (each report makes one frame).
    std::vector<InputFrame> through(UhidMouse& mouse, EvdevReader& pointer,
                                    const std::vector<MouseReport>& reports) {
        for (const auto& r : reports) {
            EXPECT_TRUE(mouse.send(r)) << mouse.error();
        }
        return pointer.frames(reports.size(), 3);
    }

    int motionX(UhidMouse& mouse, EvdevReader& pointer, std::int16_t x, int reports = 1) {
        return sumOf(through(mouse, pointer, std::vector<MouseReport>(reports, {.x = x})), EV_REL,
                     REL_X);
    }

    std::string dir_;
    std::unique_ptr<ChildProcess> driver_;
    RegistryView registry_;
    std::string source_;
};

} // namespace

TEST_F(DriverStack, TheMakersMouseIsAdoptedWithItsServicesAndWithdrawnWhenUnplugged) {
    ASSERT_TRUE(startDriver()) << driver_->err();
    UhidMouse mouse({.product = 2});
    auto pointer = adopt(mouse);
    ASSERT_TRUE(pointer);

    const auto usb = registry_.find(kUsbDeviceClass);
    const auto drv = registry_.find(kDriverClass);
    ASSERT_TRUE(usb && drv);
    for (const auto* s : {&*usb, &*drv}) {
        EXPECT_EQ(intOf(s->properties, "idVendor"), 0x2F1A) << s->className;
        EXPECT_EQ(intOf(s->properties, "idProduct"), 2) << s->className;
    }
    // Before any setting, the mouse behaves as without the driver.
    EXPECT_EQ(motionX(mouse, *pointer, 100), 100);

    ASSERT_TRUE(mouse.unplug());
    EXPECT_TRUE(waitFor([&] { return registry_.services().empty(); }, 10)) << driver_->err();
    EXPECT_EQ(pointer->waitForReadError(), ENODEV) << "the virtual pointer goes with the mouse";
    EXPECT_TRUE(driver_->running());
    EXPECT_EQ(driver_->stop(SIGTERM), 0) << driver_->err();
}

TEST_F(DriverStack, SensitivityFiveHalvesTheMotionAndASecondaryClickMappingSendsBtnRight) {
    ASSERT_TRUE(startDriver()) << driver_->err();
    UhidMouse mouse;
    auto pointer = adopt(mouse);
    ASSERT_TRUE(pointer);
    const auto drv = registry_.find(kDriverClass);
    ASSERT_TRUE(drv);

    ASSERT_EQ(registry_.setProperties(drv->path, {{"Sensitivity", Value(fixed(5.0))},
                                                  {"MasterSensitivityOn", Value(1)}}),
              0);
    EXPECT_EQ(motionX(mouse, *pointer, 100), 50);
    // Half counts carried: four moves of 3 make 6, none lost.
    EXPECT_EQ(motionX(mouse, *pointer, 3, 4), 6);
    // The driver service shows what was set.
    EXPECT_EQ(intOf(registry_.find(kDriverClass)->properties, "Sensitivity"), fixed(5.0));

    // Button 3 as the secondary click.
    ASSERT_EQ(registry_.setProperties(
                  drv->path, {{"ButtonMappings",
                               Value(Array{Value(Data{0}), Value(Data{5}), Value(Data{1})})}}),
              0);
    // New mappings while it is held (a switch of settings per application):
    // it is released as it was pressed, and nothing stays held.
    auto frames = through(mouse, *pointer, {{.buttons = 4}});
    ASSERT_EQ(registry_.setProperties(
                  drv->path, {{"ButtonMappings",
                               Value(Array{Value(Data{0}), Value(Data{5}), Value(Data{5})})}}),
              0);
    const auto released = through(mouse, *pointer, {{.buttons = 0}});
    frames.insert(frames.end(), released.begin(), released.end());
    EXPECT_EQ(keysIn(frames),
              (std::vector<std::pair<std::uint16_t, int>>{{BTN_RIGHT, 1}, {BTN_RIGHT, 0}}));
    EXPECT_TRUE(heldAfter(frames).empty());
    // The next press is the new mapping's: its own, the middle button.
    EXPECT_EQ(keysIn(through(mouse, *pointer, {{.buttons = 4}, {.buttons = 0}})),
              (std::vector<std::pair<std::uint16_t, int>>{{BTN_MIDDLE, 1}, {BTN_MIDDLE, 0}}));

    // Button 3 on the fly, clicked with the wheel still: the wheel's own middle
    // click, as a press and a release in frames of their own.
    ASSERT_EQ(registry_.setProperties(
                  drv->path, {{"Otfs", Value(0)},
                              {"ButtonMappings",
                               Value(Array{Value(Data{0}), Value(Data{5}), Value(Data{7})})}}),
              0);
    const auto click = through(mouse, *pointer, {{.buttons = 4}, {.buttons = 0}});
    EXPECT_EQ(keysIn(click),
              (std::vector<std::pair<std::uint16_t, int>>{{BTN_MIDDLE, 1}, {BTN_MIDDLE, 0}}));
    EXPECT_EQ(click.size(), 2u);
    EXPECT_EQ(driver_->stop(SIGTERM), 0) << driver_->err();
}

TEST_F(DriverStack, TheAgentTypesCtrlCForAMappedButtonAndStepsTheSensitivityOnTheFly) {
    ASSERT_TRUE(startDriver()) << driver_->err();
    AgentProcess agent;
    // Button 2: Control+C as a key combination (C and Control pressed);
    // button 3: on-the-fly sensitivity.
    agent.writeDomain(toXmlPropertyList(Value(
        Dictionary{{"Sensitivity", Value(10.0)},
                   {"ButtonMappings",
                    Value(Array{Value(Data{0}), Value(Data{3, '5', '2', '0', ',', '5', '7', '1'}),
                                Value(Data{7})})}})));
    ASSERT_TRUE(agent.startOnDesktop());
    ASSERT_TRUE(waitFor([&] {
        return agent.out().find("Waiting for prefs changes...") != std::string::npos;
    })) << agent.err();

    UhidMouse mouse;
    auto pointer = adopt(mouse);
    ASSERT_TRUE(pointer);
    // Configured: the agent set the mappings on the driver.
    ASSERT_TRUE(waitFor([&] {
        const auto drv = registry_.find(kDriverClass);
        return drv && lookup(drv->properties, "ButtonMappings");
    })) << agent.err();

    // The first key typed makes the agent's keyboard; then it is read.
    ASSERT_TRUE(mouse.send({.buttons = 2}));
    ASSERT_TRUE(mouse.send({}));
    std::string keyboardNode;
    ASSERT_TRUE(waitFor(
        [&] { return !(keyboardNode = findEvdevNode({.name = "ZED virtual keyboard"})).empty(); },
        10))
        << agent.err();
    EvdevReader keyboard(keyboardNode);
    ASSERT_TRUE(keyboard.ok());
    keyboard.frames(SIZE_MAX, 1); // the first combination, if it comes now
    ASSERT_TRUE(mouse.send({.buttons = 2}));
    ASSERT_TRUE(mouse.send({}));
    const auto typed = keyboard.frames(4, 5);
    const auto keys = keysIn(typed);
    ASSERT_EQ(keys.size(), 4u) << agent.err();
    EXPECT_EQ(heldAfter(typed), std::set<std::uint16_t>{});
    std::set<std::uint16_t> pressed;
    for (const auto& [code, value] : keys) {
        if (value) {
            pressed.insert(code);
        }
    }
    EXPECT_EQ(pressed, (std::set<std::uint16_t>{KEY_LEFTCTRL, KEY_C}));
    // Control goes down before C and up after it.
    EXPECT_EQ(keys.front(), (std::pair<std::uint16_t, int>{KEY_LEFTCTRL, 1}));
    EXPECT_EQ(keys.back(), (std::pair<std::uint16_t, int>{KEY_LEFTCTRL, 0}));
    // The mouse's own button never reached the pointer.
    EXPECT_TRUE(keysIn(pointer->framesNow()).empty());

    // Button 3 held, the wheel turned down five detents: five steps of 0.2.
    ASSERT_EQ(motionX(mouse, *pointer, 100), 100);
    ASSERT_TRUE(mouse.send({.buttons = 4}));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(mouse.send({.buttons = 4, .wheel = -1}));
    }
    ASSERT_TRUE(mouse.send({}));
    EXPECT_TRUE(waitFor([&] {
        const auto drv = registry_.find(kDriverClass);
        return drv && intOf(drv->properties, "Sensitivity") == fixed(9.0);
    })) << agent.err();
    // The agent stored it.
    EXPECT_NE(readFile(agent.domainFile()).find("<real>9"), std::string::npos)
        << readFile(agent.domainFile());
    // The wheel did not scroll while it stepped, and the pointer slowed.
    EXPECT_EQ(sumOf(pointer->framesNow(), EV_REL, REL_WHEEL), 0);
    EXPECT_EQ(motionX(mouse, *pointer, 100), 90);
    EXPECT_EQ(agent.stop(), 0);
    EXPECT_EQ(driver_->stop(SIGTERM), 0) << driver_->err();
}

TEST_F(DriverStack, UnpluggingWithAButtonHeldLeavesNothingHeld) {
    ASSERT_TRUE(startDriver()) << driver_->err();
    UhidMouse mouse;
    auto pointer = adopt(mouse);
    ASSERT_TRUE(pointer);
    auto frames = through(mouse, *pointer, {{.buttons = 1}});
    ASSERT_EQ(heldAfter(frames), std::set<std::uint16_t>{BTN_LEFT});
    ASSERT_TRUE(mouse.unplug());
    EXPECT_TRUE(nothingHeldAtTheEnd(*pointer));
    EXPECT_TRUE(driver_->running()) << driver_->err();
    // A mouse plugged in afterwards is adopted afresh, with nothing held.
    UhidMouse again;
    auto next = adopt(again);
    ASSERT_TRUE(next);
    EXPECT_TRUE(next->keysDown().empty());
}

TEST_F(DriverStack, SigkillWithAButtonHeldLeavesNothingHeldAndTheMouseUngrabbed) {
    ASSERT_TRUE(startDriver()) << driver_->err();
    UhidMouse mouse;
    auto pointer = adopt(mouse);
    ASSERT_TRUE(pointer);
    ASSERT_EQ(heldAfter(through(mouse, *pointer, {{.buttons = 2}})),
              std::set<std::uint16_t>{BTN_RIGHT});
    EXPECT_EQ(driver_->stop(SIGKILL), 128 + SIGKILL);
    // The kernel destroys a uinput device with its last descriptor.
    EXPECT_EQ(pointer->waitForReadError(), ENODEV);
    EXPECT_TRUE(virtualPointerOf(source_).empty());
    // The mouse is the desktop's again.
    EvdevReader own(source_);
    ASSERT_TRUE(own.ok());
    ASSERT_TRUE(mouse.send({}));
    EXPECT_EQ(keysIn(own.frames(1)), (std::vector<std::pair<std::uint16_t, int>>{{BTN_RIGHT, 0}}));
}

TEST_F(DriverStack, SigtermWithAButtonHeldReleasesItAndExitsCleanly) {
    ASSERT_TRUE(startDriver()) << driver_->err();
    UhidMouse mouse;
    auto pointer = adopt(mouse);
    ASSERT_TRUE(pointer);
    ASSERT_EQ(heldAfter(through(mouse, *pointer, {{.buttons = 1}})),
              std::set<std::uint16_t>{BTN_LEFT});
    EXPECT_EQ(driver_->stop(SIGTERM), 0) << driver_->err();
    EXPECT_TRUE(nothingHeldAtTheEnd(*pointer));
    EXPECT_TRUE(virtualPointerOf(source_).empty());
    EXPECT_FALSE(nameHasOwner(registrybus::kBusName, BusKind::System));
    // The mouse is the desktop's again.
    EvdevReader own(source_);
    ASSERT_TRUE(own.ok());
    ASSERT_TRUE(mouse.send({}));
    EXPECT_EQ(keysIn(own.frames(1)), (std::vector<std::pair<std::uint16_t, int>>{{BTN_LEFT, 0}}));
}

TEST_F(DriverStack, SleepReleasesHeldButtonsAndWakingAdoptsTheMouseAgain) {
    ASSERT_TRUE(startDriver()) << driver_->err();
    UhidMouse mouse;
    auto pointer = adopt(mouse);
    ASSERT_TRUE(pointer);
    ASSERT_EQ(heldAfter(through(mouse, *pointer, {{.buttons = 1}})),
              std::set<std::uint16_t>{BTN_LEFT});

    // Before it owns logind's name, the same connection addresses the
    // announcement straight to the driver: nothing is released.
    BusPtr logind = openBus(BusKind::System);
    ASSERT_TRUE(logind);
    {
        sd_bus_message* raw = nullptr;
        ASSERT_GE(sd_bus_message_new_signal(logind.get(), &raw, "/org/freedesktop/login1",
                                            "org.freedesktop.login1.Manager", "PrepareForSleep"),
                  0);
        MessagePtr forged(raw);
        ASSERT_GE(sd_bus_message_set_destination(forged.get(), registrybus::kBusName), 0);
        ASSERT_GE(sd_bus_message_append(forged.get(), "b", 1), 0);
        ASSERT_GE(sd_bus_send(logind.get(), forged.get(), nullptr), 0);
        ASSERT_GE(sd_bus_flush(logind.get()), 0);
    }
    EXPECT_TRUE(waitFor([&] {
        return driver_->err().find("ignored a sleep announcement") != std::string::npos;
    })) << driver_->err();
    EXPECT_TRUE(pointer->framesNow().empty());

    // logind's announcement, from a connection that owns logind's name.
    ASSERT_GE(sd_bus_request_name(logind.get(), "org.freedesktop.login1", 0), 0);
    auto announce = [&](bool sleeping) {
        return sd_bus_emit_signal(logind.get(), "/org/freedesktop/login1",
                                  "org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                                  static_cast<int>(sleeping));
    };
    ASSERT_GE(announce(true), 0);
    sd_bus_flush(logind.get());
    const auto released = pointer->frames(1, 5);
    EXPECT_EQ(heldAfter(released, {BTN_LEFT}), std::set<std::uint16_t>{}) << driver_->err();

    ASSERT_TRUE(mouse.send({}));
    ASSERT_GE(announce(false), 0);
    sd_bus_flush(logind.get());
    // Grabbed again: motion goes through the driver.
    std::string node;
    EXPECT_TRUE(waitFor([&] {
        if (!mouse.send({.x = 7})) {
            return false;
        }
        if (!(node = virtualPointerOf(source_)).empty() && node != pointer->node()) {
            pointer = std::make_unique<EvdevReader>(node);
        }
        return sumOf(pointer->framesNow(), EV_REL, REL_X) > 0;
    })) << driver_->err();
    EXPECT_EQ(driver_->stop(SIGTERM), 0) << driver_->err();
}

TEST_F(DriverStack, QuittingDuringAnOnTheFlyGestureEndsItForTheAgent) {
    ASSERT_TRUE(startDriver()) << driver_->err();
    UhidMouse mouse;
    auto pointer = adopt(mouse);
    ASSERT_TRUE(pointer);
    const auto drv = registry_.find(kDriverClass);
    ASSERT_TRUE(drv);
    // Button 3: on-the-fly sensitivity.
    ASSERT_EQ(registry_.setProperties(
                  drv->path, {{"Otfs", Value(0)},
                              {"ButtonMappings",
                               Value(Array{Value(Data{0}), Value(Data{0}), Value(Data{7})})}}),
              0);

    // Listening as the agent does: interest registered, Message signals.
    RunLoop loop;
    BusPtr client = openBus(BusKind::System);
    ASSERT_TRUE(client && loop.attachBus(client.get()));
    std::vector<std::uint32_t> words;
    sd_bus_slot* raw = nullptr;
    ASSERT_GE(sd_bus_add_match(
                  client.get(), &raw,
                  "type='signal',interface='com.tovik.IOService',member='Message'",
                  [](sd_bus_message* m, void* userdata, sd_bus_error*) {
                      std::uint32_t type = 0;
                      std::uint64_t argument = 0;
                      if (sd_bus_message_read(m, "ut", &type, &argument) >= 0) {
                          static_cast<std::vector<std::uint32_t>*>(userdata)->push_back(type);
                      }
                      return 0;
                  },
                  &words),
              0);
    SlotPtr match(raw);
    BusError error;
    ASSERT_GE(sd_bus_call_method(client.get(), registrybus::kBusName, drv->path.c_str(),
                                 registrybus::kServiceInterface, "AddInterest", error.get(),
                                 nullptr, ""),
              0)
        << error.text(-1);

    constexpr std::uint32_t kButton3 = 2u << 8;
    constexpr std::uint32_t kOverlayBegin = 0x20000, kOverlayEnd = 0x40000;
    // Held, the wheel turned a detent: the overlay begins with the first step.
    ASSERT_TRUE(mouse.send({.buttons = 4}));
    ASSERT_TRUE(mouse.send({.buttons = 4, .wheel = 1}));
    ASSERT_TRUE(runUntil(loop, [&] { return words.size() >= 2; }));
    EXPECT_EQ(words.front(), kButton3 | kOverlayBegin);

    // Quit with the button held: the gesture's end still reaches the agent.
    EXPECT_EQ(driver_->stop(SIGTERM), 0) << driver_->err();
    EXPECT_TRUE(runUntil(
        loop, [&] { return words.size() >= 3; }, 5))
        << driver_->err();
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words.back(), kButton3 | kOverlayEnd);
}
