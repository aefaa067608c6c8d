#include "PropertyList.h"

#include "PropertyListGuard.h"

#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace zed {

namespace {

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Deeper nesting than this is no settings file, and would only exhaust the stack.
constexpr int kMaxDepth = 256;
// Nor are more values than this, or more text once shared objects of a binary
// list are counted each time they are used.
constexpr std::size_t kMaxValues = std::size_t{1} << 17;
constexpr std::size_t kMaxTextBytes = std::size_t{64} << 20;

std::nullopt_t holdsNul(std::string* error) {
    if (error) {
        *error = "a string holds a NUL character";
    }
    return std::nullopt;
}

// Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
// The library passes any bytes through, and XML written with them is
// unreadable to other tools.
bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (text.size() - i <= extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

std::nullopt_t notUtf8(const char* what, std::string* error) {
    if (error) {
        *error = std::string(what) + " that is not valid UTF-8";
    }
    return std::nullopt;
}

plist_t toNode(const Value& v) {
    switch (v.type()) {
    case Value::Type::Int32:
    case Value::Type::Int64:
        // This libplist has no signed integer: the unsigned node holds the
        // two's-complement bits, which readers take back as signed.
        return plist_new_uint(static_cast<std::uint64_t>(*v.toInt64()));
    case Value::Type::Double:
        return plist_new_real(*v.toDouble());
    case Value::Type::Bool:
        return plist_new_bool(*v.toBool() ? 1 : 0);
    case Value::Type::String:
        return plist_new_string(v.asString()->c_str());
    case Value::Type::Data: {
        const Data& d = *v.asData();
        return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
    }
    case Value::Type::Array: {
        plist_t node = plist_new_array();
        for (const Value& item : *v.asArray()) {
            plist_array_append_item(node, toNode(item));
        }
        return node;
    }
    case Value::Type::Dictionary: {
        plist_t node = plist_new_dict();
        for (const auto& [key, item] : *v.asDictionary()) {
            plist_dict_set_item(node, key.c_str(), toNode(item));
        }
        return node;
    }
    }
    return plist_new_dict();
}

std::optional<Value> fromNode(plist_t node, int depth, std::string* error) {
    if (depth > kMaxDepth) {
        if (error) {
            *error = "nesting deeper than " + std::to_string(kMaxDepth) + " levels";
        }
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_UINT:
    case PLIST_UID: {
        std::uint64_t bits = 0;
        if (plist_get_node_type(node) == PLIST_UINT) {
            plist_get_uint_val(node, &bits);
        } else {
            plist_get_uid_val(node, &bits);
        }
        const auto i = static_cast<std::int64_t>(bits);
        // A file does not record integer widths: what fits 32 bits reads as int32.
        if (i >= std::numeric_limits<std::int32_t>::min() &&
            i <= std::numeric_limits<std::int32_t>::max()) {
            return Value(static_cast<std::int32_t>(i));
        }
        return Value(i);
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return Value(d);
    }
    case PLIST_DATE: {
        // Dates have no place in our settings; keep them as seconds since 2001
        // rather than dropping the key.
        std::int32_t sec = 0;
        std::int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return Value(static_cast<double>(sec) + static_cast<double>(usec) / 1e6);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        std::uint64_t length = 0;
        const char* p = plist_get_string_ptr(node, &length);
        std::string text(p ? p : "", p ? length : 0);
        if (text.find('\0') != std::string::npos) {
            return holdsNul(error); // written back, it would be cut short
        }
        if (!isUtf8(text)) {
            return notUtf8("a string", error);
        }
        return Value(std::move(text));
    }
    case PLIST_DATA: {
        std::uint64_t length = 0;
        const char* p = plist_get_data_ptr(node, &length);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(p);
        return Value(p ? Data(bytes, bytes + length) : Data{});
    }
    case PLIST_ARRAY: {
        Array items;
        items.reserve(plist_array_get_size(node));
        // The iterator steps in constant time; fetching by index walks the
        // list from its start each time.
        plist_array_iter it = nullptr;
        plist_array_new_iter(node, &it);
        std::unique_ptr<void, decltype(&std::free)> itOwner(it, &std::free);
        for (;;) {
            plist_t element = nullptr;
            plist_array_next_item(node, it, &element);
            if (!element) {
                break;
            }
            auto item = fromNode(element, depth + 1, error);
            if (!item) {
                return std::nullopt;
            }
            items.push_back(std::move(*item));
        }
        return Value(std::move(items));
    }
    case PLIST_DICT: {
        Dictionary dict;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        // The iterator is plain malloc'ed memory.
        std::unique_ptr<void, decltype(&std::free)> itOwner(it, &std::free);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (!item) {
                std::free(key);
                break;
            }
            std::unique_ptr<char, decltype(&std::free)> keyOwner(key, &std::free);
            if (key && !isUtf8(key)) {
                return notUtf8("a key", error);
            }
            auto value = fromNode(item, depth + 1, error);
            if (!value) {
                return std::nullopt;
            }
            dict.insert_or_assign(std::string(key ? key : ""), std::move(*value));
        }
        return Value(std::move(dict));
    }
    default:
        if (error) {
            *error = "unsupported property-list element";
        }
        return std::nullopt;
    }
}

template <void (*Write)(plist_t, char**, std::uint32_t*), void (*Free)(char*)>
std::string serialize(const Value& v) {
    PlistPtr root(toNode(v));
    char* out = nullptr;
    std::uint32_t length = 0;
    Write(static_cast<plist_t>(root.get()), &out, &length);
    std::unique_ptr<char, decltype(Free)> owner(out, Free);
    return out ? std::string(out, length) : std::string();
}

} // namespace

std::optional<Value> parsePropertyList(std::string_view bytes, std::string* error) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        if (error) {
            *error = "file too large";
        }
        return std::nullopt;
    }
    if (bytes.empty()) {
        if (error) {
            *error = "empty file";
        }
        return std::nullopt;
    }
    // The library aborts or exhausts the stack on some damaged files: those
    // never reach it.
    if (auto refused = plistguard::check(bytes, {kMaxDepth, kMaxValues, kMaxTextBytes})) {
        if (error) {
            *error = *refused;
        }
        return std::nullopt;
    }
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
    PlistPtr root(raw);
    if (!root) {
        if (error) {
            *error = "not an XML or binary property list";
        }
        return std::nullopt;
    }
    return fromNode(raw, 0, error);
}

std::string toXmlPropertyList(const Value& v) {
    return serialize<plist_to_xml, plist_to_xml_free>(v);
}

std::string toBinaryPropertyList(const Value& v) {
    return serialize<plist_to_bin, plist_to_bin_free>(v);
}

} // namespace zed
