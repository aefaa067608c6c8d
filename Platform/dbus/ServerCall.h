// What every object of the registry server shares: sd-bus handlers that never
// let an exception reach the C library, and messages on standard error that
// name the serving program.
#pragma once

#include <cstdio>
#include <exception>
#include <string>
#include <systemd/sd-bus.h>

namespace zed::registryserver {

// Runs a handler; an exception becomes a D-Bus error and a message naming
// `who` (the serving program).
template <typename F> int guardedCall(const std::string& who, sd_bus_error* error, F&& f) {
    try {
        return f();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: a call failed: %s\n", who.c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: a call failed\n", who.c_str());
    }
    return sd_bus_error_set(error, SD_BUS_ERROR_FAILED, "internal error");
}

} // namespace zed::registryserver
