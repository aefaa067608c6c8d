// Control characters, quotes and backslashes written as escapes, for text
// shown in a describe() listing or a JSON line.
#pragma once

#include <string>
#include <string_view>

namespace zed {

enum class EscapeStyle {
    kOctal, // \" \\ \n \t, every other control character \ooo
    kJson,  // \" \\ \n \r \t, every other control character and DEL \u00XX
};

// The text between double quotes, escaped in the style given.
std::string quotedText(std::string_view text, EscapeStyle style);

} // namespace zed
