// Settings per application on real desktops (X11 with a window manager,
// sway): two applications brought to the front in turn. The driver (the
// simulated mouse) gets each application's settings, and a switch writes
// nothing.
#include "AgentSimulatorTest.h"
#include "Platform/core/ApplicationSettings.h"
#include "Platform/core/PropertyList.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

using zed::Value;
using namespace zed::test;

namespace {

// The driver's last record, and whether it holds the property at the value.
bool lastRecordHas(const char* key, double value) {
    const auto records = lines(sim({"show", "driver"}).out);
    const std::string want = std::string("\"") + key + "\":{\"type\":\"int32\",\"value\":" +
                             std::to_string(static_cast<int>(value * 65536)) + "}";
    return !records.empty() && records.back().find(want) != std::string::npos;
}

bool missing(std::initializer_list<const char*> programs, std::string* why) {
    for (const char* p : programs) {
        if (!std::filesystem::exists(p)) {
            *why = std::string(p) + " is not installed";
            return true;
        }
    }
    return false;
}

// A desktop with two applications on it, each brought to the front as a
// user's click would.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Empty when it runs; else why not (the test is skipped).
    virtual std::string start() = 0;
    virtual std::map<std::string, std::string> agentEnvironment() const = 0;
    virtual void activate(int app) = 0;
    // How each application is named in its set.
    virtual std::array<const char*, 2> namesInSets() const = 0;
};

// A private Xvfb with openbox, xcalc and xedit; xdotool activates.
class X11Desktop : public Desktop {
public:
    ~X11Desktop() override {
        for (auto& app : apps_) {
            app.stop(SIGTERM, 5);
        }
        wm_.stop(SIGTERM, 5);
        x_.stop(SIGTERM, 5); // so that it removes its socket and lock
    }
    std::string start() override {
        std::string why;
        if (missing({"/usr/bin/Xvfb", "/usr/bin/openbox", "/usr/bin/xcalc", "/usr/bin/xedit",
                     "/usr/bin/xdotool"},
                    &why)) {
            return why;
        }
        // A display number no server holds, nor one that ended uncleanly.
        for (int n = 200; display_.empty() && n < 1000; ++n) {
            if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
                !std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
                display_ = ":" + std::to_string(n);
            }
        }
        // The server answers, then the window manager runs (it names the
        // desktop), before any window is made.
        const auto answers = [&](const char* what) {
            return waitFor([&] { return xdotool({what}).exitCode == 0; });
        };
        if (!x_.start({"/usr/bin/Xvfb", display_, "-nolisten", "tcp"}) ||
            !answers("getdisplaygeometry")) {
            return "Xvfb did not start";
        }
        if (!wm_.start({"/usr/bin/openbox"}, {{"DISPLAY", display_}}) || !answers("get_desktop")) {
            return "openbox did not start";
        }
        apps_[0].start({"/usr/bin/xcalc"}, {{"DISPLAY", display_}});
        apps_[1].start({"/usr/bin/xedit"}, {{"DISPLAY", display_}});
        return {};
    }
    std::map<std::string, std::string> agentEnvironment() const override {
        return {{"DISPLAY", display_}, {"XDG_SESSION_TYPE", "x11"}};
    }
    void activate(int app) override {
        const char* cls = app == 0 ? "XCalc" : "Xedit";
        std::string id;
        ASSERT_TRUE(waitFor([&] {
            id = xdotool({"search", "--class", cls}).out;
            return !id.empty();
        }));
        xdotool({"windowactivate", "--sync", id.substr(0, id.find('\n'))});
    }
    std::array<const char*, 2> namesInSets() const override { return {"XCalc", "xedit.desktop"}; }

private:
    ProgramResult xdotool(std::vector<std::string> args) const {
        args.insert(args.begin(), {"/usr/bin/env", "DISPLAY=" + display_, "/usr/bin/xdotool"});
        return runProgram(args);
    }
    std::string display_;
    ChildProcess x_{"xvfb", "/tmp"}, wm_{"openbox", "/tmp"};
    std::array<ChildProcess, 2> apps_{ChildProcess{"xcalc", "/tmp"}, ChildProcess{"xedit", "/tmp"}};
};

