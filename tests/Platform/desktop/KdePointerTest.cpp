// The HID system on KDE Plasma: a python-dbusmock stand-in for KWin's input
// device manager and devices on a private session bus, and kdeglobals in a
// temporary configuration folder.
#include "DesktopFakes.h"
#include "LogindMock.h"
#include "Platform/core/RunLoop.h"
#include "Platform/desktop/KdePointerSettings.h"
#include "Platform/desktop/PointerBackend.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <sys/stat.h>

namespace zed::test {
using namespace zed;

namespace {

constexpr const char* kMock = "org.freedesktop.DBus.Mock";
constexpr const char* kProps = "org.freedesktop.DBus.Properties";

// A private bus with a stand-in for KWin on it.
class KWinMock {
public:
    std::string start() {
        return bus_.start({"--session", KWinPointerControl::kService,
                           KWinPointerControl::kManagerPath, KWinPointerControl::kManagerInterface},
                          "DBUS_SESSION_BUS_ADDRESS", KWinPointerControl::kService,
                          "/usr/lib/python3/dist-packages/dbusmock");
    }

    BusPtr connect() const { return bus_.connect(); }
    sd_bus* control() { return bus_.control(); }
    const std::string& address() const { return bus_.address(); }

    // The manager's list of devices, as KWin gives it.
    bool setDevices(const std::vector<std::string>& names) {
        sd_bus_message* raw = nullptr;
        const bool first = !haveList_;
        if (sd_bus_message_new_method_call(control(), &raw, KWinPointerControl::kService,
                                           KWinPointerControl::kManagerPath, first ? kMock : kProps,
                                           first ? "AddProperty" : "Set") < 0) {
            return false;
        }
        MessagePtr m(raw);
        std::vector<const char*> strv;
        for (const std::string& n : names) {
            strv.push_back(n.c_str());
        }
        strv.push_back(nullptr);
        if (sd_bus_message_append(m.get(), "ss", KWinPointerControl::kManagerInterface,
                                  "devicesSysNames") < 0 ||
            sd_bus_message_open_container(m.get(), 'v', "as") < 0 ||
            sd_bus_message_append_strv(m.get(), const_cast<char**>(strv.data())) < 0 ||
            sd_bus_message_close_container(m.get()) < 0) {
            return false;
        }
        haveList_ = true;
        return call(m.get());
    }
    // A device object with KWin's properties.
    // Without profiles, it stands for a device whose KWin has no such
    // properties: setting them fails.
    bool addDevice(const std::string& sysName, bool pointer, bool touchpad,
                   bool withProfiles = true) {
        sd_bus_message* raw = nullptr;
        if (sd_bus_message_new_method_call(control(), &raw, KWinPointerControl::kService,
                                           KWinPointerControl::kManagerPath, kMock,
                                           "AddObject") < 0) {
            return false;
        }
        MessagePtr m(raw);
        Dictionary props{{"name", Value("device " + sysName)}, {"sysName", Value(sysName)},
                         {"pointer", Value(pointer)},          {"touchpad", Value(touchpad)},
                         {"keyboard", Value(!pointer)},        {"leftHanded", Value(false)},
                         {"pointerAcceleration", Value(0.0)}};
        if (withProfiles) {
            props["pointerAccelerationProfileFlat"] = Value(false);
            props["pointerAccelerationProfileAdaptive"] = Value(true);
        }
        const std::string path = std::string(KWinPointerControl::kManagerPath) + "/" + sysName;
        if (sd_bus_message_append(m.get(), "ss", path.c_str(),
                                  KWinPointerControl::kDeviceInterface) < 0 ||
            appendDictionary(m.get(), props) < 0 ||
            sd_bus_message_append(m.get(), "a(ssss)", 0) < 0) {
            return false;
        }
        return call(m.get());
    }
    bool emitDeviceAdded(const std::string& sysName) {
        sd_bus_message* reply = nullptr;
        const int r = sd_bus_call_method(
            control(), KWinPointerControl::kService, KWinPointerControl::kManagerPath, kMock,
            "EmitSignal", nullptr, &reply, "sssav", KWinPointerControl::kManagerInterface,
            "deviceAdded", "s", 1, "s", sysName.c_str());
        MessagePtr owned(reply);
        return r >= 0;
    }
    // A device property as the stand-in holds it now: b or d.
    std::optional<Value> property(const std::string& sysName, const char* name) {
        const std::string path = std::string(KWinPointerControl::kManagerPath) + "/" + sysName;
        sd_bus_message* reply = nullptr;
        const int r =
            sd_bus_call_method(control(), KWinPointerControl::kService, path.c_str(), kProps, "Get",
                               nullptr, &reply, "ss", KWinPointerControl::kDeviceInterface, name);
        MessagePtr owned(reply);
        if (r < 0) {
            return std::nullopt;
        }
        std::string error;
        return readVariant(owned.get(), &error);
    }
    bool setProperty(const std::string& sysName, const char* name, const Value& v) {
        const std::string path = std::string(KWinPointerControl::kManagerPath) + "/" + sysName;
        sd_bus_message* raw = nullptr;
        if (sd_bus_message_new_method_call(control(), &raw, KWinPointerControl::kService,
                                           path.c_str(), kProps, "Set") < 0) {
            return false;
        }
        MessagePtr m(raw);
        if (sd_bus_message_append(m.get(), "ss", KWinPointerControl::kDeviceInterface, name) < 0 ||
            appendVariant(m.get(), v) < 0) {
            return false;
        }
        return call(m.get());
    }

private:
    bool call(sd_bus_message* m) {
        sd_bus_message* reply = nullptr;
        const int r = sd_bus_call(control(), m, 0, nullptr, &reply);
        MessagePtr owned(reply);
        return r >= 0;
    }

