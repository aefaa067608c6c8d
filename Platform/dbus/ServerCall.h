// What every object of the registry server shares: sd-bus handlers that never
// let an exception reach the C library.
#pragma once

#include "Platform/core/Log.h"

#include <exception>
#include <systemd/sd-bus.h>

namespace zed::registryserver {

// Runs a handler; an exception becomes a D-Bus error and a message.
template <typename F> int guardedCall(sd_bus_error* error, F&& f) {
    try {
        return f();
    } catch (const std::exception& e) {
        zed::log("a call failed: %s", e.what());
    } catch (...) {
        zed::log("a call failed");
    }
    return sd_bus_error_set(error, SD_BUS_ERROR_FAILED, "internal error");
}

} // namespace zed::registryserver
