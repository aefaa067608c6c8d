// Service lookups and the agent's error printing.
#pragma once

#include "Platform/IOKit.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Prints "message - error text(status in hex,low 24 bits in decimal)" to
// standard error for a non-zero status.
inline void PrintIOErrMsg(zed::IOReturn status, const char* message) {
    if (status == 0) {
        return;
    }
    std::fprintf(stderr, "%s - %s(%x,%d)\n", message ? message : "",
                 zed::machErrorString(status).c_str(), static_cast<unsigned>(status),
                 static_cast<int>(static_cast<std::uint32_t>(status) & 0xFFFFFF));
    std::fflush(stderr);
}

// Prints "error:status, message" to standard error for a non-zero status.
void PrintErrMsg(std::int32_t status, const char* message);

// The first "IOHIDSystem" service, or 0.
zed::io_service_t FindHidSystem();

// Every instance of the mouse's driver class.
zed::IOReturn FindDevices(std::vector<zed::io_service_t>* services);

// The driver instance of this product (the last qualifying one), or 0.
zed::io_service_t FindCopperhound();