    deskfake::MockBus bus_;
    bool haveList_ = false;
};

class KdePointerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = kwin.start();
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
        ASSERT_TRUE(kwin.addDevice("event3", true, false));  // a mouse
        ASSERT_TRUE(kwin.addDevice("event4", true, true));   // a touchpad
        ASSERT_TRUE(kwin.addDevice("event5", false, false)); // a keyboard
        ASSERT_TRUE(kwin.setDevices({"event3", "event4", "event5"}));
        BusPtr bus = kwin.connect();
        ASSERT_TRUE(bus);
        ASSERT_TRUE(loop.attachBus(bus.get()));
        ASSERT_TRUE(KWinPointerControl::answers(bus.get()));
        auto properties = std::make_shared<DesktopHidProperties>(nullptr);
        hid = std::make_unique<DesktopHidSystem>(
            deskfake::keyboardFactory(keyboard),
            std::make_unique<KWinPointerControl>(std::move(bus)), properties);
        ASSERT_EQ(hid->open(DesktopRegistry::kHidSystemService, kIOHIDParamConnectType, &connect),
                  kIOReturnSuccess);
    }
    IOReturn accelerate(double a) {
        return hid->setAccelerationWithKey(connect, DesktopHidSystem::kAccelerationKey, a);
    }
    bool boolean(const std::string& device, const char* name) {
        auto v = kwin.property(device, name);
        return v && v->type() == Value::Type::Bool && *v->toBool();
    }
    double number(const std::string& device, const char* name) {
        auto v = kwin.property(device, name);
        return v && v->type() == Value::Type::Double ? *v->toDouble() : std::nan("");
    }
    // Runs the loop until the condition holds, with a generous bound.
    template <typename Condition> bool runUntil(Condition done) {
        for (int i = 0; i < 400 && !done(); ++i) {
            loop.runOnce(0.05);
        }
        return done();
    }

    KWinMock kwin;
    RunLoop loop;
    deskfake::KeyboardLog keyboard;
    std::unique_ptr<DesktopHidSystem> hid;
    io_connect_t connect = 0;
};

