#include "KdePointerSettings.h"

#include "Platform/core/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace zed {

namespace {

// Long enough for a busy compositor, short enough that the agent's single
// thread is never stuck for long behind one that hangs.
constexpr std::uint64_t kCallTimeoutUsec = 2'000'000;

constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

std::string devicePath(const std::string& sysName) {
    return std::string(KWinPointerControl::kManagerPath) + "/" + sysName;
}

// A property of one of KWin's objects, its variant entered; null with the
// reason in *why when the call failed.
MessagePtr getProperty(sd_bus* bus, const std::string& path, const char* interface,
                       const char* name, const char* type, std::string* why) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus, &raw, KWinPointerControl::kService, path.c_str(),
                                           kPropertiesInterface, "Get");
    MessagePtr call(raw);
    if (r >= 0) {
        r = sd_bus_message_set_auto_start(call.get(), 0);
    }
    if (r >= 0) {
        r = sd_bus_message_append(call.get(), "ss", interface, name);
    }
    BusError error;
    sd_bus_message* replyRaw = nullptr;
    if (r >= 0) {
        r = sd_bus_call(bus, call.get(), kCallTimeoutUsec, error.get(), &replyRaw);
    }
    MessagePtr reply(replyRaw);
    if (r >= 0) {
        r = sd_bus_message_enter_container(reply.get(), 'v', type);
    }
    if (r < 0) {
        if (why) {
            *why = error.text(r);
        }
        return nullptr;
    }
    return reply;
}

std::optional<bool> getBool(sd_bus* bus, const std::string& path, const char* name) {
    MessagePtr m = getProperty(bus, path, KWinPointerControl::kDeviceInterface, name, "b", nullptr);
    int value = 0;
    if (!m || sd_bus_message_read(m.get(), "b", &value) < 0) {
        return std::nullopt;
    }
    return value != 0;
}

template <typename Append>
IOReturn setProperty(sd_bus* bus, const std::string& path, const char* name, const char* type,
                     Append append, std::string* why) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus, &raw, KWinPointerControl::kService, path.c_str(),
                                           kPropertiesInterface, "Set");
    MessagePtr call(raw);
    if (r >= 0) {
        r = sd_bus_message_set_auto_start(call.get(), 0);
    }
    if (r >= 0) {
        r = sd_bus_message_append(call.get(), "ss", KWinPointerControl::kDeviceInterface, name);
    }
    if (r >= 0) {
        r = sd_bus_message_open_container(call.get(), 'v', type);
    }
    if (r >= 0) {
        r = append(call.get());
    }
    if (r >= 0) {
        r = sd_bus_message_close_container(call.get());
    }
    BusError error;
    sd_bus_message* replyRaw = nullptr;
    if (r >= 0) {
        r = sd_bus_call(bus, call.get(), kCallTimeoutUsec, error.get(), &replyRaw);
    }
    MessagePtr reply(replyRaw);
    if (r < 0) {
        *why = error.text(r);
        return kIOReturnNotPermitted;
    }
    return kIOReturnSuccess;
}

} // namespace

// --- KWin's input devices ---------------------------------------------------

KWinPointerControl::KWinPointerControl(BusPtr bus) : bus_(std::move(bus)) {
    if (!bus_) {
        return;
    }
    // A signal sent straight to this connection matches whoever sent it:
    // only KWin's own connection is heard.
    kwin_ = std::make_unique<registrybus::NameOwnerWatch>(bus_.get(), kService, nullptr);
    if (!kwin_->start(registrybus::kDefaultCallTimeoutUsec)) {
        report_.say("cannot follow KWin on the session bus, so mice plugged in later keep "
                    "their own settings");
        return;
    }
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_match_signal(bus_.get(), &slot, nullptr, kManagerPath, kManagerInterface,
                                      "deviceAdded", &onDeviceAdded, this);
    if (r < 0) {
        report_.say(std::string("cannot follow KWin's new input devices (") + std::strerror(-r) +
                    "), so mice plugged in later keep their own settings");
    }
    added_.reset(slot);
}

KWinPointerControl::~KWinPointerControl() = default;

bool KWinPointerControl::answers(sd_bus* bus) {
    return bus && getProperty(bus, kManagerPath, kManagerInterface, "devicesSysNames", "as",
                              nullptr) != nullptr;
}

