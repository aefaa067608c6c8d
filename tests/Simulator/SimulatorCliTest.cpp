// zed-mouse-sim's command line: what it prints and how it fails.
#include "SimulatorHarness.h"

#include <gtest/gtest.h>

namespace zed::test {
namespace {

TEST(SimulatorCli, UsageErrorsExitWithTwo) {
    EXPECT_EQ(sim({}).exitCode, 2);
    EXPECT_EQ(sim({"dance"}).exitCode, 2);
    EXPECT_EQ(sim({"message"}).exitCode, 2);
    EXPECT_EQ(sim({"message", "0x1g"}).exitCode, 2);
    EXPECT_EQ(sim({"press", "9"}).exitCode, 2);
    EXPECT_EQ(sim({"fail-next"}).exitCode, 2);
    EXPECT_EQ(sim({"unplug", "zero"}).exitCode, 2);
    ProgramResult help = sim({"help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("press BUTTON"), std::string::npos);
}

class SimulatorCliOnBus : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = sessionBusMissing(); !why.empty()) {
            GTEST_SKIP() << why;
        }
    }
    SimulatorProcess simulator_;
};

TEST_F(SimulatorCliOnBus, CommandsWithoutARunningSimulatorSaySo) {
    ProgramResult r = sim({"plug"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("not running"), std::string::npos) << r.err;
}

TEST_F(SimulatorCliOnBus, PlugPrintsIdsAndUnplugTakesTheLastByDefault) {
    ASSERT_TRUE(simulator_.start());
    EXPECT_EQ(sim({"plug"}).out, "2\n"); // after the HID system, a driver then its device
    EXPECT_EQ(sim({"plug", "--product", "2"}).out, "4\n");
    EXPECT_EQ(sim({"plug"}).out, "6\n");
    EXPECT_EQ(sim({"unplug", "5"}).out, "4\n"); // named by its USB device
    EXPECT_EQ(sim({"unplug"}).out, "6\n");
    EXPECT_EQ(sim({"unplug"}).out, "2\n");
    ProgramResult none = sim({"unplug"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no mouse is plugged"), std::string::npos) << none.err;
    EXPECT_EQ(sim({"message", "1"}).exitCode, 1);
}

TEST_F(SimulatorCliOnBus, ShowListsDevicesAndRefusesUnknownThings) {
    ASSERT_TRUE(simulator_.start());
    sim({"plug", "--product", "2"});
    auto devices = lines(sim({"show", "devices"}).out);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0], "{\"id\":1,\"class\":\"IOHIDSystem\",\"properties\":{}}");
    EXPECT_EQ(devices[1], "{\"id\":2,\"class\":\"com_tovik_driver_TovikCopperhoundDriver\","
                          "\"properties\":{\"idProduct\":{\"type\":\"int32\",\"value\":2},"
                          "\"idVendor\":{\"type\":\"int32\",\"value\":12058}}}");
    EXPECT_NE(devices[2].find("\"class\":\"IOUSBDevice\""), std::string::npos);
    ProgramResult bad = sim({"show", "everything"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("nothing called \"everything\""), std::string::npos) << bad.err;
    EXPECT_EQ(sim({"session", "sideways"}).exitCode, 1);
}

TEST_F(SimulatorCliOnBus, AClientWeDidNotWriteCanSetDriverProperties) {
    ASSERT_TRUE(simulator_.start());
    sim({"plug"});
    ProgramResult call = runProgram(
        {"/usr/bin/gdbus", "call", "--session", "--dest", "com.tovik.IORegistry", "--object-path",
         "/com/tovik/IORegistry/service/2", "--method", "com.tovik.IOService.SetProperties",
         "{'Resolution': <int32 2>, 'Sensitivity': <int32 131072>}"});
    ASSERT_EQ(call.exitCode, 0) << call.err;
    EXPECT_EQ(call.out, "(0,)\n");
    // A payload that is not a property list is refused whole, with a status.
    ProgramResult odd =
        runProgram({"/usr/bin/gdbus", "call", "--session", "--dest", "com.tovik.IORegistry",
                    "--object-path", "/com/tovik/IORegistry/service/2", "--method",
                    "com.tovik.IOService.SetProperties", "{'Resolution': <uint32 2>}"});
    ASSERT_EQ(odd.exitCode, 0) << odd.err;
    EXPECT_EQ(odd.out, "(-536870206,)\n"); // kIOReturnBadArgument
    auto records = lines(sim({"show", "driver"}).out);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], "{\"seq\":1,\"driver\":2,\"product\":1,\"status\":0,\"properties\":{"
                          "\"Resolution\":{\"type\":\"int32\",\"value\":2},\"Sensitivity\":{"
                          "\"type\":\"int32\",\"value\":131072}}}");
}

} // namespace
} // namespace zed::test
