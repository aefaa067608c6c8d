#include "X11OverlayWindow.h"

#include "DrawingHandles.h"
#include "Platform/core/Log.h"

#include <algorithm>
#include <cairo-xcb.h>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <signal.h>
#include <vector>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace zed {

OverlayRect VisibleFrameFromWorkArea(const X11Rect& workArea, int screenHeight) {
    return {static_cast<double>(workArea.x),
            static_cast<double>(screenHeight - (workArea.y + workArea.height)),
            static_cast<double>(workArea.width), static_cast<double>(workArea.height)};
}

X11Rect TopLeftFromOrigin(OverlayPoint origin, int windowWidth, int windowHeight,
                          int screenHeight) {
    // X11 positions are 16-bit; a position outside that range is no place at all.
    auto clamp16 = [](double v) {
        if (!(v == v))
            return 0;
        return static_cast<int>(std::clamp(v, -32768.0, 32767.0));
    };
    return {clamp16(origin.x), clamp16(screenHeight - (origin.y + windowHeight)), windowWidth,
            windowHeight};
}

X11Rect WorkAreaFromProperty(std::span<const std::uint32_t> workAreas, std::uint32_t desktop,
                             int screenWidth, int screenHeight) {
    std::size_t first = static_cast<std::size_t>(desktop) * 4;
    if (first + 4 > workAreas.size())
        first = 0;
    if (workAreas.size() < 4 || workAreas[first + 2] == 0 || workAreas[first + 3] == 0)
        return {0, 0, screenWidth, screenHeight};
    // Cardinals are unsigned; keep each within what the screen can hold.
    auto part = [&](std::size_t i) {
        return static_cast<int>(std::min<std::uint32_t>(workAreas[first + i], 32767));
    };
    return {part(0), part(1), part(2), part(3)};
}

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;

struct ConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

// Writing to a display whose server went away raises SIGPIPE, which would end
// the agent. xcb usually sees the hang-up before it writes, but not when the
// server goes between the two: hold the signal back while talking to the server
// and drop one that was raised meanwhile.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
        wasPending_ = pending();
    }
    ~SigpipeGuard() {
        if (!wasPending_ && pending()) {
            const timespec zero{};
            sigtimedwait(&pipe_, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    bool pending() const {
        sigset_t set;
        sigemptyset(&set);
        sigpending(&set);
        return sigismember(&set, SIGPIPE) == 1;
    }

    sigset_t pipe_;
    sigset_t previous_;
    bool wasPending_ = false;
};

enum Atom {
    kNetWorkarea,
    kNetCurrentDesktop,
    kNetWmState,
    kNetWmStateAbove,
    kNetWmWindowType,
    kNetWmWindowTypeNotification,
    kAtomCount
};
constexpr const char* kAtomNames[kAtomCount] = {
    "_NET_WORKAREA",       "_NET_CURRENT_DESKTOP", "_NET_WM_STATE",
    "_NET_WM_STATE_ABOVE", "_NET_WM_WINDOW_TYPE",  "_NET_WM_WINDOW_TYPE_NOTIFICATION"};

std::string_view AtomName(Atom a) {
    return kAtomNames[a];
}

} // namespace

// One display connection, shared by the service and its windows so that a
// window never outlives the connection it was made on.
struct X11Connection {
    // Members go in reverse order: the cairo device before the connection.
    std::unique_ptr<xcb_connection_t, ConnectionDeleter> conn;
    CairoDevicePtr device;
    xcb_screen_t* screen = nullptr;
    xcb_visualtype_t* visual = nullptr;
    xcb_colormap_t colormap = 0;
    bool hasShape = false;
    xcb_atom_t atoms[kAtomCount] = {};

    bool alive() const { return conn && xcb_connection_has_error(conn.get()) == 0; }
    xcb_connection_t* get() const { return conn.get(); }

    // Drops queued events and errors: nothing here waits for them, and left
    // alone they would pile up for the life of the connection.
    void drainEvents() const {
        while (xcb_generic_event_t* event = xcb_poll_for_event(conn.get()))
            std::free(event);
    }
};

namespace {

xcb_visualtype_t* FindArgbVisual(xcb_screen_t* screen) {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem;
         xcb_depth_next(&depths)) {
        if (depths.data->depth != 32)
            continue;
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR)
                return visuals.data;
        }
    }
    return nullptr;
}

