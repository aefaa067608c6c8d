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

    ASSERT_EQ(sim({"session", "away"}).exitCode, 0);
    const long before = sessionQueries();
    ASSERT_GE(before, 0) << "the simulator does not count session queries";
    ASSERT_EQ(sim({"press", "1"}).exitCode, 0);
    ASSERT_EQ(sim({"press", "2", "--step", "up"}).exitCode, 0);
    // The agent has asked about its session for both messages (and heard
    // "away") before the session comes back.
    EXPECT_TRUE(waitFor([&] { return sessionQueries() >= before + 2; })) << agent.err();

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
