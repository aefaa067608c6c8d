#include "Platform/core/ApplicationSettings.h"

#include <cctype>
#include <gtest/gtest.h>

namespace zed::test {
namespace {

using settings::readSets;

Value set(Value name, Value apps, Dictionary overrides) {
    return Value(Dictionary{{settings::kSetName, std::move(name)},
                            {settings::kSetApplications, std::move(apps)},
                            {settings::kSetSettings, Value(std::move(overrides))}});
}

// What is stored, what is kept of it, and how many problems are said.
struct Stored {
    const char* what;
    Value stored;
    std::vector<Dictionary> kept; // each kept set's overrides
    std::size_t problems;
};

class ReadSets : public ::testing::TestWithParam<Stored> {};

TEST_P(ReadSets, KeepWhatChecksOutAndSayWhatDoesNot) {
    std::vector<std::string> problems;
    const auto sets = readSets(&GetParam().stored, &problems);
    std::vector<Dictionary> kept;
    for (const auto& s : sets) {
        kept.push_back(s.overrides);
    }
    EXPECT_EQ(kept, GetParam().kept);
    EXPECT_EQ(problems.size(), GetParam().problems);
}

const Array kApps{Value("game.desktop")};
INSTANTIATE_TEST_SUITE_P(
    Cases, ReadSets,
    ::testing::Values(Stored{"good",
                             Value(Array{set("A", Value(kApps), {{"Sensitivity", Value(3.0)}})}),
                             {{{"Sensitivity", Value(3.0)}}},
                             0},
                      Stored{"not a list", Value("sets"), {}, 1},
                      Stored{"no name", Value(Array{set(Value(1), Value(kApps), {})}), {}, 1},
                      Stored{"desktop-wide and unknown keys, wrong types",
                             Value(Array{set("A", Value(kApps),
                                             {{"DblClickSpeed", Value(3.0)},
                                              {"Orientation", Value(1)},
                                              {"Bogus", Value(1)},
                                              {"ScrollWheelSpeed", Value("fast")},
                                              {"ButtonMappings", Value(Array{Value(1)})},
                                              {"Otfs", Value(1)}})}),
                             {{{"Otfs", Value(1)}}},
                             5}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST(ApplicationSettings, TheFirstSetNamingTheApplicationAppliesWhateverTheCaseAndEnding) {
    const Value stored = settings::storedSets(
        {{"Games", {"Steam", "org.game.Racer.desktop"}, {}, 0}, {"Racer", {"racer"}, {}, 1}});
    const auto sets = readSets(&stored);
    EXPECT_EQ(settings::matchingSet(sets, "steam"), 0);
    EXPECT_EQ(settings::matchingSet(sets, "ORG.GAME.RACER"), 0);
    EXPECT_EQ(settings::matchingSet(sets, "racer"), 1);
    EXPECT_EQ(settings::matchingSet(sets, ""), -1);
    EXPECT_EQ(settings::matchingSet(sets, "steam.desktop.desktop"), -1);
}

} // namespace
} // namespace zed::test
