// zed-vm-demo: the story of scripts/demo told on a real kernel (scripts/demo
// --vm runs it in the test machine). A virtual USB mouse with the maker's ids
// is plugged in, zed-driver adopts it, the agent applies the settings, and
// what the virtual pointer and the agent's virtual keyboard emit is printed.
// It exits 1 when something does not happen as told.
#include "AgentProcess.h"
#include "Driver/MouseIdentity.h"
#include "EvdevReader.h"
#include "Platform/core/PropertyList.h"
#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/DBusNotificationCenter.h"
#include "SimulatorHarness.h"
#include "UhidMouse.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <libevdev/libevdev.h>
#include <memory>
#include <sstream>
#include <unistd.h>

using namespace zed;
using namespace zed::test;

namespace {

constexpr const char* kDriverClass = "com_tovik_driver_TovikCopperhoundDriver";

int failures = 0;

void say(const std::string& title) {
    std::printf("\n== %s\n", title.c_str());
    std::fflush(stdout);
}
void line(const std::string& text) {
    std::printf("  %s\n", text.c_str());
    std::fflush(stdout);
}
void check(bool ok, const std::string& what) {
    if (!ok) {
        std::printf("  !! %s\n", what.c_str());
        std::fflush(stdout);
        ++failures;
    }
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) {
        s.pop_back();
    }
    return s;
}