std::vector<std::string> KWinPointerControl::mice() {
    std::vector<std::string> found;
    if (!bus_) {
        report_.say("no session bus, so the pointer settings are left as they are");
        return found;
    }
    std::string why;
    MessagePtr m =
        getProperty(bus_.get(), kManagerPath, kManagerInterface, "devicesSysNames", "as", &why);
    char** names = nullptr;
    if (!m || sd_bus_message_read_strv(m.get(), &names) < 0) {
        report_.say("KWin does not list its input devices (" + why +
                    "), so the pointer settings are left as they are");
        return found;
    }
    for (char** n = names; n && *n; ++n) {
        if (isMouse(*n)) {
            found.emplace_back(*n);
        }
        std::free(*n);
    }
    std::free(names);
    return found;
}

bool KWinPointerControl::isMouse(const std::string& sysName) {
    const std::string path = devicePath(sysName);
    if (!sd_bus_object_path_is_valid(path.c_str())) {
        return false;
    }
    // Touchpads are pointers too, with settings of their own.
    return getBool(bus_.get(), path, "pointer").value_or(false) &&
           !getBool(bus_.get(), path, "touchpad").value_or(true);
}

IOReturn KWinPointerControl::setBool(const std::string& sysName, const char* property, bool value) {
    std::string why;
    const IOReturn status = setProperty(
        bus_.get(), devicePath(sysName), property, "b",
        [value](sd_bus_message* m) { return sd_bus_message_append(m, "b", value ? 1 : 0); }, &why);
    if (status != kIOReturnSuccess) {
        report_.say(std::string("KWin refuses ") + property + " (" + why +
                    "), so it is left as it is");
    }
    return status;
}

IOReturn KWinPointerControl::setDouble(const std::string& sysName, const char* property,
                                       double value) {
    std::string why;
    const IOReturn status = setProperty(
        bus_.get(), devicePath(sysName), property, "d",
        [value](sd_bus_message* m) { return sd_bus_message_append(m, "d", value); }, &why);
    if (status != kIOReturnSuccess) {
        report_.say(std::string("KWin refuses ") + property + " (" + why +
                    "), so it is left as it is");
    }
    return status;
}

IOReturn KWinPointerControl::applySwapped(const std::string& sysName) {
    return swapped_ ? setBool(sysName, "leftHanded", *swapped_) : kIOReturnSuccess;
}

IOReturn KWinPointerControl::applyAcceleration(const std::string& sysName) {
    if (!acceleration_) {
        return kIOReturnSuccess;
    }
    if (accelerationIsOff(*acceleration_)) {
        return setBool(sysName, "pointerAccelerationProfileFlat", true);
    }
    const IOReturn speed =
        setDouble(sysName, "pointerAcceleration", libinputSpeedFromAcceleration(*acceleration_));
    const IOReturn profile = setBool(sysName, "pointerAccelerationProfileAdaptive", true);
    return speed != kIOReturnSuccess ? speed : profile;
}

IOReturn KWinPointerControl::setButtonsSwapped(bool swapped) {
    swapped_ = swapped;
    IOReturn status = kIOReturnSuccess;
    for (const std::string& mouse : mice()) {
        const IOReturn s = applySwapped(mouse);
        status = status == kIOReturnSuccess ? s : status;
    }
    return status;
}

IOReturn KWinPointerControl::setAcceleration(double acceleration) {
    acceleration_ = acceleration;
    IOReturn status = kIOReturnSuccess;
    for (const std::string& mouse : mice()) {
        const IOReturn s = applyAcceleration(mouse);
        status = status == kIOReturnSuccess ? s : status;
    }
    return status;
}

IOReturn KWinPointerControl::getAcceleration(double* acceleration) {
    for (const std::string& mouse : mice()) {
        MessagePtr m = getProperty(bus_.get(), devicePath(mouse), kDeviceInterface,
                                   "pointerAcceleration", "d", nullptr);
        double speed = 0;
        if (m && sd_bus_message_read(m.get(), "d", &speed) >= 0) {
            if (acceleration) {
                *acceleration = accelerationFromLibinputSpeed(speed);
            }
            return kIOReturnSuccess;
        }
    }
    return kIOReturnNoDevice; // no mouse yet: the caller keeps its own value
}

