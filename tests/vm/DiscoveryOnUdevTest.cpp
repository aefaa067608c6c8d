// The driver's discovery with the real udev of the test machine: which
// evdev nodes it reports, at start and as they are plugged in and out, and
// what `zed-driver --list` prints of them.
#include "Driver/Discovery.h"
#include "EvdevReader.h"
#include "SimulatorHarness.h"
#include "UhidMouse.h"
#include "VmTest.h"

#include <cstring>
#include <fcntl.h>
#include <linux/uinput.h>
#include <map>
#include <memory>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace zed;
using namespace zed::test;
using namespace zed::driver;

namespace {

std::string udevMissing() {
    if (::access("/run/udev/control", F_OK) != 0) {
        return "needs udevd (run scripts/vm-test)";
    }
    return nodeMissing("/dev/uhid");
}

struct Reported {
    std::vector<MouseIdentity> added;
    std::vector<std::string> removed;

    bool hasAdded(const std::string& node) const {
        for (const auto& id : added) {
            if (id.node == node) {
                return true;
            }
        }
        return false;
    }
};

class DiscoveryOnUdev : public ::testing::Test {
protected:
    void SetUp() override { ZED_REQUIRE_OR_SKIP(udevMissing()); }

    std::unique_ptr<Discovery> start() {
        std::string error;
        auto d = Discovery::start(
            loop.event(),
            {.added = [this](const MouseIdentity& id) { seen.added.push_back(id); },
             .removed = [this](const std::string& s) { seen.removed.push_back(s); }},
            &error);
        EXPECT_TRUE(d) << error;
        return d;
    }

    // Plugs it and waits for its node (udev has then seen it too).
    std::string plug(UhidMouse& mouse) {
        EXPECT_TRUE(mouse.plugged()) << mouse.error();
        const std::string node = mouse.evdevNode();
        EXPECT_FALSE(node.empty());
        return node;
    }

    // Lets the loop run a while, for reports that should not come.
    void settle() {
        runUntil(
            loop, [] { return false; }, 1.0);
    }

    RunLoop loop;
    Reported seen;
};

// A uinput mouse with the maker's ids, marked as the driver's own by its
// phys (set with the raw ioctl: libevdev's uinput helper does not set it).
struct OwnVirtualMouse {
    static constexpr const char* kName = "Tovik Copperhound virtual pointer (test)";

    OwnVirtualMouse() {
        fd.reset(::open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        const std::string phys = std::string(kVirtualPhysPrefix) + "/dev/input/event99";
        uinput_setup setup{};
        setup.id = {BUS_USB, 0x2F1A, 1, 1};
        std::snprintf(setup.name, sizeof setup.name, "%s", kName);
        bool ok = fd && ::ioctl(fd.get(), UI_SET_EVBIT, EV_REL) == 0 &&
                  ::ioctl(fd.get(), UI_SET_EVBIT, EV_KEY) == 0;
        for (int code : {REL_X, REL_Y, REL_WHEEL}) {
            ok = ok && ::ioctl(fd.get(), UI_SET_RELBIT, code) == 0;
        }
        for (int code : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}) {
            ok = ok && ::ioctl(fd.get(), UI_SET_KEYBIT, code) == 0;
        }
        ok = ok && ::ioctl(fd.get(), UI_SET_PHYS, phys.c_str()) == 0 &&
             ::ioctl(fd.get(), UI_DEV_SETUP, &setup) == 0 && ::ioctl(fd.get(), UI_DEV_CREATE) == 0;
        error = ok ? 0 : errno;
    }
    ~OwnVirtualMouse() {
        if (fd && error == 0) {
            ::ioctl(fd.get(), UI_DEV_DESTROY);
        }
    }
    std::string node() const { return findEvdevNode({.name = kName}); }

    UniqueFd fd;
    int error = 0;
};

} // namespace

TEST_F(DiscoveryOnUdev, MiceAlreadyThereAreReportedAtStartAndOnlyOnce) {
    UhidMouse mouse({.product = 2});
    const std::string node = plug(mouse);
    ASSERT_TRUE(runUntil(
        loop, [] { return std::system("udevadm settle") == 0; }, 10));
    auto discovery = start();
    ASSERT_TRUE(discovery);
    // Reported by enumeration before start returns.
    ASSERT_EQ(seen.added.size(), 1u);
    const MouseIdentity& id = seen.added.front();
    EXPECT_EQ(id.node, node);
    EXPECT_EQ(id.vendor, 0x2F1A);
    EXPECT_EQ(id.product, 2);
    EXPECT_EQ(id.name, mouse.options().name);
    EXPECT_EQ(id.syspath.rfind("/sys/", 0), 0u) << id.syspath;
    // A "change" of the same device is no second adoption.
    ASSERT_EQ(std::system(("udevadm trigger --action=change " + id.syspath).c_str()), 0);
    settle();
    EXPECT_EQ(seen.added.size(), 1u);
    EXPECT_EQ(discovery->adopted(), std::vector<std::string>{id.syspath});
}

