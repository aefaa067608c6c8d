// sway's pointer settings, through its IPC socket ($SWAYSOCK): i3-ipc
// messages ("i3-ipc", payload length and type as native 32-bit integers,
// payload) whose RUN_COMMAND replies are JSON.
#pragma once

#include "Platform/core/UniqueFd.h"
#include "PointerSettings.h"

#include <optional>
#include <string>

namespace zed {

class SwayPointerControl : public PointerControl {
public:
    static constexpr std::uint32_t kRunCommand = 0;
    static constexpr std::uint32_t kGetInputs = 100;
    static constexpr const char kMagic[] = "i3-ipc"; // without its terminating zero

    // An empty path means $SWAYSOCK.
    explicit SwayPointerControl(std::string socketPath = {});
    ~SwayPointerControl() override;

    // Whether the socket accepts a connection.
    static bool answers(const std::string& socketPath);

    // input type:pointer left_handed enabled|disabled
    IOReturn setButtonsSwapped(bool swapped) override;
    // input type:pointer accel_profile flat when off; else accel_profile
    // adaptive and pointer_accel libinputSpeedFromAcceleration(value).
    IOReturn setAcceleration(double acceleration) override;
    // The inverse of the first pointer's accel_speed (GET_INPUTS).
    IOReturn getAcceleration(double* acceleration) override;

private:
    // One message and its reply; reconnects once when the socket has gone.
    std::optional<std::string> exchange(std::uint32_t type, const std::string& payload);
    std::optional<std::string> exchangeOnce(std::uint32_t type, const std::string& payload);
    IOReturn command(const std::string& text);

    std::string socketPath_;
    UniqueFd fd_;
    OnceReporter report_{"sway"};
};

} // namespace zed
