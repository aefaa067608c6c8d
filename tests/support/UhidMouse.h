// A virtual USB mouse made through /dev/uhid: the kernel's HID core and
// hid-generic turn it into an evdev device exactly as they do a real mouse
// on the USB bus, with whatever ids it is given.
#pragma once

#include "Platform/core/UniqueFd.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zed::test {

// One input report: buttons 1-7 in bits 0-6, relative motion, wheel detents.
struct MouseReport {
    std::uint8_t buttons = 0;
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::int8_t wheel = 0;
};

class UhidMouse {
public:
    static constexpr std::uint16_t kMakerVendor = 0x2F1A;
    static constexpr std::uint16_t kBusUsb = 0x03;

    struct Options {
        std::uint16_t vendor = kMakerVendor;
        std::uint16_t product = 1;
        std::uint16_t bus = kBusUsb;
        std::string name = "Tovik Copperhound test mouse";
        std::string uhidNode = "/dev/uhid";
    };

    // Seven buttons (Button page usages 1-7), 16-bit relative X and Y and an
    // 8-bit relative wheel, in an application collection of usage Mouse.
    static std::span<const std::uint8_t> reportDescriptor();
    // The bytes of an input report for that descriptor.
    static std::vector<std::uint8_t> encode(const MouseReport& report);

    // Plugs the mouse in; see plugged() and error().
    UhidMouse() : UhidMouse(Options{}) {}
    explicit UhidMouse(Options options);
    // Unplugs it.
    ~UhidMouse();
    UhidMouse(const UhidMouse&) = delete;
    UhidMouse& operator=(const UhidMouse&) = delete;

    bool plugged() const { return plugged_; }
    // Why plugging or the last report failed.
    const std::string& error() const { return error_; }
    // The serial number that tells this mouse apart from others with its ids.
    const std::string& uniq() const { return uniq_; }
    const Options& options() const { return options_; }

    // Sends one input report, as the mouse would on its interrupt endpoint.
    bool send(const MouseReport& report);
    bool sendRaw(std::span<const std::uint8_t> report);
    // The /dev/input/eventN the kernel made of this mouse, waiting for it
    // up to the timeout; empty when there is none.
    std::string evdevNode(double timeoutSeconds = 5);
    // Removes the device as pulling its cable would.
    bool unplug();

private:
    // Answers the kernel's requests and drops its notices (start, open, close).
    void serviceKernel();

    Options options_;
    std::string uniq_;
    UniqueFd fd_;
    bool plugged_ = false;
    std::string error_;
};

} // namespace zed::test
