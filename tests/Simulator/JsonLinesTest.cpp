// The simulator's JSON records.
#include "Simulator/JsonLines.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace zed::test {
using namespace zed::sim;

namespace {

TEST(JsonLines, StringsAreEscaped) {
    EXPECT_EQ(jsonString("plain"), "\"plain\"");
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString("line\nnext\ttab"), "\"line\\nnext\\ttab\"");
    EXPECT_EQ(jsonString(std::string("\x01\x1f", 2)), "\"\\u0001\\u001f\"");
}

TEST(JsonLines, NumbersThatJsonCannotHoldAreNull) {
    EXPECT_EQ(jsonNumber(0.5), "0.5");
    EXPECT_EQ(jsonNumber(std::nan("")), "null");
    EXPECT_EQ(jsonNumber(std::numeric_limits<double>::infinity()), "null");
}

TEST(JsonLines, ValuesCarryTheirType) {
    EXPECT_EQ(typedJson(Value(std::int32_t{-3})), "{\"type\":\"int32\",\"value\":-3}");
    EXPECT_EQ(typedJson(Value(std::int64_t{1} << 40)),
              "{\"type\":\"int64\",\"value\":1099511627776}");
    EXPECT_EQ(typedJson(Value(2.0)), "{\"type\":\"double\",\"value\":2}");
    EXPECT_EQ(typedJson(Value(true)), "{\"type\":\"bool\",\"value\":true}");
    EXPECT_EQ(typedJson(Value(Data{0x00, 0xAB})), "{\"type\":\"data\",\"value\":\"00ab\"}");
    EXPECT_EQ(typedJson(Value(Array{Value("x")})),
              "{\"type\":\"array\",\"value\":[{\"type\":\"string\",\"value\":\"x\"}]}");
    EXPECT_EQ(typedJson(Value(Dictionary{{"k", Value(std::int32_t{1})}})),
              "{\"type\":\"dictionary\",\"value\":{\"k\":{\"type\":\"int32\",\"value\":1}}}");
    EXPECT_EQ(typedJson(Dictionary{}), "{}");
}

TEST(JsonLines, ObjectsKeepTheirFieldOrder) {
    EXPECT_EQ(JsonObject()
                  .add("seq", 1)
                  .add("call", "Open")
                  .add("ok", false)
                  .add("value", 0.25)
                  .addRaw("raw", "[]")
                  .text(),
              "{\"seq\":1,\"call\":\"Open\",\"ok\":false,\"value\":0.25,\"raw\":[]}");
    EXPECT_EQ(JsonObject().text(), "{}");
}

} // namespace
} // namespace zed::test
