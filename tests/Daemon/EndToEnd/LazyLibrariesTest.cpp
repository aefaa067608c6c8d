// The real agent keeps the overlay's drawing and window libraries (cairo,
// Wayland) out of its memory until it shows its first overlay, and GIO until it sets a GSettings
// key (never, on the simulator).
#include "AgentSimulatorTest.h"
#include "Platform/core/PropertyList.h"

#include <gtest/gtest.h>

using zed::Value;
using namespace zed::test;

namespace {

bool mapped(pid_t pid, const std::string& library) {
    return readFile("/proc/" + std::to_string(pid) + "/maps").find(library) != std::string::npos;
}

class LazyLibraries : public AgentSimulatorTest {};

} // namespace

TEST_F(LazyLibraries, TheOverlayModuleAndCairoAreLoadedWithTheFirstOverlayOnly) {
    agent.writeDomain(zed::toXmlPropertyList(Value(zed::Dictionary{
        {"Sensitivity", Value(5.0)}, {"ButtonMappings", Value(zed::Array{Value(zed::Data{7})})}})));
    ASSERT_EQ(sim({"plug"}).exitCode, 0);
    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(waitFor([&] {
        return agent.out().find("Waiting for prefs changes...") != std::string::npos;
    })) << agent.err();
    // A step without an overlay needs no drawing.
    ASSERT_EQ(sim({"message", "0x0001"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] {
        return readFile(agent.domainFile()).find("5.2") != std::string::npos;
    })) << agent.err();
    EXPECT_FALSE(mapped(agent.pid(), "zed-sens-display.so"));
    EXPECT_FALSE(mapped(agent.pid(), "libcairo"));
    EXPECT_FALSE(mapped(agent.pid(), "libwayland-client"));
    EXPECT_FALSE(mapped(agent.pid(), "libgio"));

    ASSERT_EQ(sim({"message", "0x20001"}).exitCode, 0); // overlay begin and a step
    // The module is mapped before the libraries it needs: wait for both.
    EXPECT_TRUE(waitFor([&] { return mapped(agent.pid(), "zed-sens-display.so"); })) << agent.err();
    EXPECT_TRUE(waitFor([&] { return mapped(agent.pid(), "libcairo"); })) << agent.err();
    // The Wayland overlay is in the module too.
    EXPECT_TRUE(waitFor([&] { return mapped(agent.pid(), "libwayland-client"); })) << agent.err();
    EXPECT_TRUE(agent.running());
}
