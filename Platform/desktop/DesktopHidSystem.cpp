#include "DesktopHidSystem.h"

#include "Platform/core/Log.h"
#include "Platform/keyboard/KeyCodes.h"

#include <cerrno>

namespace zed {

namespace {
constexpr const char* kClickTimeKey = "HIDClickTime";
} // namespace

DesktopHidProperties::DesktopHidProperties(std::unique_ptr<DoubleClickSetting> doubleClick)
    : doubleClick_(std::move(doubleClick)) {}

IOReturn DesktopHidProperties::setProperties(const Dictionary& properties) {
    IOReturn status = kIOReturnSuccess;
    for (const auto& [key, value] : properties) {
        if (key == kClickTimeKey) {
            const auto ns = value.toInt64();
            if (!ns || *ns < 0) {
                status = kIOReturnBadArgument;
                continue;
            }
            // A desktop without the setting keeps its own time; that was
            // said once and is not an error of the caller's.
            if (doubleClick_) {
                doubleClick_->setDoubleClickTime(static_cast<std::uint64_t>(*ns));
            }
        }
        properties_[key] = value;
    }
    return status;
}

DesktopHidSystem::DesktopHidSystem(VirtualKeyboardFactory keyboard,
                                   std::unique_ptr<PointerControl> pointer,
                                   std::shared_ptr<HidPropertyTarget> properties)
    : keyboardFactory_(std::move(keyboard)), pointer_(std::move(pointer)),
      properties_(std::move(properties)) {}

// The keyboard device is destroyed with this object; the kernel releases
// whatever it still held.
DesktopHidSystem::~DesktopHidSystem() = default;

IOReturn DesktopHidSystem::open(io_service_t hidSystem, std::uint32_t type, io_connect_t* connect) {
    if (!connect) {
        return kIOReturnBadArgument;
    }
    *connect = 0;
    if (hidSystem == 0 || type != kIOHIDParamConnectType) {
        return kIOReturnBadArgument;
    }
    const io_connect_t handle = nextConnect_++;
    if (nextConnect_ == 0) {
        nextConnect_ = 1;
    }
    connections_.insert(handle);
    *connect = handle;
    return kIOReturnSuccess;
}

void DesktopHidSystem::close(io_connect_t connect) {
    connections_.erase(connect);
}

IOReturn DesktopHidSystem::setMouseButtonMode(io_connect_t connect, std::int32_t mode) {
    if (!isOpen(connect)) {
        return kIOReturnNotOpen;
    }
    if (mode != kButtonModeSwapped && mode != kButtonModeNormal) {
        return kIOReturnBadArgument;
    }
    return pointer_ ? pointer_->setButtonsSwapped(mode == kButtonModeSwapped) : kIOReturnNoDevice;
}

IOReturn DesktopHidSystem::setAccelerationWithKey(io_connect_t connect, const std::string& key,
                                                  double acceleration) {
    if (!isOpen(connect)) {
        return kIOReturnNotOpen;
    }
    if (key != kAccelerationKey) {
        return kIOReturnUnsupported;
    }
    return pointer_ ? pointer_->setAcceleration(acceleration) : kIOReturnNoDevice;
}

IOReturn DesktopHidSystem::getAccelerationWithKey(io_connect_t connect, const std::string& key,
                                                  double* acceleration) {
    if (!isOpen(connect)) {
        return kIOReturnNotOpen;
    }
    if (key != kAccelerationKey || !acceleration) {
        return kIOReturnBadArgument;
    }
    return pointer_ ? pointer_->getAcceleration(acceleration) : kIOReturnNoDevice;
}

VirtualKeyboard* DesktopHidSystem::keyboard() {
    if (keyboard_) {
        return keyboard_.get();
    }
    int error = -ENODEV;
    if (keyboardFactory_) {
        keyboard_ = keyboardFactory_(&error);
    }
    if (!keyboard_) {
        if (!keyboardReported_) {
            zed::log("%s", uinputAccessAdvice(error).c_str());
            keyboardReported_ = true;
        }
        return nullptr;
    }
    keyboardReported_ = false;
    // A new device starts with nothing pressed.
    held_ = 0;
    down_.clear();
    return keyboard_.get();
}

IOReturn DesktopHidSystem::send(const std::vector<std::pair<std::uint16_t, bool>>& keys) {
    for (const auto& [code, pressed] : keys) {
        // One retry on a fresh device: the old one may have vanished (the
        // uinput module reloaded, the descriptor revoked).
        bool sent = false;
        for (int attempt = 0; attempt < 2 && !sent; ++attempt) {
            VirtualKeyboard* kb = keyboard();
            if (!kb) {
                return kIOReturnNoDevice;
            }
            if (kb->key(code, pressed) >= 0 && kb->sync() >= 0) {
                sent = true;
                if (pressed) {
                    down_.insert(code);
                } else {
                    down_.erase(code);
                }
            } else {
                keyboard_.reset();
                held_ = 0;
                down_.clear();
            }
        }
        if (!sent) {
            return kIOReturnNotResponding;
        }
    }
    return kIOReturnSuccess;
}

IOReturn DesktopHidSystem::changeFlags(std::uint32_t flags) {
    std::uint32_t known = 0;
    for (const ModifierKey& m : modifierKeys()) {
        known |= m.flagMask;
    }
    const std::uint32_t target = flags & known;
    // A second pass catches up when the keyboard was recreated half way
    // (the new device holds nothing).
    for (int pass = 0; pass < 2 && held_ != target; ++pass) {
        for (const ModifierKey& m : modifierKeys()) {
            const bool want = (target & m.flagMask) != 0;
            const bool have = (held_ & m.flagMask) != 0;
            if (want == have) {
                continue;
            }
            const std::uint16_t code = *evdevFromVirtualKey(m.virtualKey);
            IOReturn status;
            if (m.virtualKey == buttons::kCapsLockKey) {
                // Caps Lock toggles on Linux: a tap turns it on, another
                // turns it off, and no key stays down.
                status = send({{code, true}, {code, false}});
            } else {
                status = send({{code, want}});
            }
            if (status != kIOReturnSuccess) {
                return status;
            }
            held_ = want ? (held_ | m.flagMask) : (held_ & ~m.flagMask);
        }
    }
    return kIOReturnSuccess;
}

IOReturn DesktopHidSystem::postEvent(io_connect_t connect, std::uint32_t eventType, std::int16_t,
                                     std::int16_t, const NXEventData& data, std::uint32_t,
                                     std::uint32_t eventFlags, std::uint32_t) {
    if (!isOpen(connect)) {
        return kIOReturnNotOpen;
    }
    switch (eventType) {
    case NX_KEYDOWN:
    case NX_KEYUP: {
        const std::uint16_t virtualKey = data.keyCode();
        const auto code = virtualKey <= 0xFF
                              ? evdevFromVirtualKey(static_cast<std::uint8_t>(virtualKey))
                              : std::nullopt;
        if (!code) {
            zed::log("key code %u has no key on this system; not typed", virtualKey);
            return kIOReturnBadArgument;
        }
        return send({{*code, eventType == NX_KEYDOWN}});
    }
    case NX_FLAGSCHANGED:
        // The flags are the modifier state to reach, whether or not they are
        // posted as the global state: this keyboard is the only one whose
        // modifiers the agent controls.
        return changeFlags(eventFlags);
    default:
        return kIOReturnUnsupported;
    }
}

IOReturn DesktopHidSystem::releaseHeldKeys(io_connect_t connect) {
    if (!isOpen(connect)) {
        return kIOReturnNotOpen;
    }
    // The modifiers go as a flags change lets go of them (Caps Lock is
    // tapped off), then every other key in one frame.
    const IOReturn status = changeFlags(0);
    if (down_.empty() || !keyboard_) {
        down_.clear();
        return status;
    }
    bool written = true;
    for (std::uint16_t code : down_) {
        written = keyboard_->key(code, false) >= 0 && written;
    }
    written = keyboard_->sync() >= 0 && written;
    down_.clear();
    if (!written) {
        // The kernel releases whatever a destroyed device held.
        keyboard_.reset();
        held_ = 0;
        return kIOReturnNotResponding;
    }
    return status;
}

} // namespace zed
