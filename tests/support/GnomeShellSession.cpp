#include "GnomeShellSession.h"

#include <fstream>
#include <unistd.h>

namespace zed::test {

namespace {

// The shell's own calls, answered in unsafe mode.
ProgramResult shellCall(const char* path, const char* method, std::vector<std::string> args) {
    std::vector<std::string> argv{
        "/usr/bin/gdbus", "call", "--session", "--dest", "org.gnome.Shell",
        "--object-path",  path,   "--method",  method};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv);
}

} // namespace

std::string PrivateBus::start() {
    if (!daemon_.start({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}) ||
        !waitFor([&] { return daemon_.out().find('\n') != std::string::npos; }, 10)) {
        return "dbus-daemon did not start";
    }
    address_ = daemon_.out().substr(0, daemon_.out().find('\n'));
    return {};
}

GnomeShellSession::~GnomeShellSession() {
    for (auto& app : apps_) {
        app->stop();
    }
    shell_.stop(SIGTERM, 10);
    if (!dir_.empty()) {
        std::filesystem::remove_all(dir_);
    }
}

std::string GnomeShellSession::start(const std::vector<std::string>& applications) {
    for (const char* p : {"/usr/bin/gnome-shell", "/usr/bin/foot", "/usr/bin/dbus-daemon",
                          "/usr/lib/python3/dist-packages/dbusmock/__init__.py"}) {
        if (!std::filesystem::exists(p)) {
            return std::string(p) + " is not installed";
        }
    }
    dir_ = std::filesystem::temp_directory_path() / ("zed-gnome-" + std::to_string(getpid()));
    const auto runtime = dir_ / "runtime";
    const auto extensions = dir_ / "data/gnome-shell/extensions";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    std::filesystem::create_directories(extensions);
    std::filesystem::create_directories(dir_ / "data/applications");
    std::filesystem::create_directories(dir_ / "config/glib-2.0/settings");
    const auto copy = std::filesystem::copy_options::recursive;
    std::filesystem::copy(std::string(ZED_SHARE) + "/gnome-shell/43",
                          extensions / "zed-focus@tovik.com", copy);
    std::filesystem::copy(std::string(ZED_SOURCE_DIR) + "/tests/support/gnome-shell-test-extension",
                          extensions / "zed-test@tovik.com", copy);
    // The keyfile backend: the shell's settings without a dconf service.
    std::ofstream(dir_ / "config/glib-2.0/settings/keyfile")
        << "[org/gnome/shell]\nenabled-extensions=['zed-focus@tovik.com', 'zed-test@tovik.com']\n";

    if (auto why = logind_.start(); !why.empty()) {
        return why;
    }
    const std::string& systemBus = logind_.address();
    const std::map<std::string, std::string> env = {{"XDG_RUNTIME_DIR", runtime},
                                                    {"XDG_DATA_HOME", dir_ / "data"},
                                                    {"XDG_CONFIG_HOME", dir_ / "config"},
                                                    {"GSETTINGS_BACKEND", "keyfile"},
                                                    {"DBUS_SYSTEM_BUS_ADDRESS", systemBus},
                                                    {"DISPLAY", ""},
                                                    {"WAYLAND_DISPLAY", ""}};
    shell_.start({"/usr/bin/gnome-shell", "--headless", "--wayland", "--no-x11",
                  "--virtual-monitor", "1280x1024"},
                 env);
    // Up once ZED's extension answers, and the test's has opened Eval.
    if (!waitFor(
            [&] {
                return shellCall("/com/tovik/ZED/ShellOverlay",
                                 "com.tovik.ZED.ShellOverlay.Geometry", {})
                               .exitCode == 0 &&
                       eval("1") == "1";
            },
            30)) {
        return "gnome-shell did not start here: " + shell_.err().substr(0, 2000);
    }
    // It starts in the overview, as after logging in: the desktop, please.
    if (!waitFor([&] {
            return eval("Main.overview.hide(); Main.overview.visible || "
                        "Main.overview.animationInProgress") == "false";
        })) {
        return "gnome-shell stays in its overview";
    }
    for (const std::string& id : applications) {
        std::ofstream(dir_ / "data/applications" / (id + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=" << id << "\nExec=foot --app-id=" << id
            << "\n";
        auto app = std::make_unique<ChildProcess>("foot-" + id, "/tmp");
        auto appEnv = env;
        appEnv["WAYLAND_DISPLAY"] = "wayland-0";
        app->start({"/usr/bin/foot", "--app-id=" + id, "/bin/cat"}, appEnv);
        apps_.push_back(std::move(app));
    }
    for (const std::string& id : applications) {
        if (!waitFor([&] {
                const auto classes =
                    eval("global.get_window_actors().map(a => a.meta_window.get_wm_class())"
                         ".join(' ')");
                return classes && classes->find(id) != std::string::npos;
            })) {
            return "foot --app-id=" + id + " did not show on gnome-shell";
        }
    }
    return {};
}

std::optional<std::string> GnomeShellSession::eval(const std::string& script) const {
    const ProgramResult r = shellCall("/org/gnome/Shell", "org.gnome.Shell.Eval", {"--", script});
    // (true, 'result'): the result's text, JSON as the shell gives it.
    const auto open = r.out.find(", '");
    if (r.exitCode != 0 || r.out.rfind("(true,", 0) != 0 || open == std::string::npos) {
        return std::nullopt;
    }
    std::string result = r.out.substr(open + 3);
    result = result.substr(0, result.rfind("')"));
    if (result.size() >= 2 && result.front() == '"' && result.back() == '"') {
        result = result.substr(1, result.size() - 2);
    }
    return result;
}

bool GnomeShellSession::activate(const std::string& application) const {
    return eval("global.get_window_actors().map(a => a.meta_window).find(w => "
                "w.get_wm_class() === '" +
                application + "').activate(global.get_current_time())")
        .has_value();
}

bool GnomeShellSession::screenshot(int x, int y, int width, int height,
                                   const std::string& png) const {
    return shellCall("/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot.ScreenshotArea",
                     {std::to_string(x), std::to_string(y), std::to_string(width),
                      std::to_string(height), "false", png})
                   .exitCode == 0 &&
           std::filesystem::exists(png);
}

} // namespace zed::test
