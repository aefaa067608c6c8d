#include "Platform/core/ApplicationSettings.h"

#include <gtest/gtest.h>

namespace zed::test {
namespace {

Value set(Value name, Dictionary overrides) {
    return Value(Dictionary{{settings::kSetName, std::move(name)},
                            {settings::kSetApplications, Value(Array{Value("game.desktop")})},
                            {settings::kSetSettings, Value(std::move(overrides))}});
}

// What is stored, the overrides of each set kept, and how many problems are said.
struct Stored {
    Value stored;
    std::vector<Dictionary> kept;
    std::size_t problems;
};
class ReadSets : public ::testing::TestWithParam<Stored> {};

TEST_P(ReadSets, KeepWhatChecksOutAndSayWhatDoesNot) {
    std::vector<std::string> problems;
    std::vector<Dictionary> kept;
    for (const auto& s : settings::readSets(&GetParam().stored, &problems)) {
        kept.push_back(s.overrides);
    }
    EXPECT_EQ(kept, GetParam().kept);
    EXPECT_EQ(problems.size(), GetParam().problems);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadSets,
    ::testing::Values(Stored{Value(Array{set("A", {{"Sensitivity", Value(3.0)}})}),
                             {{{"Sensitivity", Value(3.0)}}},
                             0},
                      Stored{Value("not a list"), {}, 1},
                      Stored{Value(Array{set(Value(1), {})}), {}, 1},
                      // Desktop-wide and unknown keys, wrong types.
                      Stored{Value(Array{set("A", {{"DblClickSpeed", Value(3.0)},
                                                   {"Orientation", Value(1)},
                                                   {"Bogus", Value(1)},
                                                   {"ScrollWheelSpeed", Value("fast")},
                                                   {"ButtonMappings", Value(Array{Value(1)})},
                                                   {"Otfs", Value(1)}})}),
                             {{{"Otfs", Value(1)}}},
                             5}));

TEST(ApplicationSettings, TheFirstSetNamingTheApplicationAppliesWhateverTheCaseAndEnding) {
    const Value stored = settings::storedSets(
        {{"Games", {"Steam", "org.game.Racer.desktop"}, {}, 0}, {"Racer", {"racer"}, {}, 1}});
    const auto sets = settings::readSets(&stored);
    for (const auto& [app, index] :
         std::vector<std::pair<const char*, int>>{{"steam", 0},
                                                  {"ORG.GAME.RACER", 0},
                                                  {"racer", 1},
                                                  {"", -1},
                                                  {"steam.desktop.desktop", -1}}) {
        EXPECT_EQ(settings::matchingSet(sets, app), index) << app;
    }
}

} // namespace
} // namespace zed::test