TEST_F(DiscoveryOnUdev, PluggingAndUnpluggingAreReportedForTheMakersAndMarkedMiceOnly) {
    auto discovery = start();
    ASSERT_TRUE(discovery);
    ASSERT_TRUE(seen.added.empty()) << seen.added.front().node;

    UhidMouse maker({.product = 1});
    UhidMouse marked({.vendor = 0x1234, .product = 0xABCD}); // the machine's rule marks it
    UhidMouse other({.vendor = 0x1234, .product = 0x0001});
    UhidMouse otherProduct({.product = 3});
    const std::string makerNode = plug(maker);
    const std::string markedNode = plug(marked);
    plug(other);
    plug(otherProduct);
    ASSERT_TRUE(runUntil(loop, [&] { return seen.added.size() >= 2; }));
    settle();
    ASSERT_EQ(seen.added.size(), 2u);
    EXPECT_TRUE(seen.hasAdded(makerNode));
    EXPECT_TRUE(seen.hasAdded(markedNode));

    std::string makerSyspath;
    for (const auto& id : seen.added) {
        if (id.node == makerNode) {
            makerSyspath = id.syspath;
        }
    }
    ASSERT_TRUE(maker.unplug());
    ASSERT_TRUE(runUntil(loop, [&] { return !seen.removed.empty(); }));
    EXPECT_EQ(seen.removed, std::vector<std::string>{makerSyspath});
    ASSERT_TRUE(other.unplug());
    settle();
    EXPECT_EQ(seen.removed.size(), 1u) << "a mouse never reported is not reported gone";
}

TEST_F(DiscoveryOnUdev, TheDriversOwnVirtualPointerIsNeverReported) {
    auto discovery = start();
    ASSERT_TRUE(discovery);
    OwnVirtualMouse own;
    ASSERT_EQ(own.error, 0) << std::strerror(own.error);
    std::string node;
    ASSERT_TRUE(runUntil(loop, [&] { return !(node = own.node()).empty(); }));
    // udev classes it as a mouse with the maker's ids; only its phys tells.
    std::string error;
    std::optional<std::vector<MouseCandidate>> mice;
    ASSERT_TRUE(runUntil(loop, [&] {
        mice = listMice(&error);
        for (const auto& c : mice.value_or(std::vector<MouseCandidate>{})) {
            if (c.identity.node == node) {
                return true;
            }
        }
        return false;
    })) << error;
    settle();
    EXPECT_TRUE(seen.added.empty()) << seen.added.front().node;
}

TEST_F(DiscoveryOnUdev, TheListShowsEveryMouseWithItsAdoptionAndRule) {
    UhidMouse maker({.product = 1});
    UhidMouse marked({.vendor = 0x1234, .product = 0xABCD});
    UhidMouse other({.vendor = 0x1234, .product = 0x0001});
    OwnVirtualMouse own;
    ASSERT_EQ(own.error, 0) << std::strerror(own.error);
    const std::string makerNode = plug(maker);
    const std::string markedNode = plug(marked);
    const std::string otherNode = plug(other);
    ASSERT_EQ(std::system("udevadm settle"), 0);
    const std::string ownNode = own.node();
    ASSERT_FALSE(ownNode.empty());

    const auto r = runProgram({ZED_DRIVER, "--list"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    // Each mouse's block: its line, then its adoption and rule lines.
    auto block = [&](const std::string& node) {
        const auto at = r.out.find(node + "  ");
        if (at == std::string::npos) {
            return std::string();
        }
        const auto next = r.out.find("\n/dev/", at);
        return r.out.substr(at, next == std::string::npos ? std::string::npos : next - at);
    };
    const std::string makerBlock = block(makerNode);
    EXPECT_NE(makerBlock.find("2f1a:0001  \"Tovik Copperhound test mouse\""), std::string::npos)
        << r.out;
    EXPECT_NE(makerBlock.find("adopted: yes (the maker's mouse)"), std::string::npos) << r.out;
    EXPECT_NE(block(markedNode).find("adopted: yes (a udev rule sets ZED_DRIVER=1)"),
              std::string::npos)
        << r.out;
    const std::string otherBlock = block(otherNode);
    EXPECT_NE(otherBlock.find("adopted: no\n"), std::string::npos) << r.out;
    // The rule printed for it is the machine's marking rule with its ids:
    // the rule that marked the other one.
    EXPECT_NE(otherBlock.find("ATTRS{id/vendor}==\"1234\", ATTRS{id/product}==\"0001\", "
                              "ENV{ZED_DRIVER}=\"1\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(block(ownNode).find("adopted: no, it is this driver's own virtual pointer"),
              std::string::npos)
        << r.out;
}

TEST_F(DiscoveryOnUdev, ThePackagedRuleMarksTheMakersMiceAndNeverTheVirtualPointer) {
    UhidMouse maker({.product = 2});
    UhidMouse other({.vendor = 0x1234, .product = 0x0001});
    OwnVirtualMouse own;
    ASSERT_EQ(own.error, 0) << std::strerror(own.error);
    const std::string makerNode = plug(maker);
    const std::string otherNode = plug(other);
    ASSERT_EQ(std::system("udevadm settle"), 0);
    const std::string ownNode = own.node();
    ASSERT_FALSE(ownNode.empty());

    std::string error;
    const auto mice = listMice(&error);
    ASSERT_TRUE(mice) << error;
    std::map<std::string, bool> marked;
    for (const auto& c : *mice) {
        marked[c.identity.node] = c.marked;
    }
    ASSERT_EQ(marked.count(makerNode), 1u);
    EXPECT_TRUE(marked[makerNode]);
    EXPECT_FALSE(marked[otherNode]);
    ASSERT_EQ(marked.count(ownNode), 1u) << "udev classes it as a mouse";
    EXPECT_FALSE(marked[ownNode]);
}
