#include "TextEscape.h"

#include <cstdio>

namespace zed {

std::string quotedText(std::string_view text, EscapeStyle style) {
    const bool json = style == EscapeStyle::kJson;
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\t':
            out += "\\t";
            continue;
        case '\r':
            if (json) {
                out += "\\r";
                continue;
            }
            break;
        default:
            break;
        }
        if (u < 0x20 || (json && u == 0x7f)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, json ? "\\u%04x" : "\\%03o", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace zed
