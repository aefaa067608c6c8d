// Property-list value: the typed dictionaries, numbers, data and arrays that
// settings, notifications and registry properties are made of.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zed {

class Value;
using Data = std::vector<std::uint8_t>;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value, std::less<>>;

class Value {
public:
    enum class Type { Int32, Int64, Double, Bool, String, Data, Array, Dictionary };

    Value() : v_(std::int32_t{0}) {}
    Value(std::int32_t i) : v_(i) {}
    Value(std::int64_t i) : v_(i) {}
    Value(double d) : v_(d) {}
    Value(bool b) : v_(b) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(zed::Data d) : v_(std::move(d)) {}
    Value(zed::Array a) : v_(std::move(a)) {}
    Value(zed::Dictionary d) : v_(std::move(d)) {}

    Type type() const { return static_cast<Type>(v_.index()); }
    static const char* typeName(Type t);
    const char* typeName() const { return typeName(type()); }

    // Int32, Int64 and Double are numbers; Bool reads as 0 or 1 the way a
    // boolean number object does.
    bool isNumber() const;
    bool isInteger() const { return type() == Type::Int32 || type() == Type::Int64; }

    // Number reading with the host platform's conversions: reals truncate toward
    // zero, out-of-range values saturate, NaN reads as 0. Empty when not a number.
    std::optional<std::int32_t> toInt32() const;
    std::optional<std::int64_t> toInt64() const;
    std::optional<double> toDouble() const;
    // Booleans and numbers: non-zero is true.
    std::optional<bool> toBool() const;

    const std::string* asString() const { return std::get_if<std::string>(&v_); }
    const zed::Data* asData() const { return std::get_if<zed::Data>(&v_); }
    const zed::Array* asArray() const { return std::get_if<zed::Array>(&v_); }
    const zed::Dictionary* asDictionary() const { return std::get_if<zed::Dictionary>(&v_); }
    zed::Array* asArray() { return std::get_if<zed::Array>(&v_); }
    zed::Dictionary* asDictionary() { return std::get_if<zed::Dictionary>(&v_); }

    // Strict: the type (integer width included) and the value must match.
    friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

    // Readable text in the style of the host platform's defaults tool.
    std::string describe(int indent = 0) const;

private:
    std::variant<std::int32_t, std::int64_t, double, bool, std::string, zed::Data, zed::Array,
                 zed::Dictionary>
        v_;
};

std::string describe(const Dictionary& d, int indent = 0);

// Value under key, or null.
const Value* lookup(const Dictionary& d, std::string_view key);

// Lets GoogleTest print values in failure messages.
void PrintTo(const Value& v, std::ostream* os);

} // namespace zed
