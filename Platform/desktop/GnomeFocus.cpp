#include "GnomeFocus.h"

#include "Platform/core/Log.h"
#include "Platform/dbus/DBusValue.h"

#include <cstring>

namespace zed {

namespace {

constexpr const char* kShell = "org.gnome.Shell";
constexpr const char* kPath = "/com/tovik/ZED/ShellFocus";
constexpr const char* kInterface = "com.tovik.ZED.ShellFocus";
// The shell answers at once or is busy drawing; the agent does not wait long.
constexpr std::uint64_t kAskUsec = 2 * 1000 * 1000;

class GnomeFocusTracker : public FocusTracker {
public:
    GnomeFocusTracker(sd_bus* bus, FocusCallback callback)
        : bus_(sd_bus_ref(bus)), callback_(std::move(callback)) {}

    bool start(std::string* why) {
        sd_bus_slot* slot = nullptr;
        if (sd_bus_match_signal(bus_.get(), &slot, kShell, kPath, kInterface, "FocusChanged",
                                &GnomeFocusTracker::onFocus, this) < 0) {
            *why = "the agent cannot listen on the session bus";
            return false;
        }
        slot_.reset(slot);
        sd_bus_message* call = nullptr;
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        const char* app = nullptr;
        if (sd_bus_message_new_method_call(bus_.get(), &call, kShell, kPath, kInterface,
                                           "FocusedApp") >= 0 &&
            sd_bus_call(bus_.get(), call, kAskUsec, &error, &reply) >= 0 &&
            sd_bus_message_read(reply, "s", &app) >= 0 && app) {
            callback_(app);
        } else {
            silent_ = true;
            zed::logPlain("Settings per application wait for ZED's GNOME Shell extension (%s): "
                          "enable it with \"gnome-extensions enable %s\", then log in again.",
                          error.message ? error.message : "no answer", kGnomeExtensionUuid);
        }
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        sd_bus_message_unref(call);
        return true;
    }

    std::string whyUntold() const override {
        return silent_ ? std::string("ZED's GNOME Shell extension does not answer: enable it with "
                                     "\"gnome-extensions enable ") +
                             kGnomeExtensionUuid + "\", then log out and in again"
                       : std::string();
    }

private:
    static int onFocus(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const char* app = nullptr;
        if (sd_bus_message_read(m, "s", &app) >= 0 && app && std::strlen(app) <= 255) {
            auto* self = static_cast<GnomeFocusTracker*>(userdata);
            self->silent_ = false;
            self->callback_(app);
        }
        return 0;
    }

    BusPtr bus_;
    FocusCallback callback_;
    SlotPtr slot_;
    bool silent_ = false; // the extension did not answer and has not spoken since
};

} // namespace

std::unique_ptr<FocusTracker> makeGnomeFocusTracker(sd_bus* session, FocusCallback callback,
                                                    std::string* why) {
    if (!session) {
        *why = "there is no session bus to hear GNOME Shell on";
        return nullptr;
    }
    auto tracker = std::make_unique<GnomeFocusTracker>(session, std::move(callback));
    if (!tracker->start(why)) {
        return nullptr;
    }
    return tracker;
}

} // namespace zed