// sway headless, run as nobody (sway refuses root), with two foot
// terminals of app_ids game1 and game2; swaymsg focuses.
class SwayDesktop : public Desktop {
public:
    ~SwayDesktop() override {
        for (auto& app : apps_) {
            app.stop(SIGTERM, 5);
        }
        sway_.stop(SIGTERM, 5);
        if (!runtime_.empty()) {
            std::filesystem::remove_all(runtime_);
        }
    }
    std::string start() override {
        std::string why;
        if (missing({"/usr/bin/sway", "/usr/bin/swaymsg", "/usr/bin/foot", "/usr/bin/setpriv"},
                    &why)) {
            return why;
        }
        char tmpl[] = "/tmp/zed-sway-XXXXXX";
        runtime_ = mkdtemp(tmpl);
        if (chown(runtime_.c_str(), kNobody, kNobody) != 0) {
            return "cannot hand a folder to nobody";
        }
        std::ofstream(runtime_ + "/config") << "output HEADLESS-1 resolution 800x600\n";
        sway_.start(asNobody({"/usr/bin/sway", "-c", runtime_ + "/config"}),
                    {{"WLR_BACKENDS", "headless"},
                     {"WLR_RENDERER", "pixman"},
                     {"WLR_LIBINPUT_NO_DEVICES", "1"}});
        if (!waitFor([&] { return !socket().empty(); }, 10)) {
            return "sway did not start here";
        }
        for (int i = 0; i < 2; ++i) {
            apps_[i].start(
                asNobody({"/usr/bin/foot", "--app-id=game" + std::to_string(i + 1), "/bin/cat"}),
                {{"WAYLAND_DISPLAY", "wayland-1"}});
        }
        if (!waitFor([&] {
                return swaymsg({"-t", "get_tree"}).find("game2") != std::string::npos;
            })) {
            return "foot did not start on sway";
        }
        return {};
    }
    std::map<std::string, std::string> agentEnvironment() const override {
        return {{"XDG_SESSION_TYPE", "wayland"}, {"SWAYSOCK", socket()}, {"DISPLAY", ""}};
    }
    void activate(int app) override {
        swaymsg({"[app_id=\"game" + std::to_string(app + 1) + "\"] focus"});
    }
    std::array<const char*, 2> namesInSets() const override { return {"Game1.desktop", "game2"}; }

private:
    static constexpr uid_t kNobody = 65534;
    std::vector<std::string> asNobody(std::vector<std::string> argv) const {
        argv.insert(argv.begin(),
                    {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                     "/usr/bin/env", "XDG_RUNTIME_DIR=" + runtime_, "HOME=" + runtime_});
        return argv;
    }
    std::string socket() const {
        for (const auto& e : std::filesystem::directory_iterator(runtime_)) {
            if (e.path().filename().string().rfind("sway-ipc.", 0) == 0) {
                return e.path().string();
            }
        }
        return {};
    }
    std::string swaymsg(std::vector<std::string> args) const {
        args.insert(args.begin(), {"/usr/bin/env", "SWAYSOCK=" + socket(), "/usr/bin/swaymsg"});
        return runProgram(args).out;
    }
    std::string runtime_;
    ChildProcess sway_{"sway", "/tmp"};
    std::array<ChildProcess, 2> apps_{ChildProcess{"foot1", "/tmp"}, ChildProcess{"foot2", "/tmp"}};
};

// A desktop service played by python-dbusmock on the session bus, scripted
// and asked what it was called with through the mock's own interface.
class MockedDesktop : public Desktop {
protected:
    explicit MockedDesktop(const char* service) : service_(service) {}
    // Empty when the stand-in serves `path` with `interface`; else why not.
    std::string startMock(const char* path, const char* interface) {
        std::string why;
        if (missing({"/usr/bin/python3", "/usr/lib/python3/dist-packages/dbusmock/__init__.py",
                     "/usr/bin/gdbus"},
                    &why)) {
            return why;
        }
        mock_.start({"/usr/bin/python3", "-m", "dbusmock", "--session", service_, path, interface});
        return waitForOwnership(service_, true) ? std::string()
                                                : std::string("no stand-in for ") + service_;
    }
    std::string gdbus(const char* path, const char* method, std::vector<std::string> args) const {
        std::vector<std::string> argv{"/usr/bin/gdbus",
                                      "call",
                                      "--session",
                                      "--dest",
                                      service_,
                                      "--object-path",
                                      path,
                                      "--method",
                                      std::string("org.freedesktop.DBus.Mock.") + method};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProgram(argv).out;
    }
    std::string calls(const char* path) const { return gdbus(path, "GetCalls", {}); }

private:
    const char* service_;
    ChildProcess mock_{"stand-in", "/tmp"};
};

