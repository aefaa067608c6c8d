// Checks bytes before the property-list library parses them. That library
// aborts on a binary key holding U+0000, recurses once per nesting level when
// it parses and frees (so deep files overflow the stack), and follows every
// reference of a binary list afresh (so shared objects can multiply into
// billions of nodes). These checks refuse such files without recursion, in
// time proportional to the file and the limits.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zed::plistguard {

struct Limits {
    int maxDepth;             // levels below the top value
    std::size_t maxValues;    // values and dictionary keys, every reference followed
    std::size_t maxTextBytes; // bytes of strings and data, every reference followed
};

// Empty when the library may parse the bytes, otherwise why not. Bytes that
// start like a binary list are checked as one, everything else as XML, the
// way the library tells them apart.
std::optional<std::string> check(std::string_view bytes, const Limits& limits);

} // namespace zed::plistguard
