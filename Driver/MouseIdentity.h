// Who an adopted mouse is: what discovery found, what the registry shows.
#pragma once

#include <cstdint>
#include <string>

namespace zed::driver {

// The maker's USB vendor id and the products the agent looks for.
constexpr std::uint16_t kMakerVendorId = 0x2F1A;
constexpr std::uint16_t kSevenButtonProductId = 1;
constexpr std::uint16_t kOtherProductId = 2;

// The driver's own virtual devices carry this prefix in their `phys`, so that
// discovery never adopts them (an adoption rule would loop on its output).
constexpr const char* kVirtualPhysPrefix = "zed-driver/";

struct MouseIdentity {
    std::string name;         // the evdev device's name
    std::uint16_t vendor = 0; // the real USB (or bus) ids
    std::uint16_t product = 0;
    std::string node;    // /dev/input/eventN
    std::string syspath; // the udev device's sys path, stable while plugged

    bool fromMaker() const {
        return vendor == kMakerVendorId &&
               (product == kSevenButtonProductId || product == kOtherProductId);
    }
};

} // namespace zed::driver
