#include "WaylandOverlayWindow.h"

#include "Platform/core/Log.h"
#include "Platform/core/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>
// The generated code names an argument `namespace`, a C++ keyword.
#define namespace layer_namespace
#include <wlr-layer-shell-unstable-v1-client-protocol.h>
#undef namespace
#include <xdg-output-unstable-v1-client-protocol.h>

namespace zed {

LayerMargins MarginsFromOrigin(OverlayPoint origin) {
    auto toInt = [](double v) {
        if (!(v == v))
            return 0;
        return static_cast<int>(
            std::lround(std::clamp(v, double{INT_MIN / 2}, double{INT_MAX / 2})));
    };
    return {toInt(origin.x), toInt(origin.y)};
}

LogicalSize LogicalOutputSize(int modeWidth, int modeHeight, int scale, int xdgWidth,
                              int xdgHeight) {
    if (xdgWidth > 0 && xdgHeight > 0)
        return {xdgWidth, xdgHeight};
    if (modeWidth <= 0 || modeHeight <= 0)
        return {};
    scale = std::max(scale, 1);
    return {(modeWidth + scale - 1) / scale, (modeHeight + scale - 1) / scale};
}

OverlayRect VisibleFrameFromOutput(LogicalSize size) {
    return {0, 0, static_cast<double>(size.width), static_cast<double>(size.height)};
}

int PictureScaleForOutput(int outputScale) {
    return std::clamp(outputScale, 1, 8);
}

namespace {

// Owners of the protocol objects: each calls its destructor request.
template <auto Destroy> struct ProxyDeleter {
    template <class T> void operator()(T* proxy) const { Destroy(proxy); }
};
template <class T, auto Destroy> using Proxy = std::unique_ptr<T, ProxyDeleter<Destroy>>;

struct LayerShellDeleter {
    // The destroy request came with version 3; older ones only forget it here.
    void operator()(zwlr_layer_shell_v1* shell) const {
        if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(shell)) >= 3)
            zwlr_layer_shell_v1_destroy(shell);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(shell));
    }
};
struct OutputDeleter {
    void operator()(wl_output* output) const {
        if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
            wl_output_release(output);
        else
            wl_output_destroy(output);
    }
};

using DisplayPtr = Proxy<wl_display, wl_display_disconnect>;
using RegistryPtr = Proxy<wl_registry, wl_registry_destroy>;
using CompositorPtr = Proxy<wl_compositor, wl_compositor_destroy>;
using ShmPtr = Proxy<wl_shm, wl_shm_destroy>;
using PoolPtr = Proxy<wl_shm_pool, wl_shm_pool_destroy>;
using BufferPtr = Proxy<wl_buffer, wl_buffer_destroy>;
using SurfacePtr = Proxy<wl_surface, wl_surface_destroy>;
using RegionPtr = Proxy<wl_region, wl_region_destroy>;
using CallbackPtr = Proxy<wl_callback, wl_callback_destroy>;
using LayerShellPtr = std::unique_ptr<zwlr_layer_shell_v1, LayerShellDeleter>;
using LayerSurfacePtr = Proxy<zwlr_layer_surface_v1, zwlr_layer_surface_v1_destroy>;
using OutputPtr = std::unique_ptr<wl_output, OutputDeleter>;
using XdgOutputManagerPtr = Proxy<zxdg_output_manager_v1, zxdg_output_manager_v1_destroy>;
using XdgOutputPtr = Proxy<zxdg_output_v1, zxdg_output_v1_destroy>;

// A compositor that does not answer within this long is treated as busy:
// the picture waits for the next show, the agent does not.
constexpr int kAnswerMs = 1000;

struct Output {
    std::uint32_t name = 0;
    OutputPtr output;
    XdgOutputPtr xdg;
    int scale = 1;
    int modeWidth = 0;
    int modeHeight = 0;
    int xdgWidth = 0;
    int xdgHeight = 0;

    LogicalSize logicalSize() const {
        return LogicalOutputSize(modeWidth, modeHeight, scale, xdgWidth, xdgHeight);
    }
};