int KWinPointerControl::onDeviceAdded(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<KWinPointerControl*>(userdata);
    if (!self->kwin_ || !self->kwin_->sentByOwner(m)) {
        return 0; // not KWin's word
    }
    const char* sysName = nullptr;
    if (sd_bus_message_read(m, "s", &sysName) < 0 || !sysName) {
        return 0;
    }
    try {
        if ((self->swapped_ || self->acceleration_) && self->isMouse(sysName)) {
            self->applySwapped(sysName);
            self->applyAcceleration(sysName);
        }
    } catch (...) {
        // Out of memory: this mouse keeps its settings.
    }
    return 0;
}

// --- kdeglobals -------------------------------------------------------------

namespace {

// KDE's own writers hold <file>.lock, created exclusively and naming the
// writer's process, while they merge their changes with the file on disk and
// replace it; holding it too keeps their changes and ours from overwriting
// each other.
class ConfigLock {
public:
    // A lock older than this was left behind (KDE's writers use the same age).
    static constexpr int kStaleSeconds = 30;

    explicit ConfigLock(std::string path) : path_(std::move(path)) {}
    ConfigLock(const ConfigLock&) = delete;
    ConfigLock& operator=(const ConfigLock&) = delete;
    ~ConfigLock() {
        if (held_) {
            ::unlink(path_.c_str());
        }
    }

    // 0 when taken; EBUSY when another live process holds the lock (one left
    // behind by a process that has gone is taken over); else the errno of
    // why it could not be made.
    int take() {
        for (int attempt = 0; attempt < 2; ++attempt) {
            UniqueFd fd(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
            if (fd) {
                const std::string owner =
                    std::to_string(::getpid()) + "\nzed-agent\n" + host() + "\n";
                // The file is the lock; what it says only tells whether its
                // owner is still there.
                [[maybe_unused]] const ssize_t n = ::write(fd.get(), owner.data(), owner.size());
                held_ = true;
                return 0;
            }
            if (errno != EEXIST) {
                return errno;
            }
            if (!stale()) {
                return EBUSY;
            }
            ::unlink(path_.c_str());
        }
        return EBUSY;
    }

private:
    static std::string host() {
        char name[256] = {};
        return ::gethostname(name, sizeof(name) - 1) == 0 ? name : "";
    }
    bool stale() const {
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0) {
            return true; // gone meanwhile
        }
        if (std::time(nullptr) - st.st_mtime > kStaleSeconds) {
            return true;
        }
        std::ifstream in(path_);
        std::string pid, app, hostName;
        std::getline(in, pid);
        std::getline(in, app);
        std::getline(in, hostName);
        char* end = nullptr;
        const long owner = std::strtol(pid.c_str(), &end, 10);
        if (owner <= 0 || *end != '\0' || (!hostName.empty() && hostName != host())) {
            return false; // cannot tell: wait until it is old
        }
        return ::kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH;
    }

    std::string path_;
    bool held_ = false;
};

std::string trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

} // namespace

std::string KdeGlobalsDoubleClick::withDoubleClickInterval(const std::string& text, int ms) {
    const std::string entry = "DoubleClickInterval=" + std::to_string(ms);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    bool inKde = false;
    bool inFirstKde = false;
    bool replaced = false;
    // The last non-blank line of the first [KDE] group, its header at first.
    std::optional<std::size_t> firstKdeEnd;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string t = trim(lines[i]);
        if (!t.empty() && t.front() == '[') {
            inKde = t == "[KDE]";
            inFirstKde = inKde && !firstKdeEnd;
            if (inFirstKde) {
                firstKdeEnd = i;
            }
            continue;
        }
        if (!inKde) {
            continue;
        }
        if (inFirstKde && !t.empty()) {
            firstKdeEnd = i;
        }
        const std::size_t eq = t.find('=');
        if (eq != std::string::npos && trim(t.substr(0, eq)) == "DoubleClickInterval") {
            lines[i] = entry;
            replaced = true;
        }
    }
    if (!replaced && firstKdeEnd) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*firstKdeEnd) + 1, entry);
    } else if (!replaced) {
        if (!lines.empty() && !trim(lines.back()).empty()) {
            lines.emplace_back();
        }
        lines.emplace_back("[KDE]");
        lines.push_back(entry);
    }
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += '\n';
    }
    return out;
}

