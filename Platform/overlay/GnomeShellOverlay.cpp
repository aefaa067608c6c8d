#include "GnomeShellOverlay.h"

#include "Platform/core/Log.h"
#include "Platform/dbus/DBusValue.h"
#include "X11OverlayWindow.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace zed {

namespace {

constexpr const char* kShell = "org.gnome.Shell";
// The shell answers at once or is busy drawing: the agent does not wait long.
constexpr std::uint64_t kAskUsec = 500 * 1000;
// Larger than any screen: a shell that says more is not believed.
constexpr int kMaxSide = 32767;

// The main monitor and its area without panels, in the shell's stage
// coordinates (origin at the top left).
struct ShellGeometry {
    X11Rect monitor;
    X11Rect workArea;
};

class ShellLink {
public:
    explicit ShellLink(BusPtr bus) : bus_(std::move(bus)) {}

    // Asks the extension where the main monitor is; false (said once) when
    // it does not answer.
    bool refresh(std::string* why) {
        MessagePtr call, reply;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* m = nullptr;
        int r = sd_bus_message_new_method_call(bus_.get(), &m, kShell, kShellOverlayPath,
                                               kShellOverlayInterface, "Geometry");
        call.reset(m);
        m = nullptr;
        if (r >= 0) {
            r = sd_bus_call(bus_.get(), call.get(), kAskUsec, &error, &m);
            reply.reset(m);
        }
        int v[8] = {};
        if (r >= 0) {
            r = sd_bus_message_read(reply.get(), "iiiiiiii", &v[0], &v[1], &v[2], &v[3], &v[4],
                                    &v[5], &v[6], &v[7]);
        }
        if (r < 0) {
            *why = error.message ? error.message : std::strerror(-r);
            sd_bus_error_free(&error);
            return false;
        }
        const auto side = [](int s) { return std::clamp(s, 0, kMaxSide); };
        const auto at = [](int p) { return std::clamp(p, -kMaxSide, kMaxSide); };
        geometry_.monitor = {at(v[0]), at(v[1]), side(v[2]), side(v[3])};
        if (geometry_.monitor.width == 0 || geometry_.monitor.height == 0) {
            *why = "the shell reports no monitor";
            return false;
        }
        // The work area within the monitor, relative to it; the whole monitor
        // when the shell's makes no sense.
        X11Rect work{at(v[4]) - geometry_.monitor.x, at(v[5]) - geometry_.monitor.y, side(v[6]),
                     side(v[7])};
        if (work.x < 0 || work.y < 0 || work.width == 0 || work.height == 0 ||
            work.x + work.width > geometry_.monitor.width ||
            work.y + work.height > geometry_.monitor.height) {
            work = {0, 0, geometry_.monitor.width, geometry_.monitor.height};
        }
        geometry_.workArea = work;
        known_ = true;
        return true;
    }

    bool known() const { return known_; }
    const ShellGeometry& geometry() const { return geometry_; }

    // Sends without waiting for the shell: the display must never hold up
    // the agent. A bus that went away is said once.
    void send(const char* member, const std::function<int(sd_bus_message*)>& body) {
        sd_bus_message* m = nullptr;
        int r = sd_bus_message_new_method_call(bus_.get(), &m, kShell, kShellOverlayPath,
                                               kShellOverlayInterface, member);
        MessagePtr call(m);
        if (r >= 0) {
            r = body(call.get());
        }
        if (r >= 0) {
            r = sd_bus_message_set_expect_reply(call.get(), 0);
        }
        if (r >= 0) {
            r = sd_bus_send(bus_.get(), call.get(), nullptr);
        }
        if (r >= 0) {
            r = sd_bus_flush(bus_.get());
        }
        if (r < 0 && !told_) {
            told_ = true;
            zed::logErrno(-r, "overlay: cannot reach GNOME Shell's ZED extension");
        }
    }