std::shared_ptr<X11Connection> OpenConnection(const std::string& displayName, std::string& error) {
    auto c = std::make_shared<X11Connection>();
    int screenNumber = 0;
    c->conn.reset(xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber));
    if (!c->alive()) {
        error = "cannot open the X display";
        return nullptr;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(c->get()));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    c->screen = screens.rem ? screens.data : nullptr;
    if (c->screen == nullptr) {
        error = "the X display has no such screen";
        return nullptr;
    }
    c->visual = FindArgbVisual(c->screen);
    if (c->visual == nullptr) {
        error = "the X display has no 32-bit visual for a transparent window";
        return nullptr;
    }
    c->colormap = xcb_generate_id(c->get());
    xcb_create_colormap(c->get(), XCB_COLORMAP_ALLOC_NONE, c->colormap, c->screen->root,
                        c->visual->visual_id);

    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c->get(), &xcb_shape_id);
    c->hasShape = shape != nullptr && shape->present;

    xcb_intern_atom_cookie_t cookies[kAtomCount];
    for (int i = 0; i < kAtomCount; ++i) {
        std::string_view name = AtomName(static_cast<Atom>(i));
        cookies[i] =
            xcb_intern_atom(c->get(), 0, static_cast<std::uint16_t>(name.size()), name.data());
    }
    for (int i = 0; i < kAtomCount; ++i) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c->get(), cookies[i], nullptr));
        c->atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
    if (!c->alive()) {
        error = "the X display closed the connection";
        return nullptr;
    }
    return c;
}

std::vector<std::uint32_t> ReadCardinals(const X11Connection& c, xcb_atom_t property,
                                         std::uint32_t maxCount) {
    std::vector<std::uint32_t> values;
    if (property == XCB_ATOM_NONE)
        return values;
    auto cookie =
        xcb_get_property(c.get(), 0, c.screen->root, property, XCB_ATOM_CARDINAL, 0, maxCount);
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c.get(), cookie, nullptr));
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_CARDINAL)
        return values;
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    values.assign(data, data + std::max(count, 0));
    return values;
}

class X11OverlayWindow final : public OverlayWindow {
public:
    X11OverlayWindow(std::shared_ptr<X11Connection> connection, int width, int height)
        : c_(std::move(connection)), width_(width), height_(height) {
        xcb_connection_t* conn = c_->get();
        const xcb_window_t root = c_->screen->root;

        // The picture lives in the window's background pixmap, so the server
        // repaints the window by itself and no expose events need handling.
        pixmap_ = xcb_generate_id(conn);
        xcb_create_pixmap(conn, 32, pixmap_, root, static_cast<std::uint16_t>(width_),
                          static_cast<std::uint16_t>(height_));
        surface_.reset(cairo_xcb_surface_create(conn, pixmap_, c_->visual, width_, height_));
        if (!c_->device && cairo_surface_get_device(surface_.get()) != nullptr)
            c_->device.reset(cairo_device_reference(cairo_surface_get_device(surface_.get())));
        paint(PictureView{});

        window_ = xcb_generate_id(conn);
        // Value order follows the mask bits.
        const std::uint32_t mask =
            XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_COLORMAP;
        const std::uint32_t values[] = {pixmap_, 0, 1, c_->colormap};
        xcb_create_window(conn, 32, window_, root, 0, 0, static_cast<std::uint16_t>(width_),
                          static_cast<std::uint16_t>(height_), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          c_->visual->visual_id, mask, values);
        // An empty input region: pointer events go to whatever lies below.
        if (c_->hasShape)
            xcb_shape_rectangles(conn, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                                 XCB_CLIP_ORDERING_UNSORTED, window_, 0, 0, 0, nullptr);
        // Override-redirect keeps window managers out; these hints are for
        // compositors and pagers that still look at the window.
        setAtomProperty(c_->atoms[kNetWmState], c_->atoms[kNetWmStateAbove]);
        setAtomProperty(c_->atoms[kNetWmWindowType], c_->atoms[kNetWmWindowTypeNotification]);
        static constexpr char kName[] = "zed overlay";
        xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                            8, sizeof kName - 1, kName);
        static constexpr char kClass[] = "zed-agent\0ZedAgent";
        xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS,
                            XCB_ATOM_STRING, 8, sizeof kClass, kClass);
        xcb_flush(conn);
    }

    ~X11OverlayWindow() override {
        SigpipeGuard guard;
        surface_.reset();
        if (!c_->alive())
            return;
        xcb_destroy_window(c_->get(), window_);
        xcb_free_pixmap(c_->get(), pixmap_);
        xcb_flush(c_->get());
        c_->drainEvents();
    }

    X11OverlayWindow(const X11OverlayWindow&) = delete;
    X11OverlayWindow& operator=(const X11OverlayWindow&) = delete;

    int width() const override { return width_; }
    int height() const override { return height_; }

    void setFrameOrigin(OverlayPoint origin) override {
        SigpipeGuard guard;
        if (!c_->alive())
            return;
        const X11Rect frame =
            TopLeftFromOrigin(origin, width_, height_, c_->screen->height_in_pixels);
        const std::uint32_t values[] = {static_cast<std::uint32_t>(frame.x),
                                        static_cast<std::uint32_t>(frame.y)};
        xcb_configure_window(c_->get(), window_, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
        xcb_flush(c_->get());
    }

    void show(const PictureView& picture) override {
        SigpipeGuard guard;
        if (!c_->alive())
            return;
        paint(picture);
        xcb_connection_t* conn = c_->get();
        xcb_clear_area(conn, 0, window_, 0, 0, 0, 0);
        const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
        xcb_configure_window(conn, window_, XCB_CONFIG_WINDOW_STACK_MODE, above);
        if (!mapped_) {
            xcb_map_window(conn, window_);
            mapped_ = true;
        }
        xcb_flush(conn);
        c_->drainEvents();
    }

private:
    // Replaces the background pixmap's content with the picture, bottom-left
    // aligned; the rest becomes transparent.
    void paint(const PictureView& picture) {
        CairoContextPtr cr(cairo_create(surface_.get()));
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
        CairoSurfacePtr image;
        if (!picture.empty() && picture.stride >= 4 * picture.width) {
            // cairo only reads a source; the data stays the caller's.
            image.reset(cairo_image_surface_create_for_data(
                const_cast<unsigned char*>(picture.data), CAIRO_FORMAT_ARGB32, picture.width,
                picture.height, picture.stride));
        }
        if (image && cairo_surface_status(image.get()) == CAIRO_STATUS_SUCCESS) {
            cairo_set_source_surface(cr.get(), image.get(), 0, height_ - picture.height);
        } else {
            cairo_set_source_rgba(cr.get(), 0, 0, 0, 0);
        }
        cairo_paint(cr.get());
        cr.reset();
        cairo_surface_flush(surface_.get());
        // The borrowed pixels must not be touched once this returns.
        if (image)
            cairo_surface_finish(image.get());
    }

    void setAtomProperty(xcb_atom_t property, xcb_atom_t value) {
        if (property == XCB_ATOM_NONE || value == XCB_ATOM_NONE)
            return;
        xcb_change_property(c_->get(), XCB_PROP_MODE_REPLACE, window_, property, XCB_ATOM_ATOM, 32,
                            1, &value);
    }

    std::shared_ptr<X11Connection> c_;
    int width_;
    int height_;
    xcb_pixmap_t pixmap_ = 0;
    xcb_window_t window_ = 0;
    CairoSurfacePtr surface_;
    bool mapped_ = false;
};

} // namespace