KdeGlobalsDoubleClick::KdeGlobalsDoubleClick(std::string configDir, BusPtr bus)
    : configDir_(std::move(configDir)), bus_(std::move(bus)) {}

KdeGlobalsDoubleClick::~KdeGlobalsDoubleClick() = default;

std::string KdeGlobalsDoubleClick::path() const {
    std::string dir = configDir_;
    if (dir.empty()) {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        if (xdg && xdg[0] == '/') {
            dir = xdg;
        } else if (home && *home) {
            dir = std::string(home) + "/.config";
        }
    }
    return dir.empty() ? std::string() : dir + "/kdeglobals";
}

IOReturn KdeGlobalsDoubleClick::setDoubleClickTime(std::uint64_t nanoseconds) {
    namespace fs = std::filesystem;
    const std::uint64_t rounded = nanoseconds / 1000000 + (nanoseconds % 1000000 >= 500000 ? 1 : 0);
    const int ms = static_cast<int>(std::min<std::uint64_t>(rounded, INT32_MAX));
    std::string file = path();
    if (file.empty()) {
        report_.say("neither XDG_CONFIG_HOME nor HOME is set, so the double-click time is left "
                    "as it is");
        return kIOReturnNotPermitted;
    }
    // A kdeglobals that links elsewhere (a dotfiles folder) is changed where
    // it lives.
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        const fs::path target = fs::canonical(file, ec);
        if (!ec) {
            file = target.string();
        }
    }
    const fs::path dir = fs::path(file).parent_path();
    fs::create_directories(dir, ec);
    ConfigLock lock(file + ".lock");
    if (const int error = lock.take(); error == EBUSY) {
        report_.say("another program is writing " + file +
                    ", so the double-click time waits for the next time ZED applies it");
        return kIOReturnExclusiveAccess;
    } else if (error != 0) {
        report_.say("cannot write in " + dir.string() + " (" + std::strerror(error) +
                    "), so the double-click time is left as it is");
        return kIOReturnNotPermitted;
    }
    std::string old;
    mode_t mode = 0600;
    bool existed = false;
    {
        std::ifstream in(file, std::ios::binary);
        if (in) {
            existed = true;
            std::ostringstream ss;
            ss << in.rdbuf();
            old = ss.str();
            struct stat st {};
            if (::stat(file.c_str(), &st) == 0) {
                mode = st.st_mode & 07777;
            }
        } else if (fs::exists(file, ec)) {
            report_.say("cannot read " + file + ", so the double-click time is left as it is");
            return kIOReturnNotPermitted;
        }
    }
    const std::string text = withDoubleClickInterval(old, ms);
    if (existed && text == old) {
        // The agent applies its settings often; every running application
        // would reread its configuration for nothing.
        return kIOReturnSuccess;
    }
    std::string temp = (dir / ".kdeglobals.zed-XXXXXX").string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        report_.say("cannot write in " + dir.string() + " (" + std::strerror(errno) +
                    "), so the double-click time is left as it is");
        return kIOReturnNotPermitted;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    std::size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), file.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        report_.say("cannot write " + file + " (" + std::strerror(error) +
                    "), so the double-click time is left as it is");
        return kIOReturnNotPermitted;
    }
    if (!bus_ && !busOpened_) {
        // Without a session bus (said by openBus) nobody runs to be told.
        busOpened_ = true;
        bus_ = openBus(BusKind::Session);
    }
    // Running applications reread their mouse settings on this signal.
    const int r =
        bus_ ? sd_bus_emit_signal(bus_.get(), "/KGlobalSettings", "org.kde.KGlobalSettings",
                                  "notifyChange", "ii", kSettingsChanged, kSettingsMouse)
             : -ENOTCONN;
    if (bus_ && (r < 0 || sd_bus_flush(bus_.get()) < 0)) {
        report_.say(std::string("cannot tell applications of the new double-click time (") +
                    std::strerror(r < 0 ? -r : EIO) + "); they see it when they start");
    }
    return kIOReturnSuccess;
}

} // namespace zed
