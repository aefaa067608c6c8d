// One evdev event as the driver passes it between its parts: read from the
// adopted mouse, transformed, written to the virtual pointer.
#pragma once

#include <cstdint>

namespace zed::driver {

struct InputEvent {
    std::uint16_t type = 0;
    std::uint16_t code = 0;
    std::int32_t value = 0;

    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

} // namespace zed::driver
