#include "Value.h"

#include "TextEscape.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <ostream>

namespace zed {

namespace {

template <typename Int> Int saturate(double d) {
    if (std::isnan(d)) {
        return 0;
    }
    // Compare in double: both limits of int32 are exact there, and the upper
    // limit of int64 rounds up to 2^63, which is out of range as it should be.
    if (d <= static_cast<double>(std::numeric_limits<Int>::min())) {
        return std::numeric_limits<Int>::min();
    }
    if (d >= static_cast<double>(std::numeric_limits<Int>::max())) {
        return std::numeric_limits<Int>::max();
    }
    return static_cast<Int>(d); // truncates toward zero
}

std::int32_t saturate32(std::int64_t i) {
    if (i < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (i > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(i);
}

std::string quoted(const std::string& s) {
    bool plain = !s.empty();
    for (unsigned char c : s) {
        if (!(std::isalnum(c) || c == '.' || c == '_' || c == '-' || c == '/' || c >= 0x80)) {
            plain = false;
        }
    }
    return plain ? s : quotedText(s, EscapeStyle::kOctal);
}

std::string formatDouble(double d) {
    char buf[64];
    // Shortest text that reads back as the same double.
    for (int precision = 6; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, d);
        if (std::strtod(buf, nullptr) == d || std::isnan(d)) {
            break;
        }
    }
    return buf;
}

} // namespace

const char* Value::typeName(Type t) {
    switch (t) {
    case Type::Int32:
        return "int32";
    case Type::Int64:
        return "int64";
    case Type::Double:
        return "double";
    case Type::Bool:
        return "bool";
    case Type::String:
        return "string";
    case Type::Data:
        return "data";
    case Type::Array:
        return "array";
    case Type::Dictionary:
        return "dictionary";
    }
    return "unknown";
}

bool Value::isNumber() const {
    switch (type()) {
    case Type::Int32:
    case Type::Int64:
    case Type::Double:
    case Type::Bool:
        return true;
    default:
        return false;
    }
}

std::optional<std::int64_t> Value::toInt64() const {
    switch (type()) {
    case Type::Int32:
        return std::get<std::int32_t>(v_);
    case Type::Int64:
        return std::get<std::int64_t>(v_);
    case Type::Double:
        return saturate<std::int64_t>(std::get<double>(v_));
    case Type::Bool:
        return std::get<bool>(v_) ? 1 : 0;
    default:
        return std::nullopt;
    }
}

std::optional<std::int32_t> Value::toInt32() const {
    if (type() == Type::Double) {
        return saturate<std::int32_t>(std::get<double>(v_));
    }
    auto wide = toInt64();
    if (!wide) {
        return std::nullopt;
    }
    return saturate32(*wide);
}

std::optional<double> Value::toDouble() const {
    switch (type()) {
    case Type::Int32:
        return static_cast<double>(std::get<std::int32_t>(v_));
    case Type::Int64:
        return static_cast<double>(std::get<std::int64_t>(v_));
    case Type::Double:
        return std::get<double>(v_);
    case Type::Bool:
        return std::get<bool>(v_) ? 1.0 : 0.0;
    default:
        return std::nullopt;
    }
}

std::optional<bool> Value::toBool() const {
    if (type() == Type::Bool) {
        return std::get<bool>(v_);
    }
    if (type() == Type::Double) {
        return std::get<double>(v_) != 0.0;
    }
    auto i = toInt64();
    if (!i) {
        return std::nullopt;
    }
    return *i != 0;
}

std::string Value::describe(int indent) const {
    const std::string pad(static_cast<std::size_t>(indent) * 4, ' ');
    const std::string inner(static_cast<std::size_t>(indent + 1) * 4, ' ');
    switch (type()) {
    case Type::Int32:
        return std::to_string(std::get<std::int32_t>(v_));
    case Type::Int64:
        return std::to_string(std::get<std::int64_t>(v_));
    case Type::Double:
        return formatDouble(std::get<double>(v_));
    case Type::Bool:
        return std::get<bool>(v_) ? "1" : "0";
    case Type::String:
        return quoted(std::get<std::string>(v_));
    case Type::Data: {
        std::string out = "{length = " + std::to_string(asData()->size()) + ", bytes = 0x";
        const auto& bytes = *asData();
        char buf[4];
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes.size() > 64 && i == 32) {
                out += " ... ";
                i = bytes.size() - 32;
            }
            std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
            out += buf;
        }
        return out + "}";
    }
    case Type::Array: {
        const auto& a = *asArray();
        if (a.empty()) {
            return "(\n" + pad + ")";
        }
        std::string out = "(\n";
        for (std::size_t i = 0; i < a.size(); ++i) {
            out += inner + a[i].describe(indent + 1);
            out += (i + 1 < a.size()) ? ",\n" : "\n";
        }
        return out + pad + ")";
    }
    case Type::Dictionary:
        return zed::describe(*asDictionary(), indent);
    }
    return {};
}

std::string describe(const Dictionary& d, int indent) {
    const std::string pad(static_cast<std::size_t>(indent) * 4, ' ');
    const std::string inner(static_cast<std::size_t>(indent + 1) * 4, ' ');
    std::string out = "{\n";
    for (const auto& [key, value] : d) {
        out += inner + quoted(key) + " = " + value.describe(indent + 1) + ";\n";
    }
    return out + pad + "}";
}

const Value* lookup(const Dictionary& d, std::string_view key) {
    auto it = d.find(key);
    return it == d.end() ? nullptr : &it->second;
}

void PrintTo(const Value& v, std::ostream* os) {
    *os << v.typeName() << ' ' << v.describe();
}

} // namespace zed
