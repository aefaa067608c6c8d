// The HID system on sway: a stand-in for sway's IPC socket records the
// i3-ipc messages the pointer settings send and answers as sway does.
#include "DesktopFakes.h"
#include "Platform/desktop/PointerBackend.h"
#include "Platform/desktop/SwayPointerSettings.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

namespace zed::test {
using namespace zed;

namespace {

// Listens on a socket in a fresh folder; every message is recorded and
// answered: commands with success (or with sway's failure for one refused
// command), the input list with a keyboard and a mouse.
class SwayStandIn {
public:
    struct Message {
        std::uint32_t type;
        std::string payload;
    };

    SwayStandIn() {
        char tmpl[] = "/tmp/zed-sway-XXXXXX";
        if (!mkdtemp(tmpl)) {
            return;
        }
        dir_ = tmpl;
        path_ = dir_ + "/ipc.sock";
        listener_ = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::listen(listener_.get(), 4) != 0) {
            listener_.reset();
            return;
        }
        thread_ = std::thread([this] { serve(); });
    }
    ~SwayStandIn() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        std::filesystem::remove_all(dir_);
    }
    bool ok() const { return static_cast<bool>(listener_); }
    const std::string& path() const { return path_; }
    std::vector<Message> messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<std::string> commands() {
        std::vector<std::string> out;
        for (const Message& m : messages()) {
            if (m.type == SwayPointerControl::kRunCommand) {
                out.push_back(m.payload);
            }
        }
        return out;
    }
    void refuse(const std::string& command) {
        std::lock_guard<std::mutex> lock(mutex_);
        refused_ = command;
    }
    void setInputs(const std::string& json) {
        std::lock_guard<std::mutex> lock(mutex_);
        inputs_ = json;
    }
    // Closes every connection as a restarted sway would, and returns once
    // they are closed.
    void dropConnections() {
        drop_ = true;
        while (drop_) {
            usleep(1000);
        }
    }
    int connections() const { return connections_; }

private:
    void serve() {
        std::vector<UniqueFd> clients;
        while (!stop_) {
            if (drop_.exchange(false)) {
                clients.clear();
            }
            std::vector<pollfd> fds{{listener_.get(), POLLIN, 0}};
            for (const UniqueFd& c : clients) {
                fds.push_back({c.get(), POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 20) <= 0) {
                continue;
            }
            if (fds[0].revents & POLLIN) {
                clients.emplace_back(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
                ++connections_;
            }
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (fds[i].revents && !answer(fds[i].fd)) {
                    clients[i - 1].reset();
                }
            }
            std::erase_if(clients, [](const UniqueFd& c) { return !c; });
        }
    }
    static bool readAll(int fd, char* p, std::size_t n) {
        while (n > 0) {
            const ssize_t r = ::read(fd, p, n);
            if (r <= 0) {
                return false;
            }
            p += r;
            n -= static_cast<std::size_t>(r);
        }
        return true;
    }
    bool answer(int fd) {
        char header[14];
        if (!readAll(fd, header, sizeof(header)) || std::memcmp(header, "i3-ipc", 6) != 0) {
            return false;
        }
        std::uint32_t length, type;
        std::memcpy(&length, header + 6, 4);
        std::memcpy(&type, header + 10, 4);
        std::string payload(length, '\0');
        if (!readAll(fd, payload.data(), length)) {
            return false;
        }
        std::string reply;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back({type, payload});
            if (type == SwayPointerControl::kGetInputs) {
                reply = inputs_;
            } else if (payload == refused_) {
                reply =
                    R"([ { "success": false, "parse_error": false, "error": "Invalid input config" } ])";
            } else {
                reply = R"([ { "success": true } ])";
            }
        }
        std::string out = "i3-ipc";
        const auto n = static_cast<std::uint32_t>(reply.size());
        out.append(reinterpret_cast<const char*>(&n), 4);
        out.append(reinterpret_cast<const char*>(&type), 4);
        out += reply;
        return ::write(fd, out.data(), out.size()) == static_cast<ssize_t>(out.size());
    }

