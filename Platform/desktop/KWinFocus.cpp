#include "KWinFocus.h"

#include "Platform/core/Log.h"
#include "Platform/dbus/DBusValue.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <unistd.h>

namespace zed {

namespace {

constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kScripting = "org.kde.kwin.Scripting";
// Longer than any application's name; a longer one is not one.
constexpr std::size_t kMaxName = 255;

std::string besideProgram(const char* relative) {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return {};
    }
    return (std::filesystem::path(std::string(path, static_cast<std::size_t>(n))).parent_path() /
            relative)
        .lexically_normal()
        .string();
}

class KWinFocusTracker : public FocusTracker {
public:
    KWinFocusTracker(sd_bus* bus, FocusCallback callback, std::string script)
        : bus_(sd_bus_ref(bus)), callback_(std::move(callback)), script_(std::move(script)) {}
    ~KWinFocusTracker() override {
        sd_bus_call_method(bus_.get(), kKWin, "/Scripting", kScripting, "unloadScript", nullptr,
                           nullptr, "s", kKWinScriptName);
    }

    bool start(std::string* why) {
        static const sd_bus_vtable vtable[] = {SD_BUS_VTABLE_START(0),
                                               SD_BUS_METHOD("FocusChanged", "s", "",
                                                             &KWinFocusTracker::onFocus,
                                                             SD_BUS_VTABLE_UNPRIVILEGED),
                                               SD_BUS_VTABLE_END};
        sd_bus_slot* object = nullptr;
        sd_bus_slot* watch = nullptr;
        if (sd_bus_add_object_vtable(bus_.get(), &object, kFocusObjectPath, kFocusInterface, vtable,
                                     this) < 0 ||
            sd_bus_match_signal(bus_.get(), &watch, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus", "NameOwnerChanged",
                                &KWinFocusTracker::onOwner, this) < 0) {
            *why = "the agent cannot listen on the session bus";
            return false;
        }
        object_.reset(object);
        watch_.reset(watch);
        return load(why);
    }

private:
    // Loads the script into KWin and runs it; KWin may still hold it from an
    // agent before this one.
    bool load(std::string* why) {
        std::int32_t id = -1;
        for (int attempt = 0; attempt < 2 && id < 0; ++attempt) {
            sd_bus_message* reply = nullptr;
            if (sd_bus_call_method(bus_.get(), kKWin, "/Scripting", kScripting, "loadScript",
                                   nullptr, &reply, "ss", script_.c_str(), kKWinScriptName) < 0) {
                *why = "KWin's scripting does not answer";
                return false;
            }
            MessagePtr owned(reply);
            sd_bus_message_read(reply, "i", &id);
            if (id < 0) {
                sd_bus_call_method(bus_.get(), kKWin, "/Scripting", kScripting, "unloadScript",
                                   nullptr, nullptr, "s", kKWinScriptName);
            }
        }
        // Plasma 6 names the script's object /Scripting/ScriptN, Plasma 5 /N.
        for (const std::string& path :
             {"/Scripting/Script" + std::to_string(id), "/" + std::to_string(id)}) {
            if (id >= 0 &&
                sd_bus_call_method(bus_.get(), kKWin, path.c_str(), "org.kde.kwin.Script", "run",
                                   nullptr, nullptr, "") >= 0) {
                return true;
            }
        }
        *why = "KWin did not run ZED's script (" + script_ + ")";
        return false;
    }
    static int onFocus(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<KWinFocusTracker*>(userdata);
        const char* name = nullptr;
        if (sd_bus_message_read(m, "s", &name) < 0 || !name) {
            return sd_bus_reply_method_errorf(m, SD_BUS_ERROR_INVALID_ARGS, "one name expected");
        }
        const std::string app(name);
        const bool printable = std::all_of(
            app.begin(), app.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x20; });
        if (app.size() > kMaxName || !printable) {
            return sd_bus_reply_method_errorf(m, SD_BUS_ERROR_INVALID_ARGS,
                                              "not an application's name");
        }
        self->callback_(app);
        return sd_bus_reply_method_return(m, "");
    }
    // KWin started again (a crash, a restart): the script is loaded anew.
    static int onOwner(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const char *name = nullptr, *before = nullptr, *after = nullptr;
        if (sd_bus_message_read(m, "sss", &name, &before, &after) >= 0 && name && after &&
            std::string_view(name) == kKWin && *after) {
            std::string why;
            if (!static_cast<KWinFocusTracker*>(userdata)->load(&why)) {
                zed::log("KWin restarted, and %s", why.c_str());
            }
        }
        return 0;
    }

    BusPtr bus_;
    FocusCallback callback_;
    std::string script_;
    SlotPtr object_, watch_;
};

} // namespace

std::unique_ptr<FocusTracker> makeKWinFocusTracker(sd_bus* session, FocusCallback callback,
                                                   std::string* why,
                                                   const std::string& scriptPath) {
    if (!session) {
        *why = "there is no session bus to hear KWin on";
        return nullptr;
    }
    const std::string script =
        scriptPath.empty() ? besideProgram("../share/zed/kwin/zed-focus.js") : scriptPath;
    auto tracker = std::make_unique<KWinFocusTracker>(session, std::move(callback), script);
    if (!tracker->start(why)) {
        return nullptr;
    }
    return tracker;
}

} // namespace zed
