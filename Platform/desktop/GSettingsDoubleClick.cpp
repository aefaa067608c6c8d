#include "PointerSettings.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <algorithm>
#include <cstdio>
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

void say(const std::string& text) {
    std::fprintf(stderr, "zed: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace

struct GSettingsDoubleClick::Settings {
    std::unique_ptr<GSettings, ObjectUnref> settings;
    int min = G_MININT32;
    int max = G_MAXINT32;
};

GSettingsDoubleClick::GSettingsDoubleClick(std::string schemaId, std::string key,
                                           std::string keyfilePath)
    : schemaId_(std::move(schemaId)), key_(std::move(key)), keyfilePath_(std::move(keyfilePath)) {}

GSettingsDoubleClick::~GSettingsDoubleClick() {
    if (settings_) {
        g_settings_sync();
    }
}

GSettingsDoubleClick::Settings* GSettingsDoubleClick::settings() {
    if (looked_) {
        return settings_.get();
    }
    looked_ = true;
    const std::string keeps = "the desktop keeps its own double-click time";
    GSettingsSchemaSource* source = g_settings_schema_source_get_default(); // not owned
    std::unique_ptr<GSettingsSchema, SchemaUnref> schema(
        source ? g_settings_schema_source_lookup(source, schemaId_.c_str(), TRUE) : nullptr);
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
    std::unique_ptr<GSettingsBackend, ObjectUnref> backend;
    if (!keyfilePath_.empty()) {
        backend.reset(g_keyfile_settings_backend_new(keyfilePath_.c_str(), "/", nullptr));
    } else {
        // Without dconf the settings would live in this process's memory only.
        GSettingsBackend* standard = g_settings_backend_get_default(); // a new reference
        const bool memory =
            std::strcmp(G_OBJECT_TYPE_NAME(standard), "GMemorySettingsBackend") == 0;
        g_object_unref(standard);
        if (memory) {
            say("the desktop's settings store (dconf) is missing, so " + keeps);
            return nullptr;
        }
    }
    auto s = std::make_unique<Settings>();
    s->settings.reset(g_settings_new_full(schema.get(), backend.get(), nullptr));
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

} // namespace zed
