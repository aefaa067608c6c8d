#include "AgentSimulatorTest.h"
#include "Platform/core/PropertyList.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using zed::Dictionary;
using zed::Value;
using namespace zed::test;

namespace {

std::vector<std::string> show(const std::string& what) {
    return lines(sim({"show", what}).out);
}

std::size_t countContaining(const std::vector<std::string>& records, const std::string& text) {
    std::size_t n = 0;
    for (const auto& r : records) {
        n += r.find(text) != std::string::npos ? 1 : 0;
    }
    return n;
}

// The typed events of the given type (10 down, 11 up) and key code.
std::size_t keyEvents(const std::vector<std::string>& events, int type, int keyCode) {
    std::size_t n = 0;
    for (const auto& e : events) {
        n += (e.find("\"type\":" + std::to_string(type) + ",") != std::string::npos &&
              e.find("\"keyCode\":" + std::to_string(keyCode) + ",") != std::string::npos)
                 ? 1
                 : 0;
    }
    return n;
}

// A full configuration carries the button mappings; a step only the sensitivities.
std::size_t configurations(const std::string& driver) {
    std::size_t n = 0;
    for (const auto& r : show("driver")) {
        n += (r.find("\"driver\":" + driver + ",") != std::string::npos &&
              r.find("ButtonMappings") != std::string::npos)
                 ? 1
                 : 0;
    }
    return n;
}

std::string int32(const char* key, long value) {
    return std::string("\"") + key + "\":{\"type\":\"int32\",\"value\":" + std::to_string(value) +
           "}";
}

std::string plug(const std::string& product = "1") {
    auto r = sim({"plug", "--product", product});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto l = lines(r.out);
    return l.empty() ? std::string() : l.back();
}

std::string domainXml(Dictionary d) {
    return zed::toXmlPropertyList(Value(std::move(d)));
}

class AgentEndToEnd : public AgentSimulatorTest {
protected:
    void startAgent() {
        ASSERT_TRUE(agent.start());
        ASSERT_TRUE(waitFor([&] {
            return agent.out().find("Waiting for prefs changes...") != std::string::npos;
        })) << agent.err();
    }
};

} // namespace

TEST_F(AgentEndToEnd, AMousePresentAtStartIsConfiguredDuringStartupAndAgainFifteenSecondsLater) {
    const std::string driver = plug();
    startAgent();
    ASSERT_TRUE(waitFor([&] { return configurations(driver) == 1; })) << agent.err();
    const auto records = show("driver");
    EXPECT_EQ(countContaining(records, int32("HIDPointerButtonMode", 2)), 1u);
    EXPECT_EQ(countContaining(records, int32("Sensitivity", 655360)), 1u);
    EXPECT_EQ(
        countContaining(show("hid"), "\"HIDClickTime\":{\"type\":\"int64\",\"value\":600000000}"),
        1u);
    // The domain was empty: the defaults are on disk now.
    auto stored = zed::parsePropertyList(readFile(agent.domainFile()));
    ASSERT_TRUE(stored && stored->asDictionary());
    EXPECT_EQ(stored->asDictionary()->size(), 14u);

    EXPECT_TRUE(waitFor([&] { return configurations(driver) == 2; }, 25))
        << "the re-apply timer did not fire";
    EXPECT_EQ(agent.stop(), 0);
    EXPECT_EQ(agent.out(), "Waiting for prefs changes...\n");
}

TEST_F(AgentEndToEnd, AMousePluggedLaterGetsTheStoredSettings) {
    agent.writeDomain(domainXml({{"Sensitivity", Value(4.0)}, {"Orientation", Value(1)}}));
    startAgent();
    EXPECT_TRUE(show("driver").empty());
    const std::string driver = plug("2");
    ASSERT_TRUE(waitFor([&] {
        const auto records = show("driver");
        return countContaining(records, int32("Sensitivity", 262144)) == 1 &&
               countContaining(records, int32("HIDPointerButtonMode", 1)) == 1;
    })) << agent.err();
}

TEST_F(AgentEndToEnd, PostedSettingsApplyAtOnceAndAreDroppedWhileNoMouseIsKnown) {
    agent.writeDomain(domainXml({{"Sensitivity", Value(6.0)}}));
    startAgent();
    postSettings("@a{sv} {'Sensitivity': <2.0>, 'Orientation': <int32 1>}");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(show("driver").empty()) << "no mouse: the posted settings are dropped";

    plug();
    ASSERT_TRUE(waitFor([&] {
        return countContaining(show("driver"), int32("Sensitivity", 393216)) == 1;
    })) << "the arrival applies the domain, not the dropped post";

    postSettings("@a{sv} {'Sensitivity': <2.0>, 'Orientation': <int32 1>}");
    ASSERT_TRUE(waitFor([&] {
        const auto records = show("driver");
        return !records.empty() &&
               records.back().find(int32("Sensitivity", 131072)) != std::string::npos;
    }));
    EXPECT_NE(show("driver").back().find(int32("HIDPointerButtonMode", 1)), std::string::npos);
}