// KDE Plasma's KWin played by python-dbusmock: it takes the script and runs
// it, and the test sends the agent what the shipped script sends.
class KWinStandIn : public MockedDesktop {
public:
    KWinStandIn() : MockedDesktop("org.kde.KWin") {}
    std::string start() override {
        if (std::string why = startMock("/Scripting", "org.kde.kwin.Scripting"); !why.empty()) {
            return why;
        }
        gdbus("/Scripting", "AddMethod",
              {"org.kde.kwin.Scripting", "loadScript", "ss", "i", "ret = 7"});
        gdbus("/Scripting", "AddMethod",
              {"org.kde.kwin.Scripting", "unloadScript", "s", "b", "ret = True"});
        gdbus("/Scripting", "AddObject",
              {"/Scripting/Script7", "org.kde.kwin.Script", "{}", "[(\"run\", \"\", \"\", \"\")]"});
        return {};
    }
    std::map<std::string, std::string> agentEnvironment() const override {
        return {{"XDG_SESSION_TYPE", "wayland"},
                {"XDG_CURRENT_DESKTOP", "KDE"},
                {"DISPLAY", ""},
                {"SWAYSOCK", ""}};
    }
    void activate(int app) override {
        // The agent has loaded the shipped script and run it.
        ASSERT_TRUE(
            waitFor([&] { return calls("/Scripting/Script7").find("run") != std::string::npos; }));
        const std::string loaded = calls("/Scripting");
        const auto at = loaded.find("share/zed/kwin/zed-focus.js");
        ASSERT_NE(at, std::string::npos) << loaded;
        const std::string script =
            readFile(loaded.substr(loaded.rfind('\'', at) + 1, at - loaded.rfind('\'', at) - 1) +
                     "share/zed/kwin/zed-focus.js");
        ASSERT_NE(script.find("\"/com/tovik/ZED/Focus\", \"com.tovik.ZED.Focus\""),
                  std::string::npos);
        ASSERT_NE(script.find("\"FocusChanged\""), std::string::npos);
        runProgram({"/usr/bin/gdbus", "call", "--session", "--dest", "com.tovik.ZED.Agent",
                    "--object-path", "/com/tovik/ZED/Focus", "--method",
                    "com.tovik.ZED.Focus.FocusChanged", app == 0 ? "org.kde.dolphin" : "konsole"});
    }
    std::array<const char*, 2> namesInSets() const override {
        return {"org.kde.Dolphin.desktop", "konsole"};
    }
};

// GNOME Shell with ZED's extension, played by python-dbusmock: it answers
// and signals as the shipped extension does.
class GnomeStandIn : public MockedDesktop {
public:
    GnomeStandIn() : MockedDesktop("org.gnome.Shell") {}
    std::string start() override {
        if (std::string why = startMock(kPath, kInterface); !why.empty()) {
            return why;
        }
        gdbus(kPath, "AddMethod",
              {kInterface, "FocusedApp", "", "s", "ret = 'org.gnome.Nautilus.desktop'"});
        return {};
    }
    std::map<std::string, std::string> agentEnvironment() const override {
        return {{"XDG_SESSION_TYPE", "wayland"},
                {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"},
                {"DISPLAY", ""},
                {"SWAYSOCK", ""}};
    }
    void activate(int app) override {
        // The shipped extension, for each GNOME Shell, exports what the
        // stand-in does.
        const std::string shipped =
            std::filesystem::path(ZED_AGENT).parent_path().string() + "/../share/zed/gnome-shell/";
        for (const char* version : {"43", "45"}) {
            const std::string js = readFile(shipped + version + "/extension.js");
            for (const char* name : {kPath, kInterface, "FocusedApp", "FocusChanged"}) {
                ASSERT_NE(js.find(name), std::string::npos) << version << " lacks " << name;
            }
        }
        // The agent has asked, so it listens.
        ASSERT_TRUE(waitFor([&] { return calls(kPath).find("FocusedApp") != std::string::npos; }));
        gdbus(kPath, "EmitSignal",
              {kInterface, "FocusChanged", "s",
               app == 0 ? "[<'org.gnome.Calculator.desktop'>]"
                        : "[<'org.gnome.TextEditor.desktop'>]"});
    }
    std::array<const char*, 2> namesInSets() const override {
        return {"org.gnome.Calculator", "org.gnome.texteditor.desktop"};
    }

private:
    static constexpr const char* kPath = "/com/tovik/ZED/ShellFocus";
    static constexpr const char* kInterface = "com.tovik.ZED.ShellFocus";
};

template <typename D> std::unique_ptr<Desktop> make() {
    return std::make_unique<D>();
}

class PerApplication : public AgentSimulatorTest,
                       public ::testing::WithParamInterface<std::unique_ptr<Desktop> (*)()> {
protected:
    void SetUp() override {
        AgentSimulatorTest::SetUp();
        desktop_ = GetParam()();
        if (const std::string why = desktop_->start(); !why.empty()) {
            GTEST_SKIP() << why;
        }
    }
    void TearDown() override {
        AgentSimulatorTest::TearDown();
        desktop_.reset();
    }
    std::unique_ptr<Desktop> desktop_;
};

} // namespace

