// Service lookups and the agent's error printing.
#pragma once

#include "Platform/core/IOKit.h"
#include "Platform/core/Log.h"

#include <cstdint>
#include <string>
#include <vector>

// Prints "message - error text(status in hex,low 24 bits in decimal)" to
// standard error for a non-zero status.
inline void PrintIOErrMsg(zed::IOReturn status, const char* message) {
    if (status == 0) {
        return;
    }
    zed::logPlain("%s - %s(%x,%d)", message ? message : "", zed::machErrorString(status).c_str(),
                  static_cast<unsigned>(status),
                  static_cast<int>(static_cast<std::uint32_t>(status) & 0xFFFFFF));
}

// Prints "error:status, message" to standard error for a non-zero status.
void PrintErrMsg(std::int32_t status, const char* message);

// The first "IOHIDSystem" service, or 0.
zed::io_service_t FindHidSystem();

// Every instance of the mouse's driver class.
zed::IOReturn FindDevices(std::vector<zed::io_service_t>* services);

// The driver instance of this product (the last qualifying one), or 0.
zed::io_service_t FindCopperhound();

// The modifier flags that the agent's own posted events hold down.
extern std::uint32_t gModifiers;

// The HID connection that key events are posted on, opened on first use and
// kept; 0 when it cannot be opened (the next call tries again).
zed::io_connect_t GetEventDriver();
// Forgets the cached connection and the held modifiers (a new platform).
void ResetEventDriver();

void BeginHidKeySequence();
// Ends a sequence: no modifier stays held.
void EndHidKeySequence();
// Posts one key event: a plain key's press and/or release, or a modifier
// change; `flags` are a key list item's (zed::buttons::kKeyPress ...). Returns
// the status of the last post, 0 when nothing was posted.
zed::IOReturn DoHidKeyEvent(std::uint8_t key, std::int32_t flags);

// The flag mask that a key of a key combination holds down: the five
// modifier keys and their right-hand twins (with the same masks); 0 for
// every other key.
std::uint32_t ChordModifierMask(std::uint8_t key);
// Holds exactly these modifiers, in one flags change (the modifiers of a key
// combination, held while its keys are typed; EndHidKeySequence lets go).
zed::IOReturn HoldHidModifiers(std::uint32_t flags);
