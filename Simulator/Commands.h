// Parsing of the simulator's command-line arguments: message words, statuses,
// ids and the friendlier button press.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zed::sim {

// "0x..." hexadecimal or decimal, 0 ... 0xFFFFFFFF.
std::optional<std::uint32_t> parseWord(std::string_view text);
// A status: "0x..." hexadecimal (the 32 bits as written, e.g. 0xe00002c0) or
// signed decimal.
std::optional<std::int32_t> parseStatus(std::string_view text);
// A service handle: decimal (or hex) 1 ... 0xFFFFFFFF.
std::optional<std::uint32_t> parseId(std::string_view text);

struct Press {
    unsigned button = 0; // 1-7
    int step = 0;        // 1 up, -1 down, 0 none
    bool advanced = false;
    bool begin = false;
    bool end = false;
    std::uint32_t to = 0; // 0: the last plugged mouse
};

// BUTTON [--step up|down] [--advanced] [--begin] [--end] [--to ID]
std::optional<Press> parsePress(const std::vector<std::string>& args, std::string* error);
// The driver message word: step byte, button index (button - 1) in bits
// 8-15, then the advanced, overlay-begin and overlay-end bits.
std::uint32_t pressWord(const Press& press);

} // namespace zed::sim