TEST_F(KdePointerTest, ButtonModeIsLeftHandedOnMiceOnly) {
    EXPECT_EQ(hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeSwapped),
              kIOReturnSuccess);
    EXPECT_TRUE(boolean("event3", "leftHanded"));
    EXPECT_FALSE(boolean("event4", "leftHanded")); // the touchpad has its own
    EXPECT_FALSE(boolean("event5", "leftHanded"));
    EXPECT_EQ(hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeNormal),
              kIOReturnSuccess);
    EXPECT_FALSE(boolean("event3", "leftHanded"));
}

TEST_F(KdePointerTest, AccelerationIsTheAdaptiveProfileAndItsSpeedOffIsFlat) {
    kwin.setProperty("event3", "pointerAccelerationProfileAdaptive", Value(false));
    EXPECT_EQ(accelerate(2.25), kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(number("event3", "pointerAcceleration"), 0.5);
    EXPECT_TRUE(boolean("event3", "pointerAccelerationProfileAdaptive"));
    EXPECT_DOUBLE_EQ(number("event4", "pointerAcceleration"), 0.0);
    EXPECT_EQ(accelerate(-1.0), kIOReturnSuccess);
    EXPECT_TRUE(boolean("event3", "pointerAccelerationProfileFlat"));
    EXPECT_DOUBLE_EQ(number("event3", "pointerAcceleration"), 0.5); // the speed stays
}

TEST_F(KdePointerTest, ReadBackIsTheInverseOfTheMouseSpeed) {
    kwin.setProperty("event4", "pointerAcceleration", Value(0.9)); // the touchpad's
    kwin.setProperty("event3", "pointerAcceleration", Value(-0.5));
    double a = -7;
    EXPECT_EQ(hid->getAccelerationWithKey(connect, DesktopHidSystem::kAccelerationKey, &a),
              kIOReturnSuccess);
    EXPECT_DOUBLE_EQ(a, 0.75);
    accelerate(0.6875);
    hid->getAccelerationWithKey(connect, DesktopHidSystem::kAccelerationKey, &a);
    EXPECT_DOUBLE_EQ(a, 0.6875);
}

TEST_F(KdePointerTest, AMousePluggedInLaterGetsTheSameSettings) {
    hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeSwapped);
    accelerate(0.75);
    ASSERT_TRUE(kwin.addDevice("event9", true, false));
    ASSERT_TRUE(kwin.addDevice("event10", true, true));
    ASSERT_TRUE(kwin.setDevices({"event3", "event4", "event5", "event9", "event10"}));
    ASSERT_TRUE(kwin.emitDeviceAdded("event10"));
    ASSERT_TRUE(kwin.emitDeviceAdded("event9"));
    EXPECT_TRUE(runUntil([&] {
        return boolean("event9", "leftHanded") && number("event9", "pointerAcceleration") == -0.5;
    }));
    EXPECT_TRUE(boolean("event9", "pointerAccelerationProfileAdaptive"));
    // The touchpad that came with it was left alone.
    EXPECT_FALSE(boolean("event10", "leftHanded"));
    EXPECT_DOUBLE_EQ(number("event10", "pointerAcceleration"), 0.0);
}

