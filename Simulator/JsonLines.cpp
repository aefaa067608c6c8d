#include "JsonLines.h"

#include "Platform/core/TextEscape.h"

#include <cmath>
#include <cstdio>

namespace zed::sim {

std::string jsonString(std::string_view s) {
    return quotedText(s, EscapeStyle::kJson);
}

std::string jsonNumber(double d) {
    if (!std::isfinite(d)) {
        return "null"; // JSON has no NaN or infinity
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

std::string typedJson(const Dictionary& d) {
    std::string out = "{";
    bool first = true;
    for (const auto& [k, v] : d) {
        if (!first) {
            out += ",";
        }
        first = false;
        out += jsonString(k) + ":" + typedJson(v);
    }
    return out + "}";
}

std::string typedJson(const Value& v) {
    std::string value;
    switch (v.type()) {
    case Value::Type::Int32:
    case Value::Type::Int64:
        value = std::to_string(*v.toInt64());
        break;
    case Value::Type::Double:
        value = jsonNumber(*v.toDouble());
        break;
    case Value::Type::Bool:
        value = *v.toBool() ? "true" : "false";
        break;
    case Value::Type::String:
        value = jsonString(*v.asString());
        break;
    case Value::Type::Data: {
        static constexpr char kHex[] = "0123456789abcdef";
        value = "\"";
        for (std::uint8_t b : *v.asData()) {
            value += kHex[b >> 4];
            value += kHex[b & 0xF];
        }
        value += "\"";
        break;
    }
    case Value::Type::Array: {
        value = "[";
        for (std::size_t i = 0; i < v.asArray()->size(); ++i) {
            value += (i ? "," : "") + typedJson((*v.asArray())[i]);
        }
        value += "]";
        break;
    }
    case Value::Type::Dictionary:
        value = typedJson(*v.asDictionary());
        break;
    }
    static constexpr const char* kTypes[] = {"int32",  "int64", "double", "bool",
                                             "string", "data",  "array",  "dictionary"};
    return std::string("{\"type\":\"") + kTypes[static_cast<int>(v.type())] +
           "\",\"value\":" + value + "}";
}

JsonObject& JsonObject::key(std::string_view k) {
    if (body_.size() > 1) {
        body_ += ",";
    }
    body_ += jsonString(k) + ":";
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, std::string_view value) {
    key(k).body_ += jsonString(value);
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, std::int64_t value) {
    key(k).body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, double value) {
    key(k).body_ += jsonNumber(value);
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, bool value) {
    key(k).body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::addRaw(std::string_view k, std::string_view json) {
    key(k).body_ += json;
    return *this;
}

} // namespace zed::sim