    std::string dir_, path_;
    UniqueFd listener_;
    std::thread thread_;
    std::atomic<bool> stop_{false}, drop_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<Message> messages_;
    std::string refused_;
    std::string inputs_ = "[]";
};

class SwayPointerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sway.ok());
        auto properties =
            std::make_shared<DesktopHidProperties>(std::make_unique<NoDoubleClick>("sway"));
        hid = std::make_unique<DesktopHidSystem>(deskfake::keyboardFactory(keyboard),
                                                 std::make_unique<SwayPointerControl>(sway.path()),
                                                 properties);
        ASSERT_EQ(hid->open(DesktopRegistry::kHidSystemService, kIOHIDParamConnectType, &connect),
                  kIOReturnSuccess);
    }
    IOReturn accelerate(double a) {
        return hid->setAccelerationWithKey(connect, DesktopHidSystem::kAccelerationKey, a);
    }
    IOReturn readBack(double* a) {
        return hid->getAccelerationWithKey(connect, DesktopHidSystem::kAccelerationKey, a);
    }

    SwayStandIn sway;
    deskfake::KeyboardLog keyboard;
    std::unique_ptr<DesktopHidSystem> hid;
    io_connect_t connect = 0;
};

using Commands = std::vector<std::string>;

TEST_F(SwayPointerTest, ButtonModeIsLeftHandedOnEveryPointer) {
    EXPECT_EQ(hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeSwapped),
              kIOReturnSuccess);
    EXPECT_EQ(hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeNormal),
              kIOReturnSuccess);
    EXPECT_EQ(sway.commands(), (Commands{"input type:pointer left_handed enabled",
                                         "input type:pointer left_handed disabled"}));
}

TEST_F(SwayPointerTest, AccelerationIsAdaptiveWithTheSpeedOffIsFlat) {
    EXPECT_EQ(accelerate(0.75), kIOReturnSuccess);
    EXPECT_EQ(accelerate(-1.0), kIOReturnSuccess);
    EXPECT_EQ(accelerate(3.0), kIOReturnSuccess);
    EXPECT_EQ(sway.commands(), (Commands{"input type:pointer pointer_accel -0.5",
                                         "input type:pointer accel_profile adaptive",
                                         "input type:pointer accel_profile flat",
                                         "input type:pointer pointer_accel 1",
                                         "input type:pointer accel_profile adaptive"}));
    // One connection for all of them.
    EXPECT_EQ(sway.connections(), 1);
}

TEST_F(SwayPointerTest, ReadBackIsTheInverseOfTheFirstPointersSpeed) {
    sway.setInputs(R"([
        {"identifier": "1:1:AT_Translated_Set_2_keyboard", "type": "keyboard",
         "libinput": {"send_events": "enabled"}},
        {"identifier": "1133:16500:Mouse", "name": "A \"quoted\" mouse", "type": "pointer",
         "scroll_factor": 1.0,
         "libinput": {"send_events": "enabled", "accel_speed": -0.5, "accel_profile": "adaptive",
                      "left_handed": "disabled", "natural_scroll": false}},
        {"identifier": "2:7:Touchpad", "type": "touchpad", "libinput": {"accel_speed": 0.9}}
    ])");
    double a = -7;
    EXPECT_EQ(readBack(&a), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(a, 0.75);
    ASSERT_FALSE(sway.messages().empty());
    EXPECT_EQ(sway.messages().back().type, SwayPointerControl::kGetInputs);
    // No mouse: nothing to read, the caller keeps its own value.
    sway.setInputs(R"([{"type": "keyboard", "libinput": {}}])");
    a = -7;
    EXPECT_EQ(readBack(&a), kIOReturnNoDevice);
    EXPECT_EQ(a, -7);
}