TEST_F(KdePointerTest, ADeviceAnnouncedStraightToTheAgentByAnotherConnectionIsLeftAlone) {
    hid->setMouseButtonMode(connect, DesktopHidSystem::kButtonModeSwapped);
    ASSERT_TRUE(kwin.addDevice("event9", true, false));
    ASSERT_TRUE(kwin.setDevices({"event3", "event4", "event5", "event9"}));
    // Addressed straight to every other connection, the agent's among them.
    BusPtr forger = kwin.connect();
    ASSERT_TRUE(forger);
    char** names = nullptr;
    ASSERT_GE(sd_bus_list_names(forger.get(), &names, nullptr), 0);
    const char* own = nullptr;
    sd_bus_get_unique_name(forger.get(), &own);
    for (char** n = names; n && *n; ++n) {
        if ((*n)[0] == ':' && std::strcmp(*n, own) != 0) {
            sd_bus_message* raw = nullptr;
            ASSERT_GE(
                sd_bus_message_new_signal(forger.get(), &raw, KWinPointerControl::kManagerPath,
                                          KWinPointerControl::kManagerInterface, "deviceAdded"),
                0);
            MessagePtr forged(raw);
            ASSERT_GE(sd_bus_message_set_destination(forged.get(), *n), 0);
            ASSERT_GE(sd_bus_message_append(forged.get(), "s", "event9"), 0);
            ASSERT_GE(sd_bus_send(forger.get(), forged.get(), nullptr), 0);
        }
        std::free(*n);
    }
    std::free(names);
    ASSERT_GE(sd_bus_flush(forger.get()), 0);
    for (int i = 0; i < 20; ++i) {
        loop.runOnce(0.02);
    }
    EXPECT_FALSE(boolean("event9", "leftHanded"));
    // KWin's own word still counts.
    ASSERT_TRUE(kwin.emitDeviceAdded("event9"));
    EXPECT_TRUE(runUntil([&] { return boolean("event9", "leftHanded"); }));
}

TEST_F(KdePointerTest, AMouseAddedBeforeAnySettingIsLeftAlone) {
    ASSERT_TRUE(kwin.addDevice("event9", true, false));
    kwin.setProperty("event9", "leftHanded", Value(true));
    ASSERT_TRUE(kwin.emitDeviceAdded("event9"));
    for (int i = 0; i < 10; ++i) {
        loop.runOnce(0.02);
    }
    EXPECT_TRUE(boolean("event9", "leftHanded"));
}

TEST_F(KdePointerTest, WhatKWinRefusesIsSaidOnceNamingThePlasmaDesktop) {
    ASSERT_TRUE(kwin.addDevice("event11", true, false, false));
    // event12 is listed but has no object: not taken for a mouse.
    ASSERT_TRUE(kwin.setDevices({"event11", "event3", "event12"}));
    testing::internal::CaptureStderr();
    EXPECT_EQ(accelerate(-1.0), kIOReturnNotPermitted);
    EXPECT_EQ(accelerate(-1.0), kIOReturnNotPermitted);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find(deskfake::named("KDE Plasma: ")), 0u) << err;
    EXPECT_NE(err.find("pointerAccelerationProfileFlat"), std::string::npos) << err;
    EXPECT_EQ(err.find(deskfake::named("")), err.rfind(deskfake::named(""))) << err;
    // The mouse that takes it still got it, after the one that refused.
    EXPECT_TRUE(boolean("event3", "pointerAccelerationProfileFlat"));
}

// --- kdeglobals -------------------------------------------------------------

class KdeGlobalsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zed-kdeglobals-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        file = dir + "/kdeglobals";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string contents() {
        std::ifstream in(file);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void write(const std::string& text) { std::ofstream(file) << text; }
    std::string dir, file;
};

TEST(KdeGlobalsText, TheIntervalIsSetAndEverythingElseKept) {
    using K = KdeGlobalsDoubleClick;
    // An empty file gains the group.
    EXPECT_EQ(K::withDoubleClickInterval("", 400), "[KDE]\nDoubleClickInterval=400\n");
    // Another group first: a blank line between.
    EXPECT_EQ(K::withDoubleClickInterval("[General]\nfont=Sans\n", 500),
              "[General]\nfont=Sans\n\n[KDE]\nDoubleClickInterval=500\n");
    // The group without the key: the key goes after the group's last entry.
    EXPECT_EQ(
        K::withDoubleClickInterval(
            "# kept\n[KDE]\nSingleClick=false\nwidgetStyle=Breeze\n\n[WM]\nactiveFont=x\n", 600),
        "# kept\n[KDE]\nSingleClick=false\nwidgetStyle=Breeze\nDoubleClickInterval=600\n\n"
        "[WM]\nactiveFont=x\n");
    // The key there: replaced in place, spaces around = or not.
    EXPECT_EQ(K::withDoubleClickInterval(
                  "[KDE]\nDoubleClickInterval = 250\nLookAndFeelPackage=a\n[Icons]\nTheme=b", 700),
              "[KDE]\nDoubleClickInterval=700\nLookAndFeelPackage=a\n[Icons]\nTheme=b\n");
    // The same key in another group, or a group whose name only begins
    // alike, is not touched.
    EXPECT_EQ(K::withDoubleClickInterval(
                  "[KDE Action Restrictions]\nDoubleClickInterval=1\n[KDE]\nX=1\n", 300),
              "[KDE Action Restrictions]\nDoubleClickInterval=1\n[KDE]\nX=1\n"
              "DoubleClickInterval=300\n");
}

