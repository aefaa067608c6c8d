// The real agent on the simulator while its session is not at the console:
// the mouse's key mappings and on-the-fly steps must not act (another user
// would receive them), and act again once the session is back.
#include "AgentSimulatorTest.h"
#include "Platform/core/PropertyList.h"

#include <cmath>
#include <gtest/gtest.h>

using zed::Value;
using namespace zed::test;

namespace {

std::vector<std::string> show(const std::string& what) {
    return lines(sim({"show", what}).out);
}

// How often the agent has asked the simulator for its session so far.
long sessionQueries() {
    const auto records = show("session");
    const std::string key = "\"queries\":";
    const std::size_t at = records.empty() ? std::string::npos : records[0].find(key);
    return at == std::string::npos ? -1 : std::stol(records[0].substr(at + key.size()));
}

// The driver's records that carry a sensitivity but no button mappings: steps.
std::vector<std::string> steps() {
    std::vector<std::string> out;
    for (const auto& r : show("driver")) {
        if (r.find("\"Sensitivity\"") != std::string::npos &&
            r.find("ButtonMappings") == std::string::npos) {
            out.push_back(r);
        }
    }
    return out;
}

std::optional<double> storedSensitivity(const std::string& file) {
    auto stored = zed::parsePropertyList(readFile(file));
    const zed::Value* v = stored && stored->asDictionary()
                              ? zed::lookup(*stored->asDictionary(), "Sensitivity")
                              : nullptr;
    return v ? v->toDouble() : std::nullopt;
}

class SessionAway : public AgentSimulatorTest {};

} // namespace

TEST_F(SessionAway, NothingIsTypedOrSteppedWhileTheSessionIsAwayAndBothWorkOnceItIsBack) {
    // Button 1 types Control+C; button 2 steps the sensitivity.
    agent.writeDomain(zed::toXmlPropertyList(Value(zed::Dictionary{
        {"Sensitivity", Value(5.0)},
        {"OtfsOnScreen", Value(0)},
        {"ButtonMappings",
         Value(zed::Array{Value(zed::Data{3, '8', ',', '5', '9'}), Value(zed::Data{7})})}})));
    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(waitFor([&] {
        return agent.out().find("Waiting for prefs changes...") != std::string::npos;
    })) << agent.err();
    ASSERT_EQ(sim({"plug"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return show("driver").size() == 1; })) << agent.err();

    // The change, the presses and the return reach the agent in the order
    // sent, all from the simulator's connection: the presses find it away.
    ASSERT_EQ(sim({"session", "away"}).exitCode, 0);
    ASSERT_EQ(sim({"press", "1"}).exitCode, 0);
    ASSERT_EQ(sim({"press", "2", "--step", "up"}).exitCode, 0);
    ASSERT_EQ(sim({"session", "back"}).exitCode, 0);
    ASSERT_EQ(sim({"press", "1"}).exitCode, 0);
    ASSERT_EQ(sim({"press", "2", "--step", "up"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return show("events").size() >= 4 && !steps().empty(); }))
        << agent.err();

    // Only the presses made at the console: Control held around C once, one step.
    const auto events = show("events");
    ASSERT_EQ(events.size(), 4u);
    EXPECT_NE(events[0].find("\"type\":12"), std::string::npos) << events[0];
    EXPECT_NE(events[0].find("\"flags\":262144"), std::string::npos) << events[0];
    EXPECT_NE(events[1].find("\"type\":10"), std::string::npos) << events[1];
    EXPECT_NE(events[1].find("\"keyCode\":8"), std::string::npos) << events[1];
    EXPECT_NE(events[2].find("\"type\":11"), std::string::npos) << events[2];
    EXPECT_NE(events[3].find("\"flags\":0"), std::string::npos) << events[3];
    const auto stepped = steps();
    ASSERT_EQ(stepped.size(), 1u);
    EXPECT_NE(stepped[0].find("\"Sensitivity\":{\"type\":\"int32\",\"value\":340787}"),
              std::string::npos)
        << stepped[0];
    ASSERT_TRUE(waitFor([&] {
        const auto s = storedSensitivity(agent.domainFile());
        return s && std::abs(*s - 5.2) < 1e-9;
    })) << "the step made at the console is saved, the one made away is not";
    EXPECT_EQ(agent.stop(), 0);
}

// The agent keeps its session from the simulator's change signal: a key
// message costs no session query, and each change (a switch away, a logout,
// no session at all) holds for the messages sent after it.
TEST_F(SessionAway, KeyMessagesAskNothingAndFollowEveryChangeOfTheSession) {
    // Button n types key code n - 1 (A, S, D, F, H, G).
    zed::Array mappings;
    for (std::uint8_t key = 0; key < 6; ++key) {
        const std::string code = std::to_string(key);
        zed::Data element{3};
        element.insert(element.end(), code.begin(), code.end());
        mappings.emplace_back(std::move(element));
    }
    agent.writeDomain(zed::toXmlPropertyList(
        Value(zed::Dictionary{{"OtfsOnScreen", Value(0)}, {"ButtonMappings", Value(mappings)}})));
    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(waitFor([&] {
        return agent.out().find("Waiting for prefs changes...") != std::string::npos;
    })) << agent.err();
    ASSERT_EQ(sim({"plug"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return show("driver").size() == 1; })) << agent.err();

    const long asked = sessionQueries();
    ASSERT_GE(asked, 0) << "the simulator does not count session queries";
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(sim({"press", "1"}).exitCode, 0);
    }
    ASSERT_TRUE(waitFor([&] { return show("events").size() >= 9; })) << agent.err();
    EXPECT_EQ(sessionQueries(), asked) << "a key message asks for the session";

    struct Step {
        const char* change;
        const char* button;
        bool typed;
    };
    const Step steps[] = {{"away", "1", false}, {"back", "2", true},  {"logout", "3", false},
                          {"login", "4", true}, {"none", "5", false}, {"back", "6", true}};
    for (const Step& step : steps) {
        ASSERT_EQ(sim({"session", step.change}).exitCode, 0);
        ASSERT_EQ(sim({"press", step.button}).exitCode, 0);
    }
    // The last press is typed: every press before it has been handled.
    auto typed = [&](int key) {
        const std::string code = "\"keyCode\":" + std::to_string(key) + ",";
        std::size_t n = 0;
        for (const auto& e : show("events")) {
            n += e.find("\"type\":10,") != std::string::npos && e.find(code) != std::string::npos;
        }
        return n;
    };
    ASSERT_TRUE(waitFor([&] { return typed(5) == 1; })) << agent.err();
    for (const Step& step : steps) {
        const int key = std::stoi(step.button) - 1;
        EXPECT_EQ(typed(key), key == 0 ? 3u + step.typed : std::size_t{step.typed})
            << "button " << step.button << " after \"" << step.change << "\"";
    }
    EXPECT_EQ(agent.stop(), 0);
}
