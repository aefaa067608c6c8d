#include "SwaySession.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace zed::test {

namespace {

// The first file in the folder whose name starts with the prefix and is not
// a lock; empty if none.
std::string findFile(const std::string& dir, const std::string& prefix) {
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && !name.ends_with(".lock")) {
            return e.path().string();
        }
    }
    return {};
}

} // namespace

std::string missingPrograms(std::initializer_list<std::string> programs) {
    for (const std::string& p : programs) {
        if (!std::filesystem::exists(p)) {
            return p + " is not installed";
        }
    }
    return {};
}

SwaySession::~SwaySession() {
    sway_.stop(SIGTERM, 5);
    if (!runtime_.empty()) {
        std::filesystem::remove_all(runtime_);
    }
}

std::string SwaySession::start(const std::string& moreConfig) {
    if (auto why = missingPrograms({"/usr/bin/sway", "/usr/bin/swaymsg", "/usr/bin/setpriv"});
        !why.empty()) {
        return why;
    }
    char tmpl[] = "/tmp/zed-sway-XXXXXX";
    runtime_ = mkdtemp(tmpl);
    if (chown(runtime_.c_str(), 65534, 65534) != 0) {
        return "cannot hand a folder to nobody";
    }
    std::ofstream(runtime_ + "/config") << "output HEADLESS-1 resolution 800x600\n"
                                        << moreConfig << "\n";
    sway_.start(asNobody({"/usr/bin/sway", "-c", runtime_ + "/config"}),
                {{"WLR_BACKENDS", "headless"},
                 {"WLR_RENDERER", "pixman"},
                 {"WLR_LIBINPUT_NO_DEVICES", "1"}});
    if (!waitFor([&] { return !(ipc_ = findFile(runtime_, "sway-ipc.")).empty(); }, 10) ||
        !waitFor([&] { return !waylandDisplay().empty(); }, 10)) {
        return "sway did not start here";
    }
    return {};
}

std::string SwaySession::waylandDisplay() const {
    return runtime_.empty() ? std::string() : findFile(runtime_, "wayland-");
}

std::string SwaySession::swaymsg(std::vector<std::string> args) const {
    args.insert(args.begin(), {"/usr/bin/env", "SWAYSOCK=" + ipc_, "/usr/bin/swaymsg"});
    return runProgram(args).out;
}

bool SwaySession::startClient(ChildProcess& client, std::vector<std::string> argv) const {
    return client.start(asNobody(std::move(argv)), {{"WAYLAND_DISPLAY", waylandDisplay()}});
}

ProgramResult SwaySession::runClient(std::vector<std::string> argv) const {
    argv.insert(argv.begin(), "WAYLAND_DISPLAY=" + waylandDisplay());
    return runProgram(asNobody(std::move(argv)));
}

std::vector<std::string> SwaySession::asNobody(std::vector<std::string> argv) const {
    argv.insert(argv.begin(),
                {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                 "/usr/bin/env", "XDG_RUNTIME_DIR=" + runtime_, "HOME=" + runtime_});
    return argv;
}

} // namespace zed::test
