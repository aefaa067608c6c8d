// The keyboard through which the agent types: a uinput device the kernel
// treats like any other keyboard, so every desktop (X11, Wayland, the text
// console) receives the keys.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zed {

class VirtualKeyboard {
public:
    virtual ~VirtualKeyboard();
    // An evdev key press or release (EV_KEY); 0 or a negative errno.
    virtual int key(std::uint16_t evdevCode, bool pressed) = 0;
    // Ends one input frame (SYN_REPORT); 0 or a negative errno.
    virtual int sync() = 0;
};

// Creates a keyboard; null with a negative errno in *error when it cannot.
using VirtualKeyboardFactory = std::function<std::unique_ptr<VirtualKeyboard>(int* error)>;

// The uinput keyboard, able to send every key of the key code table. The
// node is /dev/uinput unless told otherwise.
std::unique_ptr<VirtualKeyboard> createUinputKeyboard(int* error, const std::string& node = {});

// What to tell a user whose session cannot create the keyboard.
std::string uinputAccessAdvice(int error);

} // namespace zed