// Listeners are C callbacks: they only store what they are told, nothing in
// them throws.
const wl_output_listener kOutputListener = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   std::int32_t, const char*, const char*, std::int32_t) {},
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
            if (flags & WL_OUTPUT_MODE_CURRENT) {
                static_cast<Output*>(data)->modeWidth = width;
                static_cast<Output*>(data)->modeHeight = height;
            }
        },
    .done = [](void*, wl_output*) {},
    .scale = [](void* data, wl_output*,
                std::int32_t factor) { static_cast<Output*>(data)->scale = factor; },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener = {
    .logical_position = [](void*, zxdg_output_v1*, std::int32_t, std::int32_t) {},
    .logical_size =
        [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
            static_cast<Output*>(data)->xdgWidth = width;
            static_cast<Output*>(data)->xdgHeight = height;
        },
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

} // namespace

// One compositor connection, shared by the service and its windows so that a
// window never outlives the connection its objects belong to.
struct WaylandConnection {
    // Members go in reverse order: every object before the display.
    DisplayPtr display;
    RegistryPtr registry;
    CompositorPtr compositor;
    ShmPtr shm;
    LayerShellPtr layerShell;
    XdgOutputManagerPtr xdgOutputManager;
    std::vector<std::unique_ptr<Output>> outputs; // listeners keep their addresses
    // The output the last window was shown on, by its registry name; 0 when
    // not known.
    std::uint32_t currentOutput = 0;
    std::string name;
    bool lostReported = false;

    bool alive() const { return display && wl_display_get_error(display.get()) == 0; }

    // Says once that the compositor went; the windows stop drawing.
    bool lose() {
        if (!lostReported) {
            lostReported = true;
            zed::log("overlay: lost the connection to the Wayland compositor %s; the on-screen "
                     "display is not shown",
                     name.c_str());
        }
        return false;
    }

    // Sends what is queued, waits up to `timeoutMs` for something to read and
    // dispatches what arrived. False once the connection is gone.
    bool pump(int timeoutMs) {
        if (!alive())
            return lose();
        wl_display* d = display.get();
        while (wl_display_prepare_read(d) != 0) {
            if (wl_display_dispatch_pending(d) < 0)
                return lose();
        }
        // A full socket (EAGAIN) drains as the compositor reads; what is left
        // goes with the next flush.
        if (wl_display_flush(d) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(d);
            return lose();
        }
        pollfd fd{wl_display_get_fd(d), POLLIN, 0};
        const int ready = poll(&fd, 1, timeoutMs);
        if (ready <= 0) {
            wl_display_cancel_read(d);
            return ready == 0 || errno == EINTR || lose();
        }
        if (wl_display_read_events(d) < 0 || wl_display_dispatch_pending(d) < 0)
            return lose();
        return true;
    }

    // Reads what has arrived, without waiting.
    bool dispatchArrived() { return pump(0); }

    // Waits until the compositor has answered every request sent so far, or
    // `timeoutMs` passed (false then, or when the connection is gone).
    bool roundtrip(int timeoutMs = kAnswerMs) {
        if (!alive())
            return lose();
        bool done = false;
        static const wl_callback_listener listener = {
            .done = [](void* data, wl_callback*,
                       std::uint32_t) { *static_cast<bool*>(data) = true; },
        };
        CallbackPtr callback(wl_display_sync(display.get()));
        wl_callback_add_listener(callback.get(), &listener, &done);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0 || !pump(static_cast<int>(left)))
                return false;
        }
        return true;
    }

    Output* output(std::uint32_t registryName) {
        for (auto& o : outputs)
            if (o->name == registryName)
                return o.get();
        return nullptr;
    }
    Output* output(const wl_output* proxy) {
        for (auto& o : outputs)
            if (o->output.get() == proxy)
                return o.get();
        return nullptr;
    }

    // The output a window goes on. Where the pointer is cannot be learnt by a
    // surface that takes no input, and layer-shell places a surface made
    // without an output on the one the user last used: the output a window
    // was last shown on, else the first one, stands for it.
    Output* likelyOutput() {
        if (Output* o = output(currentOutput))
            return o;
        return outputs.empty() ? nullptr : outputs.front().get();
    }

    void watchOutput(Output& o) {
        if (xdgOutputManager && !o.xdg) {
            o.xdg.reset(
                zxdg_output_manager_v1_get_xdg_output(xdgOutputManager.get(), o.output.get()));
            zxdg_output_v1_add_listener(o.xdg.get(), &kXdgOutputListener, &o);
        }
    }

    void addGlobal(std::uint32_t id, const char* interface, std::uint32_t version) {
        auto bind = [&](const wl_interface* type, std::uint32_t highest) {
            return wl_registry_bind(registry.get(), id, type, std::min(version, highest));
        };
        const std::string_view which(interface);
        if (which == wl_compositor_interface.name && !compositor) {
            compositor.reset(static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4)));
        } else if (which == wl_shm_interface.name && !shm) {
            shm.reset(static_cast<wl_shm*>(bind(&wl_shm_interface, 1)));
        } else if (which == zwlr_layer_shell_v1_interface.name && !layerShell) {
            layerShell.reset(
                static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 4)));
        } else if (which == zxdg_output_manager_v1_interface.name && !xdgOutputManager) {
            xdgOutputManager.reset(
                static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 2)));
            for (auto& o : outputs)
                watchOutput(*o);
        } else if (which == wl_output_interface.name) {
            auto o = std::make_unique<Output>();
            o->name = id;
            o->output.reset(static_cast<wl_output*>(bind(&wl_output_interface, 3)));
            wl_output_add_listener(o->output.get(), &kOutputListener, o.get());
            watchOutput(*o);
            outputs.push_back(std::move(o));
        }
    }

    void removeGlobal(std::uint32_t id) {
        std::erase_if(outputs, [id](const auto& o) { return o->name == id; });
    }
};