TEST_F(KdeGlobalsTest, TheFileIsReplacedWholeWithItsModeAndTheChangeIsAnnounced) {
    KWinMock bus;
    const std::string why = bus.start();
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    write("[General]\nColorScheme=BreezeDark\n[KDE]\nSingleClick=false\n");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    // Listens for KGlobalSettings' signal as applications do.
    BusPtr listener = bus.connect();
    ASSERT_TRUE(listener);
    std::vector<std::pair<int, int>> heard;
    sd_bus_slot* slot = nullptr;
    ASSERT_GE(sd_bus_match_signal(
                  listener.get(), &slot, nullptr, "/KGlobalSettings", "org.kde.KGlobalSettings",
                  "notifyChange",
                  [](sd_bus_message* m, void* data, sd_bus_error*) {
                      int type = -1, arg = -1;
                      sd_bus_message_read(m, "ii", &type, &arg);
                      static_cast<std::vector<std::pair<int, int>>*>(data)->emplace_back(type, arg);
                      return 0;
                  },
                  &heard),
              0);
    SlotPtr match(slot);
    {
        KdeGlobalsDoubleClick setting(dir, bus.connect());
        EXPECT_EQ(setting.setDoubleClickTime(449600000), kIOReturnSuccess);
        // The same time again changes nothing and tells nobody.
        EXPECT_EQ(setting.setDoubleClickTime(450000000), kIOReturnSuccess);
    }
    EXPECT_EQ(
        contents(),
        "[General]\nColorScheme=BreezeDark\n[KDE]\nSingleClick=false\nDoubleClickInterval=450\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              1);
    for (int i = 0; i < 200 && heard.empty(); ++i) {
        while (sd_bus_process(listener.get(), nullptr) > 0) {
        }
        if (heard.empty()) {
            sd_bus_wait(listener.get(), 50000);
        }
    }
    // Whatever else was going to arrive has arrived by now.
    for (int i = 0; i < 5; ++i) {
        while (sd_bus_process(listener.get(), nullptr) > 0) {
        }
        sd_bus_wait(listener.get(), 20000);
    }
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], std::make_pair(KdeGlobalsDoubleClick::kSettingsChanged,
                                       KdeGlobalsDoubleClick::kSettingsMouse));
}

TEST_F(KdeGlobalsTest, ALinkedFileIsChangedWhereItLives) {
    const std::string real = dir + "/dotfiles-kdeglobals";
    std::ofstream(real) << "[KDE]\nDoubleClickInterval=100\n";
    std::filesystem::create_symlink(real, file);
    KWinMock bus;
    const std::string why = bus.start();
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    KdeGlobalsDoubleClick setting(dir, bus.connect());
    EXPECT_EQ(setting.setDoubleClickTime(800000000), kIOReturnSuccess);
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    EXPECT_EQ(contents(), "[KDE]\nDoubleClickInterval=800\n");
}

TEST_F(KdeGlobalsTest, AFolderThatCannotBeWrittenIsSaidOnceAndNothingChanges) {
    // The configuration "folder" is a plain file: nothing can be made in it,
    // whoever runs the test.
    write("[KDE]\nDoubleClickInterval=100\n");
    KdeGlobalsDoubleClick setting(file, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(setting.setDoubleClickTime(800000000), kIOReturnNotPermitted);
    EXPECT_EQ(setting.setDoubleClickTime(800000000), kIOReturnNotPermitted);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find(deskfake::named("KDE Plasma: ")), 0u) << err;
    EXPECT_EQ(err.find(deskfake::named("")), err.rfind(deskfake::named(""))) << err;
    EXPECT_EQ(contents(), "[KDE]\nDoubleClickInterval=100\n");
}

} // namespace