TEST_P(PerApplication, TheApplicationInFrontGetsItsSetAndASwitchWritesNothing) {
    const auto names = desktop_->namesInSets();
    const auto set = [](const char* name, const char* app, zed::Dictionary overrides) {
        return zed::settings::SettingsSet{name, {app}, std::move(overrides)};
    };
    zed::Dictionary domain{
        {"ButtonMappings", Value(zed::Array{Value(zed::Data{0}), Value(zed::Data{7})})},
        {"OtfsOnScreen", Value(std::int32_t{0})},
        {"Sensitivity", Value(5.0)},
        {zed::settings::kApplicationSettingsKey,
         zed::settings::storedSets(
             {set("First", names[0], {{"Sensitivity", Value(8.0)}}),
              set("Second", names[1],
                  {{"Sensitivity", Value(3.0)}, {"ScrollWheelSpeed", Value(2.0)}})})}};
    agent.writeDomain(zed::toXmlPropertyList(Value(domain)));
    const std::string written = readFile(agent.domainFile());
    ASSERT_TRUE(agent.start(desktop_->agentEnvironment()));
    sim({"plug"});

    desktop_->activate(0);
    EXPECT_TRUE(waitFor([] { return lastRecordHas("Sensitivity", 8.0); }))
        << agent.err() << sim({"show", "driver"}).out;
    desktop_->activate(1);
    EXPECT_TRUE(waitFor([] {
        return lastRecordHas("Sensitivity", 3.0) && lastRecordHas("ScrollWheelSpeed", 2.0);
    })) << agent.err();
    desktop_->activate(0);
    EXPECT_TRUE(waitFor([] {
        return lastRecordHas("Sensitivity", 8.0) && lastRecordHas("ScrollWheelSpeed", 10.0);
    })) << "the second's wheel speed goes back to the default";
    EXPECT_EQ(readFile(agent.domainFile()), written) << "a switch wrote the settings";

    // A step while the first is in front changes its set only.
    ASSERT_EQ(sim({"press", "2", "--step", "up"}).exitCode, 0);
    ASSERT_TRUE(waitFor([] { return lastRecordHas("Sensitivity", 8.2); }));
    ASSERT_TRUE(waitFor([&] { return readFile(agent.domainFile()) != written; }));
    const auto stored = zed::parsePropertyList(readFile(agent.domainFile()));
    ASSERT_TRUE(stored && stored->asDictionary());
    const auto sets = zed::settings::readSets(
        zed::lookup(*stored->asDictionary(), zed::settings::kApplicationSettingsKey));
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_NEAR(*zed::lookup(sets[0].overrides, "Sensitivity")->toDouble(), 8.2, 1e-9);
    EXPECT_EQ(*zed::lookup(*stored->asDictionary(), "Sensitivity"), Value(5.0));
}

std::string desktopName(const ::testing::TestParamInfo<PerApplication::ParamType>& info) {
    static const char* const names[] = {"X11", "Sway", "KWinStandIn", "GnomeStandIn"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Desktops, PerApplication,
                         ::testing::Values(&make<X11Desktop>, &make<SwayDesktop>,
                                           &make<KWinStandIn>, &make<GnomeStandIn>),
                         desktopName);
