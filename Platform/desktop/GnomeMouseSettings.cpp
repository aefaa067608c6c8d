#include "GnomeMouseSettings.h"

#include "Platform/core/Log.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <algorithm>
#include <cmath>
#include <cstring>
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

namespace zed {

namespace {

struct ObjectUnref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
struct SchemaUnref {
    void operator()(GSettingsSchema* s) const { g_settings_schema_unref(s); }
};
struct SchemaKeyUnref {
    void operator()(GSettingsSchemaKey* k) const { g_settings_schema_key_unref(k); }
};
struct VariantUnref {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;
using SchemaPtr = std::unique_ptr<GSettingsSchema, SchemaUnref>;
using SettingsPtr = std::unique_ptr<GSettings, ObjectUnref>;

void say(const std::string& text) {
    zed::log("%s", text.c_str());
}

SchemaPtr lookUp(const std::string& schemaId) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default(); // not owned
    return SchemaPtr(source ? g_settings_schema_source_lookup(source, schemaId.c_str(), TRUE)
                            : nullptr);
}

// Without dconf the desktop's store is the one in this process's memory:
// nothing written there reaches the desktop.
bool desktopStoreIsMemoryOnly() {
    GSettingsBackend* standard = g_settings_backend_get_default(); // a new reference
    const bool memory = std::strcmp(G_OBJECT_TYPE_NAME(standard), "GMemorySettingsBackend") == 0;
    g_object_unref(standard);
    return memory;
}

GSettingsBackend* ref(GSettingsBackend* store) {
    return store ? static_cast<GSettingsBackend*>(g_object_ref(store)) : nullptr;
}

} // namespace

bool haveGnomeMouseSchema() {
    return lookUp(kGnomeMouseSchema) != nullptr;
}

// --- Double-click time ------------------------------------------------------

struct GSettingsDoubleClick::Settings {
    SettingsPtr settings;
    int min = G_MININT32;
    int max = G_MAXINT32;
};

GSettingsDoubleClick::GSettingsDoubleClick(std::string schemaId, std::string key,
                                           std::string keyfilePath, GSettingsBackend* store)
    : schemaId_(std::move(schemaId)), key_(std::move(key)), keyfilePath_(std::move(keyfilePath)),
      store_(ref(store)) {}

GSettingsDoubleClick::~GSettingsDoubleClick() {
    if (settings_) {
        g_settings_sync();
    }
    settings_.reset();
    if (store_) {
        g_object_unref(store_);
    }
}

GSettingsDoubleClick::Settings* GSettingsDoubleClick::settings() {
    if (looked_) {
        return settings_.get();
    }
    looked_ = true;
    const std::string keeps = "the desktop keeps its own double-click time";
    SchemaPtr schema = lookUp(schemaId_);
    if (!schema || !g_settings_schema_has_key(schema.get(), key_.c_str())) {
        say("no " + schemaId_ + " " + key_ + " setting here, so " + keeps);
        return nullptr;
    }
    std::unique_ptr<GSettingsSchemaKey, SchemaKeyUnref> schemaKey(
        g_settings_schema_get_key(schema.get(), key_.c_str()));
    if (!g_variant_type_equal(g_settings_schema_key_get_value_type(schemaKey.get()),
                              G_VARIANT_TYPE_INT32)) {
        say(schemaId_ + " " + key_ + " is not a number of milliseconds, so " + keeps);
        return nullptr;
    }
    std::unique_ptr<GSettingsBackend, ObjectUnref> keyfile;
    GSettingsBackend* backend = store_;
    if (!keyfilePath_.empty()) {
        keyfile.reset(g_keyfile_settings_backend_new(keyfilePath_.c_str(), "/", nullptr));
        backend = keyfile.get();
    } else if (!backend && desktopStoreIsMemoryOnly()) {
        say("the desktop's settings store (dconf) is missing, so " + keeps);
        return nullptr;
    }
    auto s = std::make_unique<Settings>();
    s->settings.reset(g_settings_new_full(schema.get(), backend, nullptr));
    // The schema may bound the time; out-of-range values are clamped rather
    // than refused.
    VariantPtr range(g_settings_schema_key_get_range(schemaKey.get()));
    const gchar* kind = nullptr;
    GVariant* detail = nullptr;
    g_variant_get(range.get(), "(&sv)", &kind, &detail);
    VariantPtr bounds(detail);
    if (std::strcmp(kind, "range") == 0 &&
        g_variant_is_of_type(bounds.get(), G_VARIANT_TYPE("(ii)"))) {
        g_variant_get(bounds.get(), "(ii)", &s->min, &s->max);
    }
    settings_ = std::move(s);
    return settings_.get();
}

IOReturn GSettingsDoubleClick::setDoubleClickTime(std::uint64_t nanoseconds) {
    Settings* s = settings();
    if (!s) {
        return kIOReturnUnsupported;
    }
    const std::uint64_t ms = nanoseconds / 1000000 + (nanoseconds % 1000000 >= 500000 ? 1 : 0);
    const auto value = static_cast<int>(std::clamp<std::uint64_t>(
        ms, static_cast<std::uint64_t>(std::max(s->min, 0)), static_cast<std::uint64_t>(s->max)));
    if (!g_settings_set_int(s->settings.get(), key_.c_str(), value)) {
        return kIOReturnNotPermitted; // the key is locked down by the administrator
    }
    g_settings_sync();
    return kIOReturnSuccess;
}

std::optional<int> GSettingsDoubleClick::milliseconds() {
    Settings* s = settings();
    if (!s) {
        return std::nullopt;
    }
    return g_settings_get_int(s->settings.get(), key_.c_str());
}

// --- Button side and acceleration -------------------------------------------

struct GnomePointerControl::Settings {
    SettingsPtr settings;
};

GnomePointerControl::GnomePointerControl(GSettingsBackend* store)
    : store_(ref(store)), report_(std::make_unique<OnceReporter>("GNOME")) {}

GnomePointerControl::~GnomePointerControl() {
    if (settings_) {
        g_settings_sync();
    }
    settings_.reset();
    if (store_) {
        g_object_unref(store_);
    }
}

GnomePointerControl::Settings* GnomePointerControl::settings() {
    if (looked_) {
        return settings_.get();
    }
    looked_ = true;
    const std::string left =
        ", so the button mode and the pointer acceleration are left as they are";
    SchemaPtr schema = lookUp(kGnomeMouseSchema);
    if (!schema) {
        report_->say(std::string("no ") + kGnomeMouseSchema + " settings here" + left);
        return nullptr;
    }
    for (const char* key : {kLeftHandedKey, kSpeedKey, kProfileKey}) {
        if (!g_settings_schema_has_key(schema.get(), key)) {
            report_->say(std::string(kGnomeMouseSchema) + " has no " + key + left);
            return nullptr;
        }
    }
    if (!store_ && desktopStoreIsMemoryOnly()) {
        report_->say("the settings store (dconf) is missing" + left);
        return nullptr;
    }
    auto s = std::make_unique<Settings>();
    s->settings.reset(g_settings_new_full(schema.get(), store_, nullptr));
    settings_ = std::move(s);
    return settings_.get();
}

IOReturn GnomePointerControl::written(bool ok, const char* key) {
    if (!ok) {
        // Locked down by the administrator; the next call will find it
        // locked too, and that was said.
        report_->say(std::string("the administrator has locked ") + kGnomeMouseSchema + " " + key +
                     ", so it is left as it is");
        return kIOReturnNotPermitted;
    }
    g_settings_sync();
    return kIOReturnSuccess;
}

IOReturn GnomePointerControl::setButtonsSwapped(bool swapped) {
    Settings* s = settings();
    if (!s) {
        return kIOReturnUnsupported;
    }
    return written(g_settings_set_boolean(s->settings.get(), kLeftHandedKey, swapped),
                   kLeftHandedKey);
}

IOReturn GnomePointerControl::setAcceleration(double acceleration) {
    Settings* s = settings();
    if (!s) {
        return kIOReturnUnsupported;
    }
    GSettings* g = s->settings.get();
    if (accelerationIsOff(acceleration)) {
        return written(g_settings_set_string(g, kProfileKey, "flat"), kProfileKey);
    }
    // The speed first: a panel that shows the profile change sees the new
    // speed with it.
    const IOReturn speed =
        written(g_settings_set_double(g, kSpeedKey, libinputSpeedFromAcceleration(acceleration)),
                kSpeedKey);
    const IOReturn profile =
        written(g_settings_set_string(g, kProfileKey, "adaptive"), kProfileKey);
    return speed != kIOReturnSuccess ? speed : profile;
}

IOReturn GnomePointerControl::getAcceleration(double* acceleration) {
    Settings* s = settings();
    if (!s) {
        return kIOReturnUnsupported;
    }
    if (acceleration) {
        const double speed =
            std::clamp(g_settings_get_double(s->settings.get(), kSpeedKey), -1.0, 1.0);
        *acceleration = accelerationFromLibinputSpeed(speed);
    }
    return kIOReturnSuccess;
}

} // namespace zed