TEST_F(AgentEndToEnd, BadPayloadsAreDroppedWithAMessageAndTheAgentGoesOn) {
    startAgent();
    plug();
    ASSERT_TRUE(waitFor([&] { return show("driver").size() == 1; }));
    postSettings("'not a dictionary'");
    postSettings("@a{sv} {'Sensitivity': <'fast'>, 'Resolution': <int32 3>}");
    ASSERT_TRUE(waitFor([&] { return show("driver").size() == 2; }));
    const std::string last = show("driver").back();
    EXPECT_NE(last.find(int32("Resolution", 3)), std::string::npos) << last;
    EXPECT_EQ(last.find("\"Sensitivity\""), std::string::npos) << last;
    const std::string err = agent.err();
    EXPECT_NE(err.find("does not decode"), std::string::npos) << err;
    EXPECT_NE(err.find("\"Sensitivity\""), std::string::npos) << err;
}

TEST_F(AgentEndToEnd, RemovingOneOfTwoMiceKeepsTheOtherAndMessagesArriveOnce) {
    agent.writeDomain(domainXml({{"ButtonMappings", Value(zed::Array{Value(zed::Data{3, '8'})})}}));
    startAgent();
    const std::string first = plug("1");
    const std::string second = plug("2");
    ASSERT_TRUE(waitFor([&] { return configurations(second) == 1; }));
    ASSERT_EQ(sim({"unplug", second}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return configurations(first) == 2; })) << agent.err();

    ASSERT_EQ(sim({"press", "1", "--to", first}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return show("events").size() >= 3; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(show("events").size(), 3u) << "key down, key up, modifier reset: once";
}

TEST_F(AgentEndToEnd, DeviceEventsWhileTheSessionIsAwayAreIgnored) {
    startAgent();
    ASSERT_EQ(sim({"session", "away"}).exitCode, 0);
    plug();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(show("driver").empty());
    ASSERT_EQ(sim({"session", "back"}).exitCode, 0);
    // Back on the console: the session switch re-applies, but no mouse was taken on.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(show("driver").empty());
    EXPECT_EQ(agent.stop(), 0);
}

TEST_F(AgentEndToEnd, KeysAreTypedForPressesButNotForSpoofedMessages) {
    agent.writeDomain(
        domainXml({{"ButtonMappings",
                    Value(zed::Array{Value(zed::Data{0}),
                                     Value(zed::Data{4, '5', '6', '7', ',', '5', '2', '0', ',', '2',
                                                     '6', '4', ',', '3', '1', '1'})})}}));
    startAgent();
    const std::string driver = plug();
    ASSERT_TRUE(waitFor([&] { return configurations(driver) == 1; }));

    // Another connection sends a message in the driver's name.
    auto spoof = runProgram({"/usr/bin/gdbus", "emit", "--session", "--object-path",
                             "/com/tovik/IORegistry/service/" + driver, "--signal",
                             "com.tovik.IOService.Message", "uint32 256", "uint64 0"});
    ASSERT_EQ(spoof.exitCode, 0) << spoof.err;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(show("events").empty()) << "a spoofed message typed keys";

    ASSERT_EQ(sim({"press", "2"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return show("events").size() == 5; })) << agent.err();
    const auto events = show("events");
    EXPECT_NE(events[0].find("\"type\":12"), std::string::npos);
    EXPECT_NE(events[0].find("\"flags\":1048576"), std::string::npos);
    EXPECT_NE(events[1].find("\"type\":10"), std::string::npos);
    EXPECT_NE(events[1].find("\"keyCode\":8"), std::string::npos);
    EXPECT_NE(events[2].find("\"type\":11"), std::string::npos);
    EXPECT_NE(events[3].find("\"flags\":0"), std::string::npos);
    EXPECT_NE(events[4].find("\"options\":1"), std::string::npos);
}

TEST_F(AgentEndToEnd, AStepChangesTheDriversSensitivitiesAndTheDomainOnDisk) {
    agent.writeDomain(domainXml({{"Sensitivity", Value(5.0)},
                                 {"OtfsOnScreen", Value(0)},
                                 {"ButtonMappings", Value(zed::Array{Value(zed::Data{7})})}}));
    startAgent();
    const std::string driver = plug();
    ASSERT_TRUE(waitFor([&] { return configurations(driver) == 1; }));
    ASSERT_EQ(sim({"press", "1", "--step", "up"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] {
        const auto records = show("driver");
        return records.size() == 2 &&
               records.back().find(int32("Sensitivity", 340787)) != std::string::npos;
    })) << agent.err();
    ASSERT_TRUE(waitFor([&] {
        auto stored = zed::parsePropertyList(readFile(agent.domainFile()));
        return stored && stored->asDictionary() &&
               zed::lookup(*stored->asDictionary(), "Sensitivity") &&
               std::abs(*zed::lookup(*stored->asDictionary(), "Sensitivity")->toDouble() - 5.2) <
                   1e-9;
    }));
}

// A restarted provider hands out the same handles again; the agent must
// listen to the new provider's driver, not keep the registration that died
// with the old one (settings alone would still be applied).
TEST_F(AgentEndToEnd, AfterTheProviderRestartsButtonPressesStillTypeAndStep) {
    agent.writeDomain(domainXml(
        {{"Sensitivity", Value(5.0)},
         {"OtfsOnScreen", Value(0)},
         {"ButtonMappings", Value(zed::Array{Value(zed::Data{3, '8'}), Value(zed::Data{7})})}}));
    startAgent();
    const std::string before = plug();
    ASSERT_TRUE(waitFor([&] { return configurations(before) == 1; })) << agent.err();
    ASSERT_TRUE(simulator.stop());
    ASSERT_TRUE(simulator.start());
    const std::string driver = plug();
    ASSERT_EQ(driver, before) << "the new provider was expected to reuse the handle";
    ASSERT_TRUE(waitFor([&] { return configurations(driver) == 1; })) << agent.err();
    EXPECT_TRUE(agent.running());

    // Button 1 types key 8; button 2 steps the sensitivity from 5.0 to 5.2.
    ASSERT_EQ(sim({"press", "1"}).exitCode, 0);
    ASSERT_EQ(sim({"press", "2", "--step", "up"}).exitCode, 0);
    EXPECT_TRUE(waitFor([&] {
        const auto events = show("events");
        return keyEvents(events, 10, 8) == 1 && keyEvents(events, 11, 8) == 1;
    })) << "no key typed after the restart: "
        << agent.err();
    EXPECT_TRUE(waitFor([&] {
        return countContaining(show("driver"), int32("Sensitivity", 340787)) == 1;
    })) << "no step reached the driver after the restart: "
        << agent.err();
}

TEST_F(AgentEndToEnd, WithoutAHidSystemTheAgentEndsQuietly) {
    simulator.stop();
    ASSERT_TRUE(simulator.start({"--without-hid"}));
    ASSERT_TRUE(agent.start());
    EXPECT_EQ(agent.wait(10), 0);
    EXPECT_EQ(agent.out(), "");
}

TEST_F(AgentEndToEnd, TheAgentWaitsForTheLoginThenStarts) {
    ASSERT_EQ(sim({"session", "none"}).exitCode, 0);
    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(waitFor([&] {
        return agent.out().find("Unable to get session dictionary.\nUnable to get session "
                                "dictionary.\n") != std::string::npos;
    }));
    ASSERT_EQ(sim({"session", "login"}).exitCode, 0);
    EXPECT_TRUE(waitFor(
        [&] { return agent.out().find("Waiting for prefs changes...") != std::string::npos; }, 5));
    EXPECT_EQ(agent.stop(2), 0) << "SIGINT quits like SIGTERM";
}

// systemd stops the agent with SIGTERM and kills it only after its timeout:
// the wait for the console must not hold the stop up.
TEST_F(AgentEndToEnd, SigtermEndsTheWaitForTheLoginWithStatusZero) {
    ASSERT_EQ(sim({"session", "none"}).exitCode, 0);
    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(waitFor([&] {
        return agent.out().find("Unable to get session dictionary.") != std::string::npos;
    })) << agent.err();
    EXPECT_EQ(agent.stop(15, 5), 0) << agent.err();
    EXPECT_EQ(agent.out().find("Waiting for prefs changes..."), std::string::npos);
}

TEST_F(AgentEndToEnd, SigtermEndsTheWaitAfterASessionSwitchWithStatusZero) {
    startAgent();
    // Activated while the login is not done: the agent waits for the console.
    ASSERT_EQ(sim({"session", "logout"}).exitCode, 0);
    ASSERT_EQ(sim({"session", "back"}).exitCode, 0);
    // Nothing else polls the session now: a complaint shows the wait is on.
    ASSERT_EQ(sim({"session", "none"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] {
        return agent.out().find("Unable to get session dictionary.") != std::string::npos;
    })) << agent.err();
    EXPECT_EQ(agent.stop(15, 5), 0) << agent.err();
}
