// Owning handles for the cairo and pango objects of offscreen drawing, so that
// every early return releases what was made before it.
#pragma once

#include <cairo.h>
#include <glib-object.h>
#include <memory>
#include <pango/pango.h>

namespace zed {

struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoContextDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
struct CairoDeviceDeleter {
    // A device keeps a pointer to its display connection: finish it before the
    // connection goes, so nothing later reaches a freed connection through it.
    void operator()(cairo_device_t* d) const {
        cairo_device_finish(d);
        cairo_device_destroy(d);
    }
};
struct CairoFontOptionsDeleter {
    void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};
struct GObjectDeleter {
    void operator()(void* o) const { g_object_unref(o); }
};
struct PangoFontDescriptionDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};

using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;
using CairoContextPtr = std::unique_ptr<cairo_t, CairoContextDeleter>;
using CairoDevicePtr = std::unique_ptr<cairo_device_t, CairoDeviceDeleter>;
using CairoFontOptionsPtr = std::unique_ptr<cairo_font_options_t, CairoFontOptionsDeleter>;
using PangoLayoutPtr = std::unique_ptr<PangoLayout, GObjectDeleter>;
using PangoFontDescriptionPtr = std::unique_ptr<PangoFontDescription, PangoFontDescriptionDeleter>;

// Saves the drawing state of a context and restores it when the scope ends.
class CairoStateSaver {
public:
    explicit CairoStateSaver(cairo_t* cr) : cr_(cr) { cairo_save(cr_); }
    ~CairoStateSaver() { cairo_restore(cr_); }
    CairoStateSaver(const CairoStateSaver&) = delete;
    CairoStateSaver& operator=(const CairoStateSaver&) = delete;

private:
    cairo_t* cr_;
};

} // namespace zed