X11OverlayService::X11OverlayService(std::string displayName)
    : displayName_(std::move(displayName)) {}

X11OverlayService::~X11OverlayService() {
    SigpipeGuard guard;
    connection_.reset();
}

void X11OverlayService::reportOnce(const std::string& message) {
    if (reported_)
        return;
    reported_ = true;
    zed::log("overlay: %s; the on-screen display is not shown", message.c_str());
}

bool X11OverlayService::connected() {
    if (connection_ && connection_->alive())
        return true;
    if (connection_) {
        connection_.reset();
        reportOnce("lost the connection to the X display");
    }
    std::string error;
    connection_ = OpenConnection(displayName_, error);
    if (!connection_) {
        reportOnce(error);
        return false;
    }
    // A display that works again is worth a message when it goes next time.
    reported_ = false;
    return true;
}

OverlayRect X11OverlayService::visibleFrame() {
    SigpipeGuard guard;
    if (!connection_)
        return {};
    const X11Connection& c = *connection_;
    const int screenWidth = c.screen->width_in_pixels;
    const int screenHeight = c.screen->height_in_pixels;
    const auto desktop = ReadCardinals(c, c.atoms[kNetCurrentDesktop], 1);
    // Room for the work areas of 64 desktops is plenty.
    const auto areas = ReadCardinals(c, c.atoms[kNetWorkarea], 4 * 64);
    if (!c.alive()) {
        connection_.reset();
        reportOnce("lost the connection to the X display");
        return {};
    }
    const X11Rect workArea =
        WorkAreaFromProperty(areas, desktop.empty() ? 0 : desktop[0], screenWidth, screenHeight);
    return VisibleFrameFromWorkArea(workArea, screenHeight);
}

std::unique_ptr<OverlayWindow> X11OverlayService::createWindow(int width, int height) {
    SigpipeGuard guard;
    if (!connected())
        return nullptr;
    // X11 sizes are 16-bit and never zero.
    width = std::clamp(width, 1, 32767);
    height = std::clamp(height, 1, 32767);
    return std::make_unique<X11OverlayWindow>(connection_, width, height);
}

} // namespace zed
