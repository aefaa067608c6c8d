// Reads what the kernel delivers on an evdev node (/dev/input/eventN), for
// tests on a real input stack, and finds such nodes through sysfs.
#pragma once

#include "Platform/core/UniqueFd.h"

#include <cstdint>
#include <linux/input.h>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zed::test {

// What identifies an input device in /sys/class/input; unset fields match anything.
struct InputDeviceMatch {
    std::optional<std::string> name = {};
    std::optional<std::uint16_t> bustype = {};
    std::optional<std::uint16_t> vendor = {};
    std::optional<std::uint16_t> product = {};
    std::optional<std::string> uniq = {};
};

// The /dev/input/eventN of the newest matching input device, or empty.
std::string findEvdevNode(const InputDeviceMatch& match);

// The events of one input frame, its closing SYN_REPORT left out.
using InputFrame = std::vector<input_event>;

// The sum of one code's values over the frames (how far a pointer moved).
int sumOf(const std::vector<InputFrame>& frames, std::uint16_t type, std::uint16_t code);
// The (code, value) key events of the frames, in order.
std::vector<std::pair<std::uint16_t, int>> keysIn(const std::vector<InputFrame>& frames);

class EvdevReader {
public:
    // Opens the node without blocking; see ok() and openError().
    explicit EvdevReader(const std::string& node);

    bool ok() const { return static_cast<bool>(fd_); }
    int openError() const { return openError_; }
    const std::string& node() const { return node_; }

    // Waits until `count` complete frames have arrived or the timeout passes
    // (or reading fails); returns the frames it has, each once.
    std::vector<InputFrame> frames(std::size_t count, double timeoutSeconds = 5);
    // The frames complete now, without waiting.
    std::vector<InputFrame> framesNow() { return frames(SIZE_MAX, 0); }
    // Events of a frame not yet closed by a SYN_REPORT.
    const InputFrame& partialFrame() const { return partial_; }
    // The errno of the read that failed (ENODEV once the device is gone), or 0.
    int readError() const { return readError_; }
    // Waits until a read fails; its errno, or 0 after the timeout.
    int waitForReadError(double timeoutSeconds = 5);

    // EVIOCGRAB: 0 or an errno.
    int grab(bool exclusive);
    // The keys the device holds down now (EVIOCGKEY).
    std::set<std::uint16_t> keysDown() const;
    input_id ids() const;
    std::string name() const;
    // Whether the device declares the event code (EVIOCGBIT).
    bool hasCode(std::uint16_t type, std::uint16_t code) const;

private:
    // Reads what is queued; false once a read failed.
    bool readQueued();

    std::string node_;
    UniqueFd fd_;
    int openError_ = 0;
    int readError_ = 0;
    InputFrame partial_;
    std::vector<InputFrame> complete_;
};

} // namespace zed::test
