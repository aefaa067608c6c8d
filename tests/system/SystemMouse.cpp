// zed-system-mouse: what scripts/system-test needs in its machine that no
// Debian package gives.
//
//   zed-system-mouse plug
//       Plugs in a virtual USB mouse 2f1a:0001 through /dev/uhid, prints
//       "source /dev/input/eventN", then reads commands from its input, one a
//       line, and answers each with one line:
//         pointer SECONDS   "pointer NODE" once the driver's virtual pointer
//                           for the mouse exists, "pointer none" after SECONDS
//         move X Y          "moved DX DY": what the virtual pointer emitted
//         click BUTTONS     presses and releases the buttons (a bit mask); "clicked"
//       End of input unplugs the mouse.
//   zed-system-mouse listen SECONDS
//       Registers interest in every service of com.tovik.IORegistry on the
//       system bus, prints "interest ID ok" or "interest ID refused: WHY" for
//       each, then "ready", and counts the Message signals that reach it for
//       SECONDS: "messages N".
#include "Driver/MouseIdentity.h"
#include "EvdevReader.h"
#include "UhidMouse.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <systemd/sd-bus.h>
#include <thread>

using namespace zed::test;

namespace {

using Clock = std::chrono::steady_clock;

std::string firstLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The driver names its virtual pointer's phys after the node it adopted.
std::string virtualPointerOf(const std::string& source) {
    const std::string phys = std::string(zed::driver::kVirtualPhysPrefix) + source;
    std::error_code ec;
    for (const auto& input : std::filesystem::directory_iterator("/sys/class/input", ec)) {
        if (input.path().filename().string().rfind("input", 0) != 0 ||
            firstLine(input.path() / "phys") != phys) {
            continue;
        }
        for (const auto& child : std::filesystem::directory_iterator(input.path(), ec)) {
            const std::string c = child.path().filename();
            if (c.rfind("event", 0) == 0) {
                return "/dev/input/" + c;
            }
        }
    }
    return {};
}

void answer(const std::string& text) {
    std::cout << text << std::endl;
}

int plug() {
    UhidMouse mouse;
    if (!mouse.plugged()) {
        std::cerr << "zed-system-mouse: cannot plug in a mouse: " << mouse.error() << "\n";
        return 1;
    }
    const std::string source = mouse.evdevNode(60);
    if (source.empty()) {
        std::cerr << "zed-system-mouse: the kernel made no evdev node of the mouse in 60 s\n";
        return 1;
    }
    answer("source " + source);
    std::unique_ptr<EvdevReader> pointer;
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "pointer") {
            double seconds = 60;
            words >> seconds;
            const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
            std::string node;
            while ((node = virtualPointerOf(source)).empty() && Clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (!node.empty() && (!pointer || pointer->node() != node)) {
                pointer = std::make_unique<EvdevReader>(node);
            }
            answer("pointer " + (node.empty() ? std::string("none") : node));
        } else if (command == "move") {
            int x = 0, y = 0;
            words >> x >> y;
            if (!pointer || !pointer->ok()) {
                answer("moved none");
                continue;
            }
            pointer->framesNow(); // what came before is not this move's
            mouse.send({.x = static_cast<std::int16_t>(x), .y = static_cast<std::int16_t>(y)});
            const auto frames = pointer->frames(1, 5);
            answer("moved " + std::to_string(sumOf(frames, EV_REL, REL_X)) + " " +
                   std::to_string(sumOf(frames, EV_REL, REL_Y)));
        } else if (command == "click") {
            int buttons = 0;
            words >> buttons;
            mouse.send({.buttons = static_cast<std::uint8_t>(buttons)});
            mouse.send({});
            answer("clicked");
        } else if (!command.empty()) {
            answer("unknown " + command);
        }
    }
    mouse.unplug();
    return 0;
}

int countMessage(sd_bus_message* m, void* userdata, sd_bus_error*) {
    if (sd_bus_message_is_signal(m, "com.tovik.IOService", "Message")) {
        ++*static_cast<int*>(userdata);
    }
    return 0;
}

int listen(double seconds) {
    sd_bus* bus = nullptr;
    if (int r = sd_bus_open_system(&bus); r < 0) {
        std::cerr << "zed-system-mouse: no system bus: " << std::strerror(-r) << "\n";
        return 1;
    }
    int messages = 0;
    // Every signal that reaches this connection is counted, whether sent to
    // it or to everyone.
    sd_bus_add_filter(bus, nullptr, countMessage, &messages);
    sd_bus_add_match(bus, nullptr, "type='signal',interface='com.tovik.IOService',member='Message'",
                     nullptr, nullptr);
    for (int id = 1; id <= 64; ++id) {
        const std::string path = "/com/tovik/IORegistry/service/" + std::to_string(id);
        sd_bus_error error = SD_BUS_ERROR_NULL;
        char* className = nullptr;
        if (sd_bus_get_property_string(bus, "com.tovik.IORegistry", path.c_str(),
                                       "com.tovik.IOService", "ClassName", &error,
                                       &className) < 0) {
            sd_bus_error_free(&error);
            continue;
        }
        std::free(className);
        sd_bus_message* reply = nullptr;
        const int r = sd_bus_call_method(bus, "com.tovik.IORegistry", path.c_str(),
                                         "com.tovik.IOService", "AddInterest", &error, &reply, "");
        answer("interest " + std::to_string(id) +
               (r >= 0 ? std::string(" ok")
                       : std::string(" refused: ") + (error.name ? error.name : "") + " " +
                             (error.message ? error.message : std::strerror(-r))));
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    }
    answer("ready");
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < deadline) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) {
            break;
        }
        if (r == 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            sd_bus_wait(bus, left.count() > 0 ? left.count() : 0);
        }
    }
    answer("messages " + std::to_string(messages));
    sd_bus_flush_close_unref(bus);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "plug" && argc == 2) {
        return plug();
    }
    if (command == "listen" && argc == 3) {
        return listen(std::atof(argv[2]));
    }
    std::cerr << "usage: zed-system-mouse plug | listen SECONDS\n";
    return 2;
}
