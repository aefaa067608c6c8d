#include "Platform/core/Value.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace zed::test {

using zed::Value;

TEST(ValueNumbers, RealsReadAsIntegersTruncateTowardZero) {
    EXPECT_EQ(Value(9.99).toInt32(), 9);
    EXPECT_EQ(Value(-9.99).toInt32(), -9);
    EXPECT_EQ(Value(-0.5).toInt64(), 0);
    EXPECT_EQ(Value(1e10).toInt64(), 10000000000LL);
}

TEST(ValueNumbers, OutOfRangeConversionsSaturate) {
    EXPECT_EQ(Value(1e20).toInt32(), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(Value(-1e20).toInt32(), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Value(1e300).toInt64(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Value(std::int64_t{1} << 40).toInt32(), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(Value(-(std::int64_t{1} << 40)).toInt32(), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Value(std::nan("")).toInt32(), 0);
    EXPECT_EQ(Value(std::numeric_limits<double>::infinity()).toInt64(),
              std::numeric_limits<std::int64_t>::max());
}

TEST(ValueNumbers, IntegersWidenToDoubleAndBoolsReadAsZeroOrOne) {
    EXPECT_EQ(Value(std::int32_t{-7}).toDouble(), -7.0);
    EXPECT_EQ(Value(std::int64_t{1} << 53).toDouble(), 9007199254740992.0);
    EXPECT_EQ(Value(true).toInt32(), 1);
    EXPECT_EQ(Value(false).toDouble(), 0.0);
    EXPECT_EQ(Value(std::int32_t{2}).toBool(), true);
    EXPECT_EQ(Value(0.0).toBool(), false);
}

TEST(ValueNumbers, NonNumbersHaveNoNumberValue) {
    EXPECT_FALSE(Value("10").toInt32());
    EXPECT_FALSE(Value(zed::Data{1}).toDouble());
    EXPECT_FALSE(Value(zed::Array{}).toBool());
    EXPECT_FALSE(Value("10").isNumber());
    EXPECT_TRUE(Value(true).isNumber());
}

TEST(ValueEquality, TypeAndWidthMatter) {
    EXPECT_EQ(Value(std::int32_t{5}), Value(std::int32_t{5}));
    EXPECT_NE(Value(std::int32_t{5}), Value(std::int64_t{5}));
    EXPECT_NE(Value(std::int32_t{5}), Value(5.0));
    EXPECT_NE(Value(true), Value(std::int32_t{1}));
    zed::Dictionary a{{"k", Value(zed::Array{Value(zed::Data{1, 2})})}};
    zed::Dictionary b = a;
    EXPECT_EQ(Value(a), Value(b));
    (*b["k"].asArray())[0] = Value(zed::Data{1, 3});
    EXPECT_NE(Value(a), Value(b));
}

TEST(ValueDescribe, ReadsLikeTheDefaultsTool) {
    zed::Dictionary d{{"Sensitivity", Value(9.8)},
                      {"Orientation", Value(std::int32_t{0})},
                      {"Name", Value("two words")},
                      {"Map", Value(zed::Array{Value(zed::Data{0x06, 0x03})})}};
    EXPECT_EQ(zed::describe(d), "{\n"
                                "    Map = (\n"
                                "        {length = 2, bytes = 0x0603}\n"
                                "    );\n"
                                "    Name = \"two words\";\n"
                                "    Orientation = 0;\n"
                                "    Sensitivity = 9.8;\n"
                                "}");
    EXPECT_EQ(Value(0.1 + 0.2).describe(), "0.30000000000000004");
    EXPECT_EQ(Value("a\"b\n").describe(), "\"a\\\"b\\n\"");
}

} // namespace zed::test