    bool open() const { return sd_bus_is_open(bus_.get()) > 0; }

private:
    BusPtr bus_;
    ShellGeometry geometry_;
    bool known_ = false;
    bool told_ = false;
};

class ShellOverlayWindow final : public OverlayWindow {
public:
    ShellOverlayWindow(std::shared_ptr<ShellLink> link, int width, int height)
        : link_(std::move(link)), width_(width), height_(height),
          pixels_(static_cast<std::size_t>(width) * height * 4) {}
    ~ShellOverlayWindow() override {
        if (shown_) {
            link_->send("Hide", [](sd_bus_message*) { return 0; });
        }
    }

    int width() const override { return width_; }
    int height() const override { return height_; }

    void setFrameOrigin(OverlayPoint origin) override {
        origin_ = origin;
        if (shown_) {
            send();
        }
    }

    void show(const PictureView& picture) override {
        // The picture's lower-left corner at the window's; the rest is clear.
        std::fill(pixels_.begin(), pixels_.end(), 0);
        if (!picture.empty()) {
            const int columns = std::min(width_, picture.width);
            const int rows = std::min(height_, picture.height);
            for (int row = 0; row < rows; ++row) {
                const int from = picture.height - rows + row;
                const int to = height_ - rows + row;
                std::memcpy(&pixels_[static_cast<std::size_t>(to) * width_ * 4],
                            picture.data + static_cast<std::size_t>(from) * picture.stride,
                            static_cast<std::size_t>(columns) * 4);
            }
        }
        shown_ = true;
        send();
    }

private:
    void send() {
        const ShellGeometry& g = link_->geometry();
        const X11Rect at = TopLeftFromOrigin(origin_, width_, height_, g.monitor.height);
        link_->send("Show", [&](sd_bus_message* m) {
            int r = sd_bus_message_append(m, "iiiii", g.monitor.x + at.x, g.monitor.y + at.y,
                                          width_, height_, width_ * 4);
            return r < 0 ? r : sd_bus_message_append_array(m, 'y', pixels_.data(), pixels_.size());
        });
    }

    std::shared_ptr<ShellLink> link_;
    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_; // premultiplied ARGB32, rows from the top
    OverlayPoint origin_;
    bool shown_ = false;
};

class ShellOverlayService final : public OverlayWindowService {
public:
    explicit ShellOverlayService(std::shared_ptr<ShellLink> link) : link_(std::move(link)) {}

    OverlayRect visibleFrame() override {
        if (!link_->known() && !refresh()) {
            return {};
        }
        const ShellGeometry& g = link_->geometry();
        return VisibleFrameFromWorkArea(g.workArea, g.monitor.height);
    }

    std::unique_ptr<OverlayWindow> createWindow(int width, int height) override {
        // Asked again for each window: monitors come and go between displays.
        if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || !refresh()) {
            return nullptr;
        }
        return std::make_unique<ShellOverlayWindow>(link_, width, height);
    }

private:
    bool refresh() {
        std::string why;
        if (link_->open() && link_->refresh(&why)) {
            told_ = false;
            return true;
        }
        if (!told_) {
            told_ = true;
            zed::log("overlay: GNOME Shell's ZED extension does not answer (%s); the on-screen "
                     "display is not shown",
                     why.empty() ? "the session bus is gone" : why.c_str());
        }
        return false;
    }

    std::shared_ptr<ShellLink> link_;
    bool told_ = false;
};

} // namespace

std::unique_ptr<OverlayWindowService> makeGnomeShellOverlayService(std::string* why) {
    BusPtr bus = openBus(BusKind::Session);
    if (!bus) {
        *why = "no session bus";
        return nullptr;
    }
    auto link = std::make_shared<ShellLink>(std::move(bus));
    if (!link->refresh(why)) {
        return nullptr;
    }
    return std::make_unique<ShellOverlayService>(std::move(link));
}

} // namespace zed