namespace {

const wl_registry_listener kRegistryListener = {
    .global =
        [](void* data, wl_registry*, std::uint32_t id, const char* interface,
           std::uint32_t version) {
            static_cast<WaylandConnection*>(data)->addGlobal(id, interface, version);
        },
    .global_remove =
        [](void* data, wl_registry*, std::uint32_t id) {
            static_cast<WaylandConnection*>(data)->removeGlobal(id);
        },
};

// A picture's pixels in shared memory, as the compositor reads them.
class ShmBuffer {
public:
    // Null when the memory cannot be had (said on stderr).
    static std::unique_ptr<ShmBuffer> make(wl_shm* shm, int width, int height) {
        auto b = std::make_unique<ShmBuffer>();
        b->width_ = width;
        b->height_ = height;
        b->stride_ = 4 * width;
        b->size_ = static_cast<std::size_t>(b->stride_) * height;
        UniqueFd fd(memfd_create("zed-overlay", MFD_CLOEXEC));
        if (!fd || ftruncate(fd.get(), static_cast<off_t>(b->size_)) != 0) {
            zed::logErrno(errno, "overlay: no shared memory for a picture");
            return nullptr;
        }
        void* data = mmap(nullptr, b->size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
        if (data == MAP_FAILED) {
            zed::logErrno(errno, "overlay: cannot map a picture's memory");
            return nullptr;
        }
        b->data_ = static_cast<std::uint8_t*>(data);
        // The buffer keeps the memory; the pool and the descriptor can go.
        PoolPtr pool(wl_shm_create_pool(shm, fd.get(), static_cast<std::int32_t>(b->size_)));
        b->buffer_.reset(wl_shm_pool_create_buffer(pool.get(), 0, width, height, b->stride_,
                                                   WL_SHM_FORMAT_ARGB8888));
        static const wl_buffer_listener listener = {
            .release = [](void* data, wl_buffer*) { static_cast<ShmBuffer*>(data)->busy_ = false; },
        };
        wl_buffer_add_listener(b->buffer_.get(), &listener, b.get());
        return b;
    }

    ShmBuffer() = default;
    ~ShmBuffer() {
        buffer_.reset();
        if (data_ != nullptr)
            munmap(data_, size_);
    }
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    bool fits(int width, int height) const { return width == width_ && height == height_; }
    bool busy() const { return busy_; }

    // Copies the picture in, lower-left aligned; the rest is transparent.
    // wl_shm's ARGB8888 is cairo's premultiplied ARGB32 in native order.
    void fill(const PictureView& picture) {
        std::memset(data_, 0, size_);
        if (picture.empty() || picture.stride < 4 * picture.width)
            return;
        const int columns = std::min(picture.width, width_);
        const int rows = std::min(picture.height, height_);
        for (int y = 0; y < rows; ++y) {
            const std::uint8_t* from =
                picture.data + static_cast<std::size_t>(picture.height - rows + y) * picture.stride;
            std::uint8_t* to = data_ + static_cast<std::size_t>(height_ - rows + y) * stride_;
            std::memcpy(to, from, 4 * static_cast<std::size_t>(columns));
        }
    }

    // Hands the buffer to the compositor until it says it let go.
    wl_buffer* lend() {
        busy_ = true;
        return buffer_.get();
    }

private:
    BufferPtr buffer_;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    bool busy_ = false;
};

// Two buffers let one be drawn while the compositor still reads the other; a
// third covers a compositor slow to let go.
constexpr std::size_t kMaxBuffers = 3;

class WaylandOverlayWindow final : public OverlayWindow {
public:
    WaylandOverlayWindow(std::shared_ptr<WaylandConnection> connection, int width, int height)
        : c_(std::move(connection)), width_(width), height_(height) {
        if (Output* o = c_->likelyOutput())
            scale_ = PictureScaleForOutput(o->scale);
    }

