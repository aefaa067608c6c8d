// The simulator's argument parsing and message words.
#include "Simulator/Commands.h"

#include <gtest/gtest.h>

namespace zed::test {
using namespace zed::sim;

namespace {

TEST(ParseWord, TakesHexAndDecimalWithinThirtyTwoBits) {
    EXPECT_EQ(parseWord("0x20101"), 0x20101u);
    EXPECT_EQ(parseWord("0XFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(parseWord("258"), 258u);
    EXPECT_EQ(parseWord("0"), 0u);
    EXPECT_FALSE(parseWord("0x100000000"));
    EXPECT_FALSE(parseWord("4294967296"));
    EXPECT_FALSE(parseWord("-1"));
    EXPECT_FALSE(parseWord("0x"));
    EXPECT_FALSE(parseWord("12abc"));
    EXPECT_FALSE(parseWord(""));
}

TEST(ParseStatus, HexIsTheBitsAsWrittenDecimalIsSigned) {
    EXPECT_EQ(parseStatus("0xe00002c0"), static_cast<std::int32_t>(0xe00002c0));
    EXPECT_EQ(parseStatus("-536870208"), static_cast<std::int32_t>(0xe00002c0));
    EXPECT_EQ(parseStatus("5"), 5);
    EXPECT_FALSE(parseStatus("2147483648"));
    EXPECT_FALSE(parseStatus("-2147483649"));
    EXPECT_FALSE(parseStatus("bad"));
}

TEST(ParseId, ZeroIsNoId) {
    EXPECT_EQ(parseId("7"), 7u);
    EXPECT_FALSE(parseId("0"));
    EXPECT_FALSE(parseId("x"));
}

std::optional<Press> press(std::vector<std::string> args) {
    std::string error;
    auto p = parsePress(args, &error);
    EXPECT_EQ(p.has_value(), error.empty()) << error;
    return p;
}

TEST(PressWord, PutsStepButtonAndBitsWhereTheDriverPutsThem) {
    EXPECT_EQ(pressWord(*press({"1"})), 0x0u);
    EXPECT_EQ(pressWord(*press({"1", "--step", "up"})), 0x1u);
    EXPECT_EQ(pressWord(*press({"2", "--step", "down"})), 0x1FFu);
    EXPECT_EQ(pressWord(*press({"7"})), 0x600u);
    EXPECT_EQ(pressWord(*press({"--advanced", "1"})), 0x10000u);
    EXPECT_EQ(pressWord(*press({"1", "--begin"})), 0x20000u);
    EXPECT_EQ(pressWord(*press({"1", "--end"})), 0x40000u);
    EXPECT_EQ(pressWord(*press({"4", "--step", "up", "--advanced", "--begin", "--end"})), 0x70301u);
}

TEST(PressWord, NamesTheMouseWithTo) {
    EXPECT_EQ(press({"3", "--to", "12"})->to, 12u);
    EXPECT_EQ(press({"3"})->to, 0u);
}

TEST(PressWord, RefusesWhatIsNotAPress) {
    std::string error;
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{},
                                               {"0"},
                                               {"8"},
                                               {"1", "2"},
                                               {"1", "--step"},
                                               {"1", "--step", "sideways"},
                                               {"1", "--to", "0"},
                                               {"1", "--loud"}}) {
        error.clear();
        EXPECT_FALSE(parsePress(bad, &error)) << bad.size();
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
} // namespace zed::test
