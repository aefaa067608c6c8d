// A fake platform for the agent: in-memory domain, registry with a HID system,
// scripted session, recording process calls.
#pragma once

#include "Daemon/Application.h"
#include "Daemon/CallBacks.h"
#include "Daemon/Preferences.h"
#include "FakeIOKit.h"
#include "FakeOverlayWindow.h"
#include "Platform/dbus/Platform.h"
#include "ScriptedLoginSession.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

class FakeProcess : public zed::ProcessControl {
public:
    uid_t getuid() override { return realUid; }
    uid_t geteuid() override { return effectiveUid; }
    std::optional<User> userById(uid_t uid) override;
    int initgroups(const std::string& user, gid_t group) override;
    int setgid(gid_t gid) override;
    int setuid(uid_t uid) override;
    // Recorded, and applied to the real environment (the fixture restores it).
    void setEnvironment(const std::string& name, const std::optional<std::string>& value) override;
    int sleep(unsigned seconds, std::span<const int> wakeSignals) override;
    void exit(int status) override;

    uid_t realUid = 4242;
    uid_t effectiveUid = 4242;
    std::map<uid_t, User> users;
    // Calls that fail with EPERM: "initgroups", "setgid", "setuid".
    std::set<std::string> failing;
    // The identity and environment calls in order, e.g. "setgid 20".
    std::vector<std::string> calls;
    std::vector<uid_t> setuids;
    std::vector<unsigned> sleeps;
    std::vector<int> exits;
    std::function<void(int)> onSleep;
    // SIGTERM arrives during this sleep (counting from 1), when the sleep wakes for it.
    int sigtermAtSleep = 0;
};

class AgentTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Plugs a mouse: its USB device and its driver instance.
    zed::io_service_t plugMouse(std::int32_t product = 1);
    // The settings the domain holds for the console user.
    zed::Dictionary storedDomain();
    // The last property dictionary set on the service.
    zed::Dictionary lastSet(zed::io_service_t service);

    zed::Platform* platform = nullptr;
    zed::FakeRegistry* registry = nullptr;
    zed::FakeHidSystem* hid = nullptr;
    zed::ScriptedLoginSession* session = nullptr;
    zed::MemoryPreferenceDomains* prefs = nullptr;
    zed::LocalNotificationCenter* center = nullptr;
    FakeProcess* process = nullptr;
    // The environment the agent may change, as it was before the test.
    std::map<std::string, std::optional<std::string>> savedEnvironment;
    zed::io_service_t hidSystem = 0;
    std::vector<zed::io_service_t> usbDevices;
    zed::FakeOverlayService overlays;
};
