// The agent killed at any moment of a flood of steps: the settings file is
// behind the driver by no more steps than were sent in the write's deadline.
// Counted in steps, not timed: the steps walk the whole range down and up, 45
// at a time, so that a value tells where in the walk it was.
#include "AgentSimulatorTest.h"
#include "Platform/core/PropertyList.h"
#include "Platform/dbus/DBusValue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using zed::Value;
using namespace zed::test;

namespace {

constexpr std::uint32_t kStepUp = 0x0101;   // button 2: one step up
constexpr std::uint32_t kStepDown = 0x01FF; // and down
constexpr int kRun = 45;                    // steps from one end of the range to the other
constexpr double kDeadline = 0.25;          // seconds
constexpr int kStepMs = 10;                 // between two steps sent

void send(sd_bus* bus, std::uint32_t word) {
    sd_bus_message* raw = nullptr;
    ASSERT_GE(sd_bus_message_new_method_call(bus, &raw, "com.tovik.IORegistry",
                                             "/com/tovik/MouseSimulator",
                                             "com.tovik.MouseSimulator", "SendMessage"),
              0);
    zed::MessagePtr m(raw);
    sd_bus_message_append(raw, "uut", 0u, word, std::uint64_t{0});
    sd_bus_message_set_expect_reply(raw, 0);
    ASSERT_GE(sd_bus_send(bus, raw, nullptr), 0);
}

// The last index at or before `from` where the walk had the value; -1 if none.
long lastAt(const std::vector<double>& walk, long from, double value) {
    for (long i = from; i >= 0; --i) {
        if (std::abs(walk[static_cast<std::size_t>(i)] - value) < 0.01) {
            return i;
        }
    }
    return -1;
}

class KillDuringSteps : public AgentSimulatorTest {};

} // namespace

TEST_F(KillDuringSteps, TheFileIsBehindTheDriverByNoMoreThanTheDeadlinesSteps) {
    std::mt19937 random(std::random_device{}());
    std::uniform_real_distribution<double> moment(0.3, 10.0);
    auto bus = zed::openBus(zed::BusKind::Session);
    ASSERT_TRUE(bus);
    // Three kills: a file stuck at an old value can match a recent step of
    // the walk by chance, three times seldom.
    for (int kill = 0; kill < 3; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        agent.writeDomain(zed::toXmlPropertyList(Value(zed::Dictionary{
            {"ButtonMappings", Value(zed::Array{Value(zed::Data{3, '8'}), Value(zed::Data{7})})},
            {"OtfsOnScreen", Value(std::int32_t{0})},
            {"Sensitivity", Value(5.0)}})));
        ASSERT_TRUE(agent.start());
        ASSERT_TRUE(waitFor([&] { return agent.out().find("Waiting") != std::string::npos; }));
        if (kill == 0) {
            sim({"plug"});
        }
        ASSERT_TRUE(waitFor([&] { return lastDriverValue("Sensitivity") == 5.0; })) << agent.err();

        // 20 steps down to the bottom, then runs of 45 up and down; the walk
        // is what the agent's sensitivity goes through.
        const double seconds = moment(random);
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        std::vector<double> walk;
        for (int step = 0; std::chrono::steady_clock::now() < until; ++step) {
            const bool down = ((step + kRun - 20) / kRun) % 2 == 0;
            const double from = walk.empty() ? 5.0 : walk.back();
            walk.push_back(std::clamp(from + (down ? -0.2 : 0.2), 1.0, 10.0));
            send(bus.get(), down ? kStepDown : kStepUp);
            sd_bus_flush(bus.get());
            std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
        }
        agent.stop(SIGKILL);
        // What the agent sent before it died reaches the driver.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));

        const double driver = lastDriverValue("Sensitivity");
        auto stored = zed::parsePropertyList(readFile(agent.domainFile()));
        ASSERT_TRUE(stored && stored->asDictionary());
        const Value* onDisk = zed::lookup(*stored->asDictionary(), "Sensitivity");
        ASSERT_TRUE(onDisk && onDisk->toDouble());
        // Where the driver and the file are in the walk: the driver's last
        // value nearest the walk's end, the file's nearest before it.
        const long driverAt = lastAt(walk, static_cast<long>(walk.size()) - 1, driver);
        ASSERT_GE(driverAt, 0) << driver << agent.err();
        const long fileAt = lastAt(walk, driverAt, *onDisk->toDouble());
        const long behind = fileAt < 0 ? driverAt + 1 : driverAt - fileAt;
        // The steps sent in one deadline, and the one in flight.
        const long allowed = static_cast<long>(kDeadline * 1000 / kStepMs) + 1;
        EXPECT_LE(behind, allowed)
            << walk.size() << " steps in " << seconds << " s; the file holds "
            << *onDisk->toDouble() << ", the driver " << driver;
    }
}
