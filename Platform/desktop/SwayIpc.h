// sway's IPC (i3-ipc): messages of "i3-ipc", the payload's length and type
// as native 32-bit integers, and the payload; replies and events are JSON.
#pragma once

#include "Platform/core/UniqueFd.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zed::sway {

inline constexpr std::uint32_t kRunCommand = 0;
inline constexpr std::uint32_t kSubscribe = 2;
inline constexpr std::uint32_t kGetTree = 4;
inline constexpr std::uint32_t kGetInputs = 100;
// Events have the type's high bit set; a window's is this one.
inline constexpr std::uint32_t kWindowEvent = 0x80000003;

// Just enough JSON for sway's messages: objects, arrays, strings, numbers,
// true, false and null.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json* member(const std::string& name) const {
        auto it = members.find(name);
        return kind == Kind::Object && it != members.end() ? &it->second : nullptr;
    }
};

std::optional<Json> parseJson(const std::string& text);

// A connection to the socket, with send and receive timeouts; invalid when
// there is none.
UniqueFd connectTo(const std::string& path);
// The message as sent.
std::string frame(std::uint32_t type, const std::string& payload);
// Takes one whole message off the front of `buffer`: its type and payload.
// Empty while more is needed; `broken` when the bytes are not sway's.
std::optional<std::pair<std::uint32_t, std::string>> takeMessage(std::string& buffer, bool* broken);
// Sends one message and reads its reply (of the same type); empty when the
// connection failed or answered out of step.
std::optional<std::string> request(int fd, std::uint32_t type, const std::string& payload);

} // namespace zed::sway