namespace {

TEST(KdeSession, OnWaylandKWinIsAskedAndFollowedOnTheRunLoop) {
    KWinMock kwin;
    const std::string why = kwin.start();
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    ASSERT_TRUE(kwin.addDevice("event3", true, false));
    ASSERT_TRUE(kwin.setDevices({"event3"}));
    char tmpl[] = "/tmp/zed-kdeconfig-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const std::string config = tmpl;
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
    for (const char* name : {"XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE", "DBUS_SESSION_BUS_ADDRESS",
                             "XDG_CONFIG_HOME"}) {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", kwin.address().c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    {
        RunLoop loop;
        PointerBackend backend = makePointerBackend(&loop);
        EXPECT_EQ(backend.kind, PointerBackendKind::KWin);
        ASSERT_TRUE(backend.pointer && backend.doubleClick);
        EXPECT_EQ(backend.pointer->setButtonsSwapped(true), kIOReturnSuccess);
        ASSERT_TRUE(kwin.addDevice("event8", true, false));
        ASSERT_TRUE(kwin.emitDeviceAdded("event8"));
        auto left = [&] {
            auto v = kwin.property("event8", "leftHanded");
            return v && v->type() == Value::Type::Bool && *v->toBool();
        };
        for (int i = 0; i < 400 && !left(); ++i) {
            loop.runOnce(0.05);
        }
        EXPECT_TRUE(left());
        EXPECT_EQ(backend.doubleClick->setDoubleClickTime(300000000), kIOReturnSuccess);
        EXPECT_TRUE(std::filesystem::exists(config + "/kdeglobals"));
    }
    for (const auto& [name, value] : saved) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    std::filesystem::remove_all(config);
}

} // namespace

namespace {

class KdeGlobalsLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zed-kdelock-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        file = dir + "/kdeglobals";
        std::ofstream(file) << "[KDE]\nDoubleClickInterval=100\n";
        const std::string why = bus.start();
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string contents() {
        std::ifstream in(file);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void lockAs(pid_t pid) {
        char host[256] = {};
        gethostname(host, sizeof(host) - 1);
        std::ofstream(file + ".lock") << pid << "\nkwriteconfig6\n" << host << "\n";
    }
    KWinMock bus;
    std::string dir, file;
};

TEST_F(KdeGlobalsLockTest, ALockHeldByALiveWriterIsRespectedAndSaidOnce) {
    lockAs(getppid()); // a process that is certainly alive
    KdeGlobalsDoubleClick setting(dir, bus.connect());
    testing::internal::CaptureStderr();
    EXPECT_EQ(setting.setDoubleClickTime(700000000), kIOReturnExclusiveAccess);
    EXPECT_EQ(setting.setDoubleClickTime(700000000), kIOReturnExclusiveAccess);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find(deskfake::named("KDE Plasma: ")), 0u) << err;
    EXPECT_EQ(err.find(deskfake::named("")), err.rfind(deskfake::named(""))) << err;
    EXPECT_EQ(contents(), "[KDE]\nDoubleClickInterval=100\n");
    EXPECT_TRUE(std::filesystem::exists(file + ".lock")); // still theirs
}

TEST_F(KdeGlobalsLockTest, ALockLeftByAWriterThatHasGoneIsTakenOverAndReleased) {
    // A process that has certainly ended: a child reaped before the lock is
    // written.
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    lockAs(child);
    KdeGlobalsDoubleClick setting(dir, bus.connect());
    EXPECT_EQ(setting.setDoubleClickTime(700000000), kIOReturnSuccess);
    EXPECT_EQ(contents(), "[KDE]\nDoubleClickInterval=700\n");
    EXPECT_FALSE(std::filesystem::exists(file + ".lock"));
}

} // namespace
} // namespace zed::test