std::string virtualPointerOf(const std::string& sourceNode) {
    const std::string phys = std::string(driver::kVirtualPhysPrefix) + sourceNode;
    for (const auto& input : std::filesystem::directory_iterator("/sys/class/input")) {
        if (input.path().filename().string().rfind("input", 0) != 0 ||
            trimmed(readFile(input.path() / "phys")) != phys) {
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

// "REL_X 50, REL_Y 25" / "KEY_C down": one frame, its SYN_REPORT left out.
std::string describe(const InputFrame& frame) {
    std::ostringstream out;
    const char* sep = "";
    for (const input_event& e : frame) {
        if (e.type == EV_MSC) {
            continue;
        }
        const char* name = libevdev_event_code_get_name(e.type, e.code);
        out << sep << (name ? name : "?") << " ";
        if (e.type == EV_KEY) {
            out << (e.value ? "down" : "up");
        } else {
            out << e.value;
        }
        sep = ", ";
    }
    return out.str();
}

void show(const char* who, const std::vector<InputFrame>& frames) {
    if (frames.empty()) {
        line(std::string(who) + ": nothing");
    }
    for (const auto& f : frames) {
        line(std::string(who) + ": " + describe(f));
    }
}

// The driver service's properties, as any client reads them.
std::optional<Dictionary> driverProperties(sd_bus* bus) {
    for (int id = 1; id <= 64; ++id) {
        const std::string path = std::string(registrybus::kServicePathPrefix) + std::to_string(id);
        char* className = nullptr;
        BusError error;
        if (sd_bus_get_property_string(bus, registrybus::kBusName, path.c_str(),
                                       registrybus::kServiceInterface, "ClassName", error.get(),
                                       &className) < 0) {
            continue;
        }
        const bool isDriver = std::string(className) == kDriverClass;
        std::free(className);
        if (!isDriver) {
            continue;
        }
        sd_bus_message* raw = nullptr;
        BusError e2;
        if (sd_bus_get_property(bus, registrybus::kBusName, path.c_str(),
                                registrybus::kServiceInterface, "Properties", e2.get(), &raw,
                                "a{sv}") < 0) {
            return std::nullopt;
        }
        MessagePtr reply(raw);
        std::string why;
        return readDictionary(reply.get(), &why);
    }
    return std::nullopt;
}

double fixedValue(const Dictionary& d, const char* key) {
    const Value* v = lookup(d, key);
    return v ? v->toInt64().value_or(0) / 65536.0 : std::nan("");
}

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

// The settings the pane would write: sensitivity, and buttons 2-5 as a key
// combination, a secondary click, a macro and on-the-fly sensitivity.
Dictionary settings(double sensitivity) {
    auto bytes = [](std::uint8_t type, const std::string& keys) {
        Data d{type};
        d.insert(d.end(), keys.begin(), keys.end());
        return Value(d);
    };
    return Dictionary{
        {"Sensitivity", Value(sensitivity)},
        {"ButtonMappings", Value(Array{bytes(0, ""), bytes(3, "520,571"), bytes(1, ""),
                                       bytes(4, "571,520,264,315"), bytes(7, "")})}};
}

class Demo {
public:
    int run() {
        say("Starting zed-driver on the machine's system bus");
        if (!driver_.start({ZED_DRIVER}) ||
            !waitFor([] { return nameHasOwner(registrybus::kBusName, BusKind::System); }, 10)) {
            line("the driver did not start: " + driver_.err());
            return 1;
        }
        line("it owns " + std::string(registrybus::kBusName));

        say("Starting the agent (the desktop's platform: the driver's registry, a uinput "
            "keyboard)");
        agent_.writeDomain(toXmlPropertyList(Value(settings(10.0))));
        if (!agent_.startOnDesktop() || !waitFor([&] {
                return agent_.out().find("Waiting for prefs changes...") != std::string::npos;
            })) {
            line("the agent did not start: " + agent_.err());
            return 1;
        }
        line("agent says: " + trimmed(agent_.out()));
        line("settings: sensitivity 10, button 2 Control+C, button 3 secondary click,");
        line("          button 4 a macro (Control down, C down, C up, Control up),");
        line("          button 5 on-the-fly sensitivity");

        say("Plugging in a virtual USB mouse 2f1a:0001 (made through /dev/uhid)");
        mouse_ = std::make_unique<UhidMouse>();
        if (!mouse_->plugged()) {
            line("cannot plug it in: " + mouse_->error());
            return 1;
        }
        const std::string source = mouse_->evdevNode();
        line("the kernel made " + source + " of it");
        std::string node;
        if (!waitFor([&] { return !(node = virtualPointerOf(source)).empty(); }, 10)) {
            line("the driver did not adopt it: " + driver_.err());
            return 1;
        }
        line("the driver adopted it: virtual pointer " + node + " (phys " +
             driver::kVirtualPhysPrefix + source + ")");
        pointer_ = std::make_unique<EvdevReader>(node);
        std::optional<Dictionary> props;
        const bool applied = waitFor([&] {
            props = driverProperties(bus_.get());
            return props && lookup(*props, "ButtonMappings");
        });
        check(applied, "the agent did not set the driver's properties");
        if (props) {
            std::string keys;
            for (const auto& [k, v] : *props) {
                keys += (keys.empty() ? "" : ", ") + k;
            }
            line("the driver's service shows: " + keys);
            if (const Value* v = lookup(*props, "Sensitivity")) {
                line("Sensitivity " + number(fixedValue(*props, "Sensitivity")) +
                     " (16.16: " + std::to_string(v->toInt64().value_or(0)) + ")");
            }
        }

        say("Motion at sensitivity 10: the mouse moves 100 right, 40 down");
        move(100, 40, 100, 40);

        say("The pane sets sensitivity 5 (domain file written, change announced)");
        agent_.writeDomain(toXmlPropertyList(Value(settings(5.0))));
        {
            DBusNotificationCenter center(openBus(BusKind::Session));
            const Dictionary info = settings(5.0);
            check(center.post("TovikCopperhound", "PrefsChange", &info, true),
                  "cannot announce the change");
        }
        check(waitFor([&] {
                  props = driverProperties(bus_.get());
                  return props && fixedValue(*props, "Sensitivity") == 5.0;
              }),
              "the agent did not set sensitivity 5");
        line("driver's Sensitivity now " + number(props ? fixedValue(*props, "Sensitivity") : 0));
        say("Motion at sensitivity 5: the same move");
        move(100, 40, 50, 20);

        say("Button 3 (remapped to the secondary click)");
        click(4);
        auto frames = pointer_->frames(2, 3);
        show("pointer", frames);
        check(keysIn(frames) ==
                  std::vector<std::pair<std::uint16_t, int>>{{BTN_RIGHT, 1}, {BTN_RIGHT, 0}},
              "expected BTN_RIGHT down and up");

        say("Button 2 (key combination Control+C), typed by the agent's virtual keyboard");
        // The agent makes its keyboard at the first key it types.
        click(2);
        std::string kbNode;
        waitFor([&] { return !(kbNode = findEvdevNode({.name = "ZED virtual keyboard"})).empty(); },
                10);
        if (kbNode.empty()) {
            line("the agent made no keyboard: " + agent_.err());
            return 1;
        }
        keyboard_ = std::make_unique<EvdevReader>(kbNode);
        keyboard_->frames(4, 1); // the first combination, if it comes after the open
        click(2);
        frames = keyboard_->frames(4, 5);
        show("keyboard", frames);
        check(keysIn(frames).size() == 4, "expected four key events");
        show("pointer", pointer_->framesNow());

        say("Button 4 (macro: Control down, C down, C up, Control up)");
        click(8);
        frames = keyboard_->frames(4, 5);
        show("keyboard", frames);
        check(keysIn(frames) ==
                  std::vector<std::pair<std::uint16_t, int>>{
                      {KEY_LEFTCTRL, 1}, {KEY_C, 1}, {KEY_C, 0}, {KEY_LEFTCTRL, 0}},
              "expected the macro's four keys in order");

        say("Button 5 held, the wheel turned up two detents (on-the-fly sensitivity)");
        mouse_->send({.buttons = 16});
        mouse_->send({.buttons = 16, .wheel = 1});
        mouse_->send({.buttons = 16, .wheel = 1});
        mouse_->send({});
        check(waitFor([&] {
                  props = driverProperties(bus_.get());
                  return props && std::abs(fixedValue(*props, "Sensitivity") - 5.4) < 0.01;
              }),
              "the agent did not step the sensitivity to 5.4");
        show("pointer", pointer_->frames(SIZE_MAX, 0.5));
        line("driver's Sensitivity now " + number(props ? fixedValue(*props, "Sensitivity") : 0));
        const std::string stored = readFile(agent_.domainFile());
        const auto key = stored.find("<key>Sensitivity</key>");
        const auto from = stored.find("<real>", key);
        const auto to = stored.find("</real>", from);
        if (key != std::string::npos && from != std::string::npos && to != std::string::npos) {
            line("the agent stored Sensitivity " + stored.substr(from + 6, to - from - 6) + " in " +
                 agent_.domainFile());
        }
        say("Motion after the steps: the same move");
        move(100, 40, 54, 22, 1);

        say("Button 1 held while the mouse is unplugged");
        mouse_->send({.buttons = 1});
        show("pointer", pointer_->frames(1, 3));
        mouse_->unplug();
        pointer_->waitForReadError();
        frames = pointer_->framesNow();
        show("pointer", frames);
        check(!frames.empty() &&
                  keysIn(frames).back() == std::pair<std::uint16_t, int>{BTN_LEFT, 0},
              "expected BTN_LEFT released");
        line("the virtual pointer is gone with the mouse");

        say("Quitting the agent and the driver");
        line("the agent ended with status " + std::to_string(agent_.stop()));
        line("the driver ended with status " + std::to_string(driver_.stop()));
        line("the driver's messages:");
        std::istringstream err(driver_.err());
        for (std::string l; std::getline(err, l);) {
            line("  " + l);
        }
        if (failures) {
            std::printf("\nzed-vm-demo: %d step(s) did not happen as told\n", failures);
        }
        return failures ? 1 : 0;
    }

private:
    // 5.4 in 16.16 is a hair below 5.4: a count either way is as told.
    void move(std::int16_t x, std::int16_t y, int wantX, int wantY, int slack = 0) {
        mouse_->send({.x = x, .y = y});
        const auto frames = pointer_->frames(1, 3);
        show("pointer", frames);
        check(std::abs(sumOf(frames, EV_REL, REL_X) - wantX) <= slack &&
                  std::abs(sumOf(frames, EV_REL, REL_Y) - wantY) <= slack,
              "expected REL_X " + std::to_string(wantX) + ", REL_Y " + std::to_string(wantY));
    }
    void click(std::uint8_t buttons) {
        mouse_->send({.buttons = buttons});
        mouse_->send({});
    }

    std::string dir_ = [] {
        char tmpl[] = "/tmp/zed-vm-demo-XXXXXX";
        return std::string(mkdtemp(tmpl));
    }();
    ChildProcess driver_{"driver", dir_};
    AgentProcess agent_;
    BusPtr bus_ = openBus(BusKind::System);
    std::unique_ptr<UhidMouse> mouse_;
    std::unique_ptr<EvdevReader> pointer_;
    std::unique_ptr<EvdevReader> keyboard_;
};

} // namespace

int main() {
    return Demo().run();
}