TEST_F(SwayPointerTest, ARefusedCommandIsSaidOnceNamingSway) {
    sway.refuse("input type:pointer left_handed enabled");
    testing::internal::CaptureStderr();
    EXPECT_EQ(hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeSwapped),
              kIOReturnNotPermitted);
    EXPECT_EQ(hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeSwapped),
              kIOReturnNotPermitted);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find(deskfake::named("sway: ")), 0u) << err;
    EXPECT_NE(err.find("Invalid input config"), std::string::npos) << err;
    EXPECT_EQ(err.find(deskfake::named("")), err.rfind(deskfake::named(""))) << err;
    // Each call sent its command once: nothing is retried.
    EXPECT_EQ(sway.commands().size(), 2u);
}

TEST_F(SwayPointerTest, ARestartedSwayIsConnectedToAgainOnce) {
    hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeSwapped);
    sway.dropConnections();
    EXPECT_EQ(hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeNormal),
              kIOReturnSuccess);
    EXPECT_EQ(sway.commands().back(), "input type:pointer left_handed disabled");
    EXPECT_EQ(sway.connections(), 2);
}

TEST(SwayPointerGone, NoSocketFailsEveryCallAfterOneMessage) {
    SwayPointerControl pointer("/nonexistent/zed-sway.sock");
    testing::internal::CaptureStderr();
    EXPECT_EQ(pointer.setButtonsSwapped(true), kIOReturnNotResponding);
    EXPECT_EQ(pointer.setAcceleration(1.0), kIOReturnNotResponding);
    double a = 0;
    EXPECT_EQ(pointer.getAcceleration(&a), kIOReturnNotResponding);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find(deskfake::named("sway: ")), 0u) << err;
    EXPECT_EQ(err.find(deskfake::named("")), err.rfind(deskfake::named(""))) << err;
    EXPECT_FALSE(SwayPointerControl::answers("/nonexistent/zed-sway.sock"));
}

} // namespace

namespace {

// Sets environment variables for one scope, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(std::initializer_list<std::pair<const char*, std::string>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            setenv(name, value.c_str(), 1);
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name, value->c_str(), 1);
            } else {
                unsetenv(name);
            }
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(SwaySession, IsRecognisedAndItsSocketGetsTheSettings) {
    SwayStandIn sway;
    ASSERT_TRUE(sway.ok());
    ScopedEnv env{{"XDG_CURRENT_DESKTOP", "sway"},
                  {"XDG_SESSION_TYPE", "wayland"},
                  {"SWAYSOCK", sway.path()}};
    PointerBackend backend = makePointerBackend(nullptr);
    EXPECT_EQ(backend.kind, PointerBackendKind::Sway);
    ASSERT_TRUE(backend.pointer);
    EXPECT_EQ(backend.pointer->setButtonsSwapped(true), kIOReturnSuccess);
    EXPECT_EQ(sway.commands(), std::vector<std::string>{"input type:pointer left_handed enabled"});
    testing::internal::CaptureStderr();
    EXPECT_EQ(backend.doubleClick->setDoubleClickTime(500000000), kIOReturnUnsupported);
    EXPECT_EQ(testing::internal::GetCapturedStderr().find(deskfake::named("sway: ")), 0u);
}

TEST(SwaySession, WithoutAnAnsweringSocketFallsBackToTheXServerSaidOnce) {
    ScopedEnv env{{"XDG_CURRENT_DESKTOP", "sway"},
                  {"XDG_SESSION_TYPE", "wayland"},
                  {"SWAYSOCK", "/nonexistent/zed-sway.sock"}};
    testing::internal::CaptureStderr();
    PointerBackend backend = makePointerBackend(nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(backend.kind, PointerBackendKind::X11);
    EXPECT_NE(err.find(deskfake::named("sway: ")), std::string::npos) << err;
    EXPECT_NE(err.find("X applications only"), std::string::npos) << err;
}

} // namespace
} // namespace zed::test
