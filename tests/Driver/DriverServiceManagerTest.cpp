// zed-driver under a service manager: it says it is ready once it owns its
// name, pets the watchdog, and says it is stopping on SIGTERM; it ends with a
// failure when its bus goes, so that the manager starts it again. A session
// bus stands in for the system bus here.
#include "Platform/dbus/DBusClient.h"
#include "SimulatorHarness.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace zed;
using namespace zed::test;

namespace {

// The socket a service manager listens on for sd_notify's datagrams.
class NotifySocket {
public:
    NotifySocket() {
        char tmpl[] = "/tmp/zed-notify-XXXXXX";
        dir_ = mkdtemp(tmpl);
        path_ = dir_ + "/notify";
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path_.c_str());
        ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~NotifySocket() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        std::filesystem::remove_all(dir_);
    }
    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }

    // Waits for a datagram containing `what`; every datagram seen is kept.
    bool waitFor(const std::string& what, double timeoutSeconds = 10) {
        const double end = RunLoop::now() + timeoutSeconds;
        for (;;) {
            for (const auto& d : seen) {
                if (d.find(what) != std::string::npos) {
                    return true;
                }
            }
            const double left = end - RunLoop::now();
            if (left <= 0) {
                return false;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left * 1000) + 1) > 0) {
                char buf[4096];
                const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
                if (n > 0) {
                    seen.emplace_back(buf, static_cast<std::size_t>(n));
                }
            }
        }
    }

    std::vector<std::string> seen;

private:
    std::string dir_;
    std::string path_;
    int fd_ = -1;
    bool ok_ = false;
};

} // namespace

TEST(DriverUnderAServiceManager, ReadyOnceItOwnsItsNameThenWatchdogAndStopping) {
    if (auto why = sessionBusMissing(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    NotifySocket manager;
    ASSERT_TRUE(manager.ok());
    char tmpl[] = "/tmp/zed-driver-sm-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    ChildProcess driver("driver", dir);
    ASSERT_TRUE(driver.start({ZED_DRIVER},
                             {{"DBUS_SYSTEM_BUS_ADDRESS", std::getenv("DBUS_SESSION_BUS_ADDRESS")},
                              {"NOTIFY_SOCKET", manager.path()},
                              {"WATCHDOG_USEC", "200000"}}));
    ASSERT_TRUE(manager.waitFor("READY=1")) << driver.err();
    // Ready means served: a client that starts now finds the registry.
    EXPECT_TRUE(nameHasOwner(registrybus::kBusName, BusKind::Session));
    EXPECT_TRUE(manager.waitFor("WATCHDOG=1")) << driver.err();
    EXPECT_EQ(driver.stop(SIGTERM), 0) << driver.err();
    EXPECT_TRUE(manager.waitFor("STOPPING=1", 1));
    EXPECT_TRUE(waitForOwnership(registrybus::kBusName, false));
    std::filesystem::remove_all(dir);
}

TEST(DriverUnderAServiceManager, EndsWithAFailureWhenItsBusGoes) {
    char tmpl[] = "/tmp/zed-driver-bus-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string address = "unix:path=" + dir + "/bus";
    {
        // A bus of its own, so that ending it leaves the test's bus alone.
        ChildProcess bus("dbus-daemon", dir);
        ASSERT_TRUE(bus.start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile",
                               "--address=" + address}));
        ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir + "/bus"); }, 10))
            << bus.log();
        NotifySocket manager;
        ASSERT_TRUE(manager.ok());
        ChildProcess driver("driver", dir);
        ASSERT_TRUE(driver.start({ZED_DRIVER}, {{"DBUS_SYSTEM_BUS_ADDRESS", address},
                                                {"NOTIFY_SOCKET", manager.path()},
                                                {"WATCHDOG_USEC", "200000"}}));
        ASSERT_TRUE(manager.waitFor("READY=1")) << driver.err();

        bus.stop(SIGKILL);
        const int status = driver.wait(5);
        EXPECT_NE(status, -1) << "the driver went on without its bus";
        EXPECT_EQ(status, 1);
        EXPECT_NE(driver.err().find("the system bus went away"), std::string::npos) << driver.err();
    }
    std::filesystem::remove_all(dir);
}
