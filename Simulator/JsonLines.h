// One JSON object per line, for the records the simulator shows to scripts
// and tests. Values are written with their type so that an int32 and a double
// of the same number stay apart: {"type":"int32","value":65536}.
#pragma once

#include "Platform/core/Value.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zed::sim {

std::string jsonString(std::string_view s);
std::string jsonNumber(double d);
// {"type":..., "value":...}; data is written as lowercase hex.
std::string typedJson(const Value& v);
// An object of typed values.
std::string typedJson(const Dictionary& d);

// Builds one record: JsonObject().add("seq", 1).add("call", "Open").text()
class JsonObject {
public:
    JsonObject& add(std::string_view key, std::string_view value);
    JsonObject& add(std::string_view key, const char* value) {
        return add(key, std::string_view(value));
    }
    JsonObject& add(std::string_view key, std::int64_t value);
    JsonObject& add(std::string_view key, double value);
    JsonObject& add(std::string_view key, bool value);
    JsonObject& add(std::string_view key, int value) {
        return add(key, static_cast<std::int64_t>(value));
    }
    JsonObject& add(std::string_view key, unsigned value) {
        return add(key, static_cast<std::int64_t>(value));
    }
    // Already-formatted JSON.
    JsonObject& addRaw(std::string_view key, std::string_view json);
    std::string text() const { return body_ + "}"; }

private:
    JsonObject& key(std::string_view k);
    std::string body_ = "{";
};

} // namespace zed::sim
