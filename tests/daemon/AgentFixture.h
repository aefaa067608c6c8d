// A fake platform for the agent: in-memory domain, registry with a HID system,
// scripted session, recording process calls.
#pragma once

#include "Daemon/Application.h"
#include "Daemon/CallBacks.h"
#include "Daemon/Preferences.h"
#include "Platform/FakeIOKit.h"
#include "Platform/FakeOverlayWindow.h"
#include "Platform/Platform.h"

#include <functional>
#include <gtest/gtest.h>
#include <vector>

class FakeProcess : public zed::ProcessControl {
public:
    uid_t getuid() override { return realUid; }
    int setuid(uid_t uid) override {
        setuids.push_back(uid);
        return 0;
    }
    void sleep(unsigned seconds) override {
        sleeps.push_back(seconds);
        if (onSleep) {
            onSleep(static_cast<int>(sleeps.size()));
        }
    }
    void exit(int status) override;

    uid_t realUid = 4242;
    std::vector<uid_t> setuids;
    std::vector<unsigned> sleeps;
    std::vector<int> exits;
    std::function<void(int)> onSleep;
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
    zed::io_service_t hidSystem = 0;
    std::vector<zed::io_service_t> usbDevices;
    zed::FakeOverlayService overlays;
};
