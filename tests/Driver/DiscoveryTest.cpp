// Which mice the driver adopts, decided from what udev says of a node; the
// real udev (enumeration, hot-plug) is exercised in the test machine.
#include "Driver/Discovery.h"

#include <gtest/gtest.h>

namespace zed::test {
using namespace zed::driver;

namespace {

MouseCandidate mouse(std::uint16_t vendor, std::uint16_t product) {
    MouseCandidate c;
    c.identity = {.name = "A mouse",
                  .vendor = vendor,
                  .product = product,
                  .node = "/dev/input/event4",
                  .syspath = "/sys/devices/virtual/input/input9/event4"};
    c.phys = "usb-0000:00:14.0-1/input0";
    c.isMouse = true;
    c.hasIds = true;
    return c;
}

} // namespace

TEST(Adoption, TheMakersTwoProductsAreAdoptedAndNothingElseUnmarked) {
    EXPECT_TRUE(shouldAdopt(mouse(0x2F1A, 1)));
    EXPECT_TRUE(shouldAdopt(mouse(0x2F1A, 2)));
    EXPECT_FALSE(shouldAdopt(mouse(0x2F1A, 3)));
    EXPECT_FALSE(shouldAdopt(mouse(0x046D, 1)));
    auto noIds = mouse(0x2F1A, 1);
    noIds.hasIds = false;
    EXPECT_FALSE(shouldAdopt(noIds)) << "ids that could not be read are not the maker's";
}

TEST(Adoption, AMarkedMouseOfAnyMakerIsAdopted) {
    auto other = mouse(0x046D, 0xC077);
    other.marked = true;
    EXPECT_TRUE(shouldAdopt(other));
    other.hasIds = false;
    EXPECT_TRUE(shouldAdopt(other));
}

TEST(Adoption, OnlyMiceWithANode) {
    auto keyboard = mouse(0x2F1A, 1);
    keyboard.isMouse = false;
    keyboard.marked = true;
    EXPECT_FALSE(shouldAdopt(keyboard)) << "udev does not class it as a mouse";
    auto nodeless = mouse(0x2F1A, 1);
    nodeless.identity.node.clear();
    EXPECT_FALSE(shouldAdopt(nodeless));
}

TEST(Adoption, TheDriversOwnVirtualPointersAreNeverAdopted) {
    // They carry the source's ids, and a rule may mark them like any other.
    auto own = mouse(0x2F1A, 1);
    own.phys = std::string(kVirtualPhysPrefix) + "/dev/input/event4";
    EXPECT_FALSE(shouldAdopt(own));
    own.marked = true;
    EXPECT_FALSE(shouldAdopt(own));
    EXPECT_TRUE(isOurVirtualDevice(own.phys));
    EXPECT_FALSE(isOurVirtualDevice("usb-zed-driver/"));
    EXPECT_FALSE(isOurVirtualDevice(""));
}

TEST(Adoption, TheRuleLineMatchesTheInputNodeByItsInputDevicesIds) {
    EXPECT_EQ(adoptionRule(mouse(0x046D, 0xC07)),
              "ACTION==\"add|change\", SUBSYSTEM==\"input\", KERNEL==\"event*\", "
              "ATTRS{id/vendor}==\"046d\", ATTRS{id/product}==\"0c07\", ENV{ZED_DRIVER}=\"1\"");
}

TEST(Adoption, IdsAreReadAsTheKernelAndUdevWriteThem) {
    EXPECT_EQ(parseHexId("2f1a"), 0x2F1A);
    EXPECT_EQ(parseHexId("2F1A"), 0x2F1A);
    EXPECT_EQ(parseHexId("0001\n"), 1);
    EXPECT_EQ(parseHexId("0x2f1a"), 0x2F1A);
    EXPECT_EQ(parseHexId("ffff"), 0xFFFF);
    for (const char* bad : {"", "0x", "12345", "2f1g", "-1", " 2f1a", "2f1a\nx"}) {
        EXPECT_EQ(parseHexId(bad), std::nullopt) << '"' << bad << '"';
    }
    EXPECT_EQ(parseHexId(nullptr), std::nullopt);
}

} // namespace zed::test
