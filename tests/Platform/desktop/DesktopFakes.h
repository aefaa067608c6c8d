// Recording stand-ins for the desktop's devices: the uinput keyboard, the
// pointer and the double-click setting.
#pragma once

#include "Platform/core/Log.h"
#include "Platform/desktop/DesktopHidSystem.h"
#include "Platform/keyboard/KeyCodes.h"

#include <cerrno>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace deskfake {

// A message as this program writes it: its name first.
inline std::string named(const std::string& text) {
    return std::string(zed::logName()) + ": " + text;
}

// What the keyboards wrote, across every device the factory made.
struct KeyboardLog {
    struct Event {
        int device;
        bool sync;
        std::uint16_t code;
        bool pressed;
    };
    std::vector<Event> events;
    int created = 0;
    int createError = 0; // a negative errno makes creation fail
    int vanished = 0;    // device number whose writes fail with ENODEV
    std::vector<int> destroyed;

    // The keys down at the end of the log, replayed per device; a device
    // that was destroyed holds nothing.
    std::set<std::uint16_t> held() const {
        std::map<int, std::set<std::uint16_t>> down;
        for (const Event& e : events) {
            if (e.sync) {
                continue;
            }
            if (e.pressed) {
                down[e.device].insert(e.code);
            } else {
                down[e.device].erase(e.code);
            }
        }
        std::set<std::uint16_t> all;
        for (const auto& [device, keys] : down) {
            if (std::find(destroyed.begin(), destroyed.end(), device) == destroyed.end()) {
                all.insert(keys.begin(), keys.end());
            }
        }
        return all;
    }
    // Key events only, as (code, pressed), each followed by a sync.
    std::vector<std::pair<std::uint16_t, bool>> keysSynced() const {
        std::vector<std::pair<std::uint16_t, bool>> keys;
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (!events[i].sync) {
                keys.emplace_back(events[i].code, events[i].pressed);
                if (i + 1 >= events.size() || !events[i + 1].sync) {
                    keys.emplace_back(0xFFFF, false); // marks a missing sync
                }
            }
        }
        return keys;
    }
};

class RecordingKeyboard : public zed::VirtualKeyboard {
public:
    RecordingKeyboard(KeyboardLog& log, int device) : log_(log), device_(device) {}
    ~RecordingKeyboard() override { log_.destroyed.push_back(device_); }
    int key(std::uint16_t code, bool pressed) override {
        if (log_.vanished == device_) {
            return -ENODEV;
        }
        log_.events.push_back({device_, false, code, pressed});
        return 0;
    }
    int sync() override {
        if (log_.vanished == device_) {
            return -ENODEV;
        }
        log_.events.push_back({device_, true, 0, false});
        return 0;
    }

private:
    KeyboardLog& log_;
    int device_;
};

inline zed::VirtualKeyboardFactory keyboardFactory(KeyboardLog& log) {
    return [&log](int* error) -> std::unique_ptr<zed::VirtualKeyboard> {
        if (log.createError != 0) {
            *error = log.createError;
            return nullptr;
        }
        *error = 0;
        return std::make_unique<RecordingKeyboard>(log, ++log.created);
    };
}

struct PointerLog {
    std::vector<bool> swaps;
    std::vector<double> accelerations;
    double current = 0.5;
};

class RecordingPointer : public zed::PointerControl {
public:
    explicit RecordingPointer(PointerLog& log) : log_(log) {}
    zed::IOReturn setButtonsSwapped(bool swapped) override {
        log_.swaps.push_back(swapped);
        return zed::kIOReturnSuccess;
    }
    zed::IOReturn setAcceleration(double a) override {
        log_.accelerations.push_back(a);
        log_.current = a;
        return zed::kIOReturnSuccess;
    }
    zed::IOReturn getAcceleration(double* a) override {
        *a = log_.current;
        return zed::kIOReturnSuccess;
    }

private:
    PointerLog& log_;
};

class RecordingDoubleClick : public zed::DoubleClickSetting {
public:
    explicit RecordingDoubleClick(std::vector<std::uint64_t>& times) : times_(times) {}
    zed::IOReturn setDoubleClickTime(std::uint64_t ns) override {
        times_.push_back(ns);
        return zed::kIOReturnSuccess;
    }

private:
    std::vector<std::uint64_t>& times_;
};

} // namespace deskfake
