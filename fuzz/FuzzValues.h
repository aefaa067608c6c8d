// Value comparisons the fuzz targets share.
#pragma once

#include "Platform/core/Value.h"

#include <cmath>
#include <cstdint>
#include <string_view>

namespace zedfuzz {

// Equality where NaN equals NaN: a real that is not a number must survive a
// round trip as one.
inline bool sameValue(const zed::Value& a, const zed::Value& b) {
    if (a.type() != b.type()) {
        return false;
    }
    if (a.type() == zed::Value::Type::Double) {
        const double x = *a.toDouble();
        const double y = *b.toDouble();
        return (std::isnan(x) && std::isnan(y)) || x == y;
    }
    if (const zed::Array* items = a.asArray()) {
        const zed::Array& other = *b.asArray();
        if (items->size() != other.size()) {
            return false;
        }
        for (std::size_t i = 0; i < items->size(); ++i) {
            if (!sameValue((*items)[i], other[i])) {
                return false;
            }
        }
        return true;
    }
    if (const zed::Dictionary* entries = a.asDictionary()) {
        const zed::Dictionary& other = *b.asDictionary();
        if (entries->size() != other.size()) {
            return false;
        }
        for (auto i = entries->begin(), j = other.begin(); i != entries->end(); ++i, ++j) {
            if (i->first != j->first || !sameValue(i->second, j->second)) {
                return false;
            }
        }
        return true;
    }
    return a == b;
}

// Well-formed UTF-8 of scalar values (no surrogates, nothing past U+10FFFF,
// no overlong forms).
inline bool isUnicodeText(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<std::uint8_t>(s[i]);
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (s.size() - i <= n) { // the continuation bytes are missing
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            const auto d = static_cast<std::uint8_t>(s[i + k]);
            if ((d & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += n + 1;
    }
    return true;
}

inline bool allStringsAreUnicodeText(const zed::Value& v) {
    if (const std::string* s = v.asString()) {
        return isUnicodeText(*s);
    }
    if (const zed::Array* items = v.asArray()) {
        for (const zed::Value& item : *items) {
            if (!allStringsAreUnicodeText(item)) {
                return false;
            }
        }
    }
    if (const zed::Dictionary* entries = v.asDictionary()) {
        for (const auto& [key, item] : *entries) {
            if (!isUnicodeText(key) || !allStringsAreUnicodeText(item)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace zedfuzz
