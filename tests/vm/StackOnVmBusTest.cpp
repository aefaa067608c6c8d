// The whole stack on the test machine's one bus, which serves as its system
// bus and as the session bus of the simulated user: the simulator, a mouse
// plugged in, the real agent typing a mapped button's keys.
#include "AgentProcess.h"
#include "Platform/core/PropertyList.h"
#include "SimulatorHarness.h"
#include "VmTest.h"

using namespace zed;
using namespace zed::test;

namespace {

// The id of the bus daemon that the connection reaches, or empty.
std::string busId(BusKind kind) {
    BusPtr bus = openBus(kind);
    if (!bus) {
        return {};
    }
    sd_bus_message* raw = nullptr;
    const char* id = nullptr;
    int r = sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetId", nullptr, &raw, "");
    MessagePtr reply(raw);
    if (r >= 0) {
        r = sd_bus_message_read(raw, "s", &id);
    }
    return r >= 0 && id ? id : "";
}

// Why the stack cannot run on a system bus here, or empty.
std::string sharedSystemBusMissing() {
    if (auto why = sessionBusMissing(); !why.empty()) {
        return why;
    }
    const std::string system = busId(BusKind::System);
    if (system.empty() || system != busId(BusKind::Session)) {
        return "needs the session bus to be the system bus (run scripts/vm-test)";
    }
    return {};
}

std::size_t containing(const std::vector<std::string>& records, const std::string& a,
                       const std::string& b) {
    std::size_t n = 0;
    for (const auto& r : records) {
        n += r.find(a) != std::string::npos && r.find(b) != std::string::npos ? 1 : 0;
    }
    return n;
}

} // namespace

TEST(StackOnTheVmBus, TheAgentTypesTheKeysOfAButtonPressedOnTheSimulatedMouse) {
    ZED_REQUIRE_OR_SKIP(sharedSystemBusMissing());
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.start());
    // On the system bus, where the mouse's driver serves the registry.
    EXPECT_TRUE(nameHasOwner("com.tovik.IORegistry", BusKind::System));

    AgentProcess agent;
    // Button 1 types key 8 (C).
    agent.writeDomain(toXmlPropertyList(
        Value(Dictionary{{"ButtonMappings", Value(Array{Value(Data{3, '8'})})}})));
    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(waitFor([&] {
        return agent.out().find("Waiting for prefs changes...") != std::string::npos;
    })) << agent.err();

    const auto plugged = sim({"plug", "--product", "1"});
    ASSERT_EQ(plugged.exitCode, 0) << plugged.err;
    const std::string driver = lines(plugged.out).back();
    // Configured: the agent has also asked for the driver's messages by now.
    ASSERT_TRUE(waitFor([&] {
        return containing(lines(sim({"show", "driver"}).out), "\"driver\":" + driver + ",",
                          "ButtonMappings") == 1;
    })) << agent.err();

    ASSERT_EQ(sim({"press", "1"}).exitCode, 0);
    EXPECT_TRUE(waitFor([&] {
        const auto events = lines(sim({"show", "events"}).out);
        return containing(events, "\"type\":10,", "\"keyCode\":8,") == 1 &&
               containing(events, "\"type\":11,", "\"keyCode\":8,") == 1;
    })) << "no key typed: "
        << agent.err();
    EXPECT_EQ(agent.stop(), 0);
}
