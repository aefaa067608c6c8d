#include "DisplayHold.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <xcb/xcb.h>

namespace zed {

namespace {

// A reset takes a few milliseconds; a display that stays away this long is gone.
constexpr int kTries = 10;
constexpr std::chrono::milliseconds kPause{100};

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

} // namespace

void DisplayHold::Disconnect::operator()(xcb_connection_t* c) const {
    xcb_disconnect(c);
}

DisplayHold::DisplayHold() {
    if (set("QT_QPA_PLATFORM") && std::strncmp(std::getenv("QT_QPA_PLATFORM"), "xcb", 3) != 0) {
        return; // offscreen, wayland ...: not an X display
    }
    if (!set("DISPLAY")) {
        if (!set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM")) {
            why_ = "no display to show the window on (DISPLAY is not set); start it in a "
                   "desktop session";
        }
        return;
    }
    for (int i = 0; i < kTries; ++i) {
        connection_.reset(xcb_connect(nullptr, nullptr));
        if (xcb_connection_has_error(connection_.get()) == 0) {
            return;
        }
        connection_.reset();
        std::this_thread::sleep_for(kPause);
    }
    why_ = std::string("cannot connect to the display \"") + std::getenv("DISPLAY") +
           "\"; check that it runs and that this user may use it (XAUTHORITY)";
}

DisplayHold::~DisplayHold() = default;

void DisplayHold::release() {
    connection_.reset();
}

} // namespace zed
