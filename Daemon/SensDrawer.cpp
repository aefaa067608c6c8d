#include "Daemon/SensDrawer.h"

#include "Daemon/ABezierPathCategory.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <pango/pangocairo.h>
#include <vector>

namespace zed {

namespace {

constexpr double kBackgroundRadius = 10;
constexpr double kBackgroundAlpha = 0.15;
constexpr double kUnlitAlpha = 0.5;
constexpr double kSquareSize = 12;
constexpr double kFirstColumnX = 7;
constexpr double kColumnStep = 20;
constexpr double kFirstSquareY = 7;
constexpr double kSquareStep = 15;
constexpr double kLabelPoints = 12;
// A shadow without a colour of its own is black at one-third opacity.
constexpr double kShadowAlpha = 1.0 / 3.0;

struct Shadow {
    double dx = 0; // drawing coordinates (y upward)
    double dy = 0;
    double blurRadius = 0;
};

// A region of device pixels.
struct DeviceBox {
    double x0 = 0;
    double y0 = 0;
    double x1 = 0;
    double y1 = 0;
};

// The one place drawing coordinates (origin lower left, y upward) meet
// cairo's device space (origin top left, y downward).
void UseDrawingCoordinates(cairo_t* cr, int pictureHeight) {
    cairo_translate(cr, 0, pictureHeight);
    cairo_scale(cr, 1, -1);
}

// Text is laid out downward from its box's top; this makes the local frame
// upright again with its origin at the box's top-left corner, given in
// drawing coordinates.
void UseTextFrameAt(cairo_t* cr, double left, double top) {
    cairo_translate(cr, left, top);
    cairo_scale(cr, 1, -1);
}

// Blurs an A8 surface in place with a gaussian of the given blur radius (its
// standard deviation is half the radius). Pixels outside count as empty.
void BlurAlpha(cairo_surface_t* mask, double blurRadius) {
    if (!(blurRadius > 0))
        return;
    cairo_surface_flush(mask);
    unsigned char* data = cairo_image_surface_get_data(mask);
    const int width = cairo_image_surface_get_width(mask);
    const int height = cairo_image_surface_get_height(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    if (data == nullptr || width <= 0 || height <= 0)
        return;
    const double sigma = blurRadius / 2;
    const int half = static_cast<int>(std::ceil(3 * sigma));
    std::vector<double> kernel(2 * half + 1);
    double sum = 0;
    for (int k = -half; k <= half; ++k)
        sum += kernel[k + half] = std::exp(-(k * k) / (2 * sigma * sigma));
    for (double& w : kernel)
        w /= sum;

    std::vector<double> rows(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const unsigned char* line = data + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            double v = 0;
            for (int k = std::max(-half, -x); k <= std::min(half, width - 1 - x); ++k)
                v += kernel[k + half] * line[x + k];
            rows[static_cast<std::size_t>(y) * width + x] = v;
        }
    }
    for (int y = 0; y < height; ++y) {
        unsigned char* line = data + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            double v = 0;
            for (int k = std::max(-half, -y); k <= std::min(half, height - 1 - y); ++k)
                v += kernel[k + half] * rows[static_cast<std::size_t>(y + k) * width + x];
            line[x] = static_cast<unsigned char>(std::clamp(std::lround(v), 0L, 255L));
        }
    }
    cairo_surface_mark_dirty(mask);
}

// Draws what `shape` draws under a shadow: the shape's coverage, offset and
// blurred, in the shadow colour, then the shape itself with cr's current source
// and operator. `box` bounds the shape in device pixels; `offset` is the
// shadow's offset already in device pixels.
void DrawWithShadow(cairo_t* cr, const Shadow& shadow, double offsetX, double offsetY,
                    const DeviceBox& box, const std::function<void(cairo_t*)>& shape) {
    double unitX = 1, unitY = 0;
    cairo_user_to_device_distance(cr, &unitX, &unitY);
    const double blurPixels = std::max(0.0, shadow.blurRadius) * std::hypot(unitX, unitY);
    const int pad = static_cast<int>(std::ceil(1.5 * blurPixels)) + 1;
    const double originX = std::floor(box.x0) - pad;
    const double originY = std::floor(box.y0) - pad;
    const int width = static_cast<int>(std::ceil(box.x1) - originX) + pad;
    const int height = static_cast<int>(std::ceil(box.y1) - originY) + pad;
    if (width > 0 && height > 0 && width <= 32767 && height <= 32767) {
        CairoSurfacePtr mask(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
        CairoContextPtr mcr(cairo_create(mask.get()));
        cairo_matrix_t matrix;
        cairo_get_matrix(cr, &matrix);
        matrix.x0 -= originX;
        matrix.y0 -= originY;
        cairo_set_matrix(mcr.get(), &matrix);
        cairo_set_source_rgba(mcr.get(), 0, 0, 0, 1);
        shape(mcr.get());
        mcr.reset();
        // The blur radius is in points: as many more pixels as a point has.
        BlurAlpha(mask.get(), blurPixels);

        CairoStateSaver state(cr);
        cairo_identity_matrix(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        cairo_set_source_rgba(cr, 0, 0, 0, kShadowAlpha);
        cairo_mask_surface(cr, mask.get(), originX + offsetX, originY + offsetY);
    }
    shape(cr);
}

void AddRect(DeviceBox& box, cairo_t* cr, double x, double y, double w, double h, bool first) {
    double xs[] = {x, x + w};
    double ys[] = {y, y + h};
    for (double px : xs)
        for (double py : ys) {
            double dx = px, dy = py;
            cairo_user_to_device(cr, &dx, &dy);
            if (first) {
                box = {dx, dy, dx, dy};
                first = false;
            }
            box.x0 = std::min(box.x0, dx);
            box.y0 = std::min(box.y0, dy);
            box.x1 = std::max(box.x1, dx);
            box.y1 = std::max(box.y1, dy);
        }
}

// Fills the rectangles in copy mode: each replaces what lies under it, alpha
// included. With a shadow, the shadow is blended in first.
void FillRectList(cairo_t* cr, const std::vector<PathRect>& rects, const Shadow* shadow) {
    if (rects.empty())
        return;
    auto fill = [&rects](cairo_t* target) {
        cairo_new_path(target);
        for (const PathRect& r : rects)
            cairo_rectangle(target, r.x, r.y, r.width, r.height);
        cairo_fill(target);
    };
    CairoStateSaver state(cr);
    if (shadow == nullptr) {
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        fill(cr);
        return;
    }
    DeviceBox box;
    for (std::size_t i = 0; i < rects.size(); ++i)
        AddRect(box, cr, rects[i].x, rects[i].y, rects[i].width, rects[i].height, i == 0);
    double dx = shadow->dx, dy = shadow->dy;
    cairo_user_to_device_distance(cr, &dx, &dy);
    DrawWithShadow(cr, *shadow, dx, dy, box, [&](cairo_t* target) {
        if (target == cr)
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        fill(target);
    });
}

CairoFontOptionsPtr LabelFontOptions() {
    CairoFontOptionsPtr options(cairo_font_options_create());
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_SLIGHT);
    // Fractional advances, so a label's width is its true width.
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    return options;
}

// A label's layout for drawing on cr in an upright frame. One point is one
// pixel: the size is absolute, and pango's resolution is set to match.
PangoLayoutPtr MakeLabelLayout(cairo_t* cr, const std::string& text) {
    PangoLayoutPtr layout(pango_cairo_create_layout(cr));
    PangoContext* context = pango_layout_get_context(layout.get());
    pango_cairo_context_set_resolution(context, 72);
    CairoFontOptionsPtr options = LabelFontOptions();
    pango_cairo_context_set_font_options(context, options.get());
    pango_layout_context_changed(layout.get());
    PangoFontDescriptionPtr font(pango_font_description_from_string("Sans Bold"));
    pango_font_description_set_absolute_size(font.get(), kLabelPoints * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    return layout;
}

struct LabelSize {
    double width = 0;
    double height = 0;
};

LabelSize MeasureLabel(PangoLayout* layout) {
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return {static_cast<double>(logical.width) / PANGO_SCALE,
            static_cast<double>(logical.height) / PANGO_SCALE};
}

// Draws the label centred over a column with its box's lower-left corner at
// (columnX + (12 - width) / 2, 156), white, under the shadow.
void DrawLabel(cairo_t* cr, const std::string& text, double columnX, const Shadow& shadow) {
    CairoStateSaver state(cr);
    double offsetX = shadow.dx, offsetY = shadow.dy;
    cairo_user_to_device_distance(cr, &offsetX, &offsetY);

    // Lay out in an upright frame first: the size decides where the box goes.
    PangoLayoutPtr layout;
    LabelSize size;
    {
        CairoStateSaver measuring(cr);
        UseTextFrameAt(cr, 0, 0);
        layout = MakeLabelLayout(cr, text);
        size = MeasureLabel(layout.get());
    }
    const double left = columnX + (kSquareSize - size.width) / 2;
    UseTextFrameAt(cr, left, kLabelBaseY + size.height);
    pango_cairo_update_layout(cr, layout.get());

    DeviceBox box;
    AddRect(box, cr, 0, 0, size.width, size.height, true);
    cairo_set_source_rgba(cr, 1, 1, 1, 1);
    DrawWithShadow(cr, shadow, offsetX, offsetY, box, [&](cairo_t* target) {
        cairo_move_to(target, 0, 0);
        pango_cairo_show_layout(target, layout.get());
    });
}

unsigned UsableCount(const double* values, unsigned count) {
    return values == nullptr ? 0 : std::min(count, kMaxSliderColumns);
}

OverlayWindowService* sOverlayService = nullptr;

std::unique_ptr<OverlayWindowService>& DefaultOverlayService() {
    static std::unique_ptr<OverlayWindowService> service;
    return service;
}

} // namespace

int SliderImageWidth(unsigned count) {
    return static_cast<int>(kColumnStep * std::min(count, kMaxSliderColumns) + 6);
}

std::string SliderLabel(double value) {
    if (value >= 10.0)
        return "10";
    // Like "%.1f", without the locale's decimal separator.
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (result.ec != std::errc())
        return "?";
    return std::string(buffer, result.ptr);
}

int LitSquares(double value) {
    if (!(value >= 0))
        return 0;
    if (value >= kSquaresPerColumn)
        return kSquaresPerColumn;
    return static_cast<int>(value);
}

double SliderLabelWidth(const std::string& label) {
    CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
    CairoContextPtr cr(cairo_create(surface.get()));
    PangoLayoutPtr layout = MakeLabelLayout(cr.get(), label);
    return MeasureLabel(layout.get()).width;
}

CairoSurfacePtr createSliderImage(const double* values, unsigned count, int scale) {
    count = UsableCount(values, count);
    const int width = SliderImageWidth(count);
    // Cairo's images are at most 32767 pixels wide.
    scale = std::clamp(scale, 1, std::clamp(32767 / width, 1, kMaxPictureScale));
    // A new image surface is fully transparent.
    CairoSurfacePtr picture(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * scale, kSliderHeight * scale));
    CairoContextPtr cr(cairo_create(picture.get()));
    // Everything below is in points; only the surface knows pixels.
    cairo_scale(cr.get(), scale, scale);
    UseDrawingCoordinates(cr.get(), kSliderHeight);

    cairo_set_source_rgba(cr.get(), 0, 0, 0, kBackgroundAlpha);
    BezierPathWithRoundRectInRect(
        {0, 0, static_cast<float>(width), static_cast<float>(kSliderHeight)}, kBackgroundRadius)
        .Fill(cr.get());

    for (unsigned i = 0; i < count; ++i) {
        const double value = values[i];
        const double x = kFirstColumnX + kColumnStep * i;
        std::vector<PathRect> squares;
        for (int k = 0; k < kSquaresPerColumn; ++k)
            squares.push_back({static_cast<float>(x),
                               static_cast<float>(kFirstSquareY + kSquareStep * k),
                               static_cast<float>(kSquareSize), static_cast<float>(kSquareSize)});
        cairo_set_source_rgba(cr.get(), 0, 0, 0, kUnlitAlpha);
        FillRectList(cr.get(), squares, nullptr);

        cairo_set_source_rgba(cr.get(), 1, 1, 1, 1);
        Shadow shadow{0, -1, 0};
        squares.resize(static_cast<std::size_t>(LitSquares(value)));
        FillRectList(cr.get(), squares, &shadow);

        shadow = {2, -2, 2};
        DrawLabel(cr.get(), SliderLabel(value), x, shadow);
    }
    cr.reset();
    cairo_surface_flush(picture.get());
    return picture;
}

namespace {
class LinkedSensDisplay final : public SensDisplay {
public:
    void BeginDraw() override { drawer_.BeginDraw(); }
    void Draw(const double* values, unsigned count) override { drawer_.Draw(values, count); }
    void EndDraw() override { drawer_.EndDraw(); }

private:
    SensDrawer drawer_;
};
} // namespace

std::unique_ptr<SensDisplay> MakeLinkedSensDisplay() {
    return std::make_unique<LinkedSensDisplay>();
}

SensDrawer::SensDrawer() = default;

SensDrawer::~SensDrawer() {
    EndDraw();
}

void SensDrawer::BeginDraw() {}

void SensDrawer::Draw(const double* values, unsigned count) {
    OverlayWindowService& service = CurrentOverlayWindowService();
    if (!fOverlayWindow)
        fOverlayWindow =
            service.createWindow(SliderImageWidth(UsableCount(values, count)), kSliderHeight);
    if (!fOverlayWindow)
        return;
    // Drawn at the window's scale, so a screen of doubled pixels gets a sharp
    // picture. It and everything made for it go when this returns; the window
    // keeps a copy of what it shows.
    CairoSurfacePtr picture = createSliderImage(values, count, fOverlayWindow->scale());
    if (cairo_surface_status(picture.get()) != CAIRO_STATUS_SUCCESS)
        return;
    const PictureView view{cairo_image_surface_get_data(picture.get()),
                           cairo_image_surface_get_width(picture.get()),
                           cairo_image_surface_get_height(picture.get()),
                           cairo_image_surface_get_stride(picture.get())};
    // Every time: the panel follows changes of the screen's visible area.
    const OverlayRect visible = service.visibleFrame();
    fOverlayWindow->setFrameOrigin({visible.width - 100, visible.y + 100});
    fOverlayWindow->show(view);
}

void SensDrawer::EndDraw() {
    fOverlayWindow.reset();
}

void SetOverlayWindowService(OverlayWindowService* service) {
    sOverlayService = service;
}

OverlayWindowService& CurrentOverlayWindowService() {
    if (sOverlayService != nullptr)
        return *sOverlayService;
    std::unique_ptr<OverlayWindowService>& service = DefaultOverlayService();
    if (!service)
        service = makeDefaultOverlayService();
    return *service;
}

} // namespace zed