    ~WaylandOverlayWindow() override {
        layer_.reset();
        surface_.reset();
        buffers_.clear();
        if (c_->alive())
            wl_display_flush(c_->display.get());
    }

    WaylandOverlayWindow(const WaylandOverlayWindow&) = delete;
    WaylandOverlayWindow& operator=(const WaylandOverlayWindow&) = delete;

    int width() const override { return width_; }
    int height() const override { return height_; }

    int scale() override {
        c_->dispatchArrived();
        // The output the surface is on once shown, else the likely one.
        Output* o = c_->output(outputName_);
        if (o == nullptr)
            o = c_->likelyOutput();
        if (o != nullptr)
            scale_ = PictureScaleForOutput(o->scale);
        return scale_;
    }

    void setFrameOrigin(OverlayPoint origin) override {
        margins_ = MarginsFromOrigin(origin);
        if (!mapped_ || !c_->alive())
            return;
        applyMargins();
        wl_surface_commit(surface_.get());
        c_->dispatchArrived();
    }

    void show(const PictureView& picture) override {
        if (!c_->dispatchArrived())
            return;
        if (closed_)
            forgetSurface();
        if (!layer_ && !makeSurface())
            return;
        if (!configured_ && !(c_->roundtrip() && configured_))
            return; // not answered yet: the next show tries again
        ShmBuffer* buffer = freeBuffer(width_ * scale_, height_ * scale_);
        if (buffer == nullptr)
            return;
        buffer->fill(picture);
        if (ackSerial_) {
            zwlr_layer_surface_v1_ack_configure(layer_.get(), *ackSerial_);
            ackSerial_.reset();
        }
        applyMargins();
        wl_surface_set_buffer_scale(surface_.get(), scale_);
        wl_surface_attach(surface_.get(), buffer->lend(), 0, 0);
        wl_surface_damage_buffer(surface_.get(), 0, 0, INT32_MAX, INT32_MAX);
        wl_surface_commit(surface_.get());
        mapped_ = true;
        c_->dispatchArrived();
    }

private:
    bool makeSurface() {
        surface_.reset(wl_compositor_create_surface(c_->compositor.get()));
        static const wl_surface_listener surfaceListener = {
            .enter =
                [](void* data, wl_surface*, wl_output* output) {
                    auto* self = static_cast<WaylandOverlayWindow*>(data);
                    if (Output* o = self->c_->output(output)) {
                        self->outputName_ = o->name;
                        self->c_->currentOutput = o->name;
                    }
                },
            .leave = [](void*, wl_surface*, wl_output*) {},
        };
        wl_surface_add_listener(surface_.get(), &surfaceListener, this);
        // An empty input region: pointer and touch go to whatever is below.
        RegionPtr empty(wl_compositor_create_region(c_->compositor.get()));
        wl_surface_set_input_region(surface_.get(), empty.get());

        // No output: the compositor picks the one the user last used.
        layer_.reset(zwlr_layer_shell_v1_get_layer_surface(
            c_->layerShell.get(), surface_.get(), nullptr, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
            "zed-overlay"));
        static const zwlr_layer_surface_v1_listener layerListener = {
            .configure =
                [](void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t,
                   std::uint32_t) {
                    auto* self = static_cast<WaylandOverlayWindow*>(data);
                    self->configured_ = true;
                    self->ackSerial_ = serial;
                },
            .closed =
                [](void* data, zwlr_layer_surface_v1*) {
                    static_cast<WaylandOverlayWindow*>(data)->closed_ = true;
                },
        };
        zwlr_layer_surface_v1_add_listener(layer_.get(), &layerListener, this);
        zwlr_layer_surface_v1_set_size(layer_.get(), static_cast<std::uint32_t>(width_),
                                       static_cast<std::uint32_t>(height_));
        // Drawing coordinates start at the output's lower-left corner.
        zwlr_layer_surface_v1_set_anchor(layer_.get(), ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                           ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
        // Not moved for panels: the margins are from the output's edges, as
        // the drawing coordinates are.
        zwlr_layer_surface_v1_set_exclusive_zone(layer_.get(), -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            layer_.get(), ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
        applyMargins();
        wl_surface_commit(surface_.get());
        return c_->alive();
    }

    void forgetSurface() {
        layer_.reset();
        surface_.reset();
        configured_ = closed_ = mapped_ = false;
        ackSerial_.reset();
        outputName_ = 0;
    }

    void applyMargins() {
        zwlr_layer_surface_v1_set_margin(layer_.get(), 0, 0, margins_.bottom, margins_.left);
    }

    // A buffer of that size the compositor does not hold: one kept, else a new
    // one, else (all held) the first let go within a bounded wait.
    ShmBuffer* freeBuffer(int width, int height) {
        // Buffers of another size (the scale changed) go once let go.
        std::erase_if(buffers_,
                      [&](const auto& b) { return !b->busy() && !b->fits(width, height); });
        for (int attempt = 0; attempt < 2; ++attempt) {
            for (auto& b : buffers_)
                if (!b->busy())
                    return b.get();
            if (buffers_.size() < kMaxBuffers) {
                auto made = ShmBuffer::make(c_->shm.get(), width, height);
                if (!made)
                    return nullptr;
                buffers_.push_back(std::move(made));
                return buffers_.back().get();
            }
            if (!c_->roundtrip())
                return nullptr;
        }
        return nullptr;
    }

    std::shared_ptr<WaylandConnection> c_;
    int width_;
    int height_;
    int scale_ = 1;
    LayerMargins margins_;
    std::vector<std::unique_ptr<ShmBuffer>> buffers_; // before the surface: it goes first
    SurfacePtr surface_;
    LayerSurfacePtr layer_;
    std::optional<std::uint32_t> ackSerial_;
    std::uint32_t outputName_ = 0;
    bool configured_ = false;
    bool closed_ = false;
    bool mapped_ = false;
};

} // namespace

WaylandOverlayService::WaylandOverlayService(std::string displayName)
    : displayName_(std::move(displayName)) {
    if (displayName_.empty()) {
        const char* env = std::getenv("WAYLAND_DISPLAY");
        displayName_ = env != nullptr && *env != '\0' ? env : "wayland-0";
    }
    auto c = std::make_shared<WaylandConnection>();
    c->name = displayName_;
    c->display.reset(wl_display_connect(displayName_.c_str()));
    if (!c->display) {
        problem_ = "cannot connect to the Wayland compositor " + displayName_;
        return;
    }
    c->registry.reset(wl_display_get_registry(c->display.get()));
    wl_registry_add_listener(c->registry.get(), &kRegistryListener, c.get());
    // The globals, then what the outputs say of themselves. A failure here
    // is said by the chooser, not as a lost connection.
    c->lostReported = true;
    if (!c->roundtrip() || !c->roundtrip()) {
        problem_ = "the Wayland compositor " + displayName_ + " did not answer";
        return;
    }
    c->lostReported = false;
    if (!c->layerShell)
        problem_ = "compositor has no layer-shell";
    else if (!c->compositor || !c->shm)
        problem_ = "compositor has no shared-memory surfaces";
    else
        connection_ = std::move(c);
}

WaylandOverlayService::~WaylandOverlayService() = default;

bool WaylandOverlayService::usable() const {
    return connection_ != nullptr;
}

OverlayRect WaylandOverlayService::visibleFrame() {
    if (!connection_ || !connection_->dispatchArrived())
        return {};
    const Output* o = connection_->likelyOutput();
    return o == nullptr ? OverlayRect{} : VisibleFrameFromOutput(o->logicalSize());
}

std::unique_ptr<OverlayWindow> WaylandOverlayService::createWindow(int width, int height) {
    if (!connection_ || !connection_->dispatchArrived())
        return nullptr;
    // Sizes a compositor takes, and buffers that stay within int at scale 8.
    width = std::clamp(width, 1, 4096);
    height = std::clamp(height, 1, 4096);
    return std::make_unique<WaylandOverlayWindow>(connection_, width, height);
}

} // namespace zed
