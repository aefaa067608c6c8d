// Overlay windows on a real X server. Run under Xvfb; without DISPLAY the
// display tests skip. The lost-server test starts a private Xvfb of its own.
#include "Platform/overlay/X11OverlayWindow.h"

#include "Daemon/SensDrawer.h"
#include "PixelSupport.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace zed::test {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;
struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

// Another client changes things in its own time: wait for a condition a
// while, never failing on how long it took.
bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

xcb_atom_t Intern(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
}

const double kTwo[] = {3.4, 7.0};
const double kOne[] = {5.0};

class X11OverlayWindowTest : public testing::Test {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0')
            GTEST_SKIP() << "DISPLAY is not set: window tests need an X server (xvfb-run)";
        // One connection for the whole program: a server left without clients
        // resets itself and refuses connections for a moment.
        // A server that another test program just left may still be resetting.
        static Connection shared = [] {
            Connection c(xcb_connect(nullptr, nullptr));
            for (int i = 0; i < 50 && xcb_connection_has_error(c.get()) != 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                c.reset(xcb_connect(nullptr, nullptr));
            }
            return c;
        }();
        ASSERT_EQ(xcb_connection_has_error(shared.get()), 0) << "cannot connect to " << display;
        conn_ = shared.get();
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
        workArea_ = Intern(conn_, "_NET_WORKAREA");
        xcb_delete_property(conn_, screen_->root, Intern(conn_, "_NET_CURRENT_DESKTOP"));
        setWorkArea(0, 24, screen_->width_in_pixels, screen_->height_in_pixels - 24 - 40);
        service_ = std::make_unique<X11OverlayService>();
        SetOverlayWindowService(service_.get());
    }

    void TearDown() override {
        SetOverlayWindowService(nullptr);
        service_.reset();
        if (conn_ != nullptr && screen_ != nullptr) {
            xcb_delete_property(conn_, screen_->root, workArea_);
            xcb_flush(conn_);
        }
    }

    void setWorkArea(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h) {
        const std::uint32_t area[] = {x, y, w, h};
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, screen_->root, workArea_,
                            XCB_ATOM_CARDINAL, 32, 4, area);
        Reply<xcb_get_input_focus_reply_t>(
            xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    }

    // Top-level windows named like the overlay's, bottom to top.
    std::vector<xcb_window_t> overlayWindows() {
        std::vector<xcb_window_t> found;
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(conn_, xcb_query_tree(conn_, screen_->root), nullptr));
        if (!tree)
            return found;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            Reply<xcb_get_property_reply_t> name(xcb_get_property_reply(
                conn_,
                xcb_get_property(conn_, 0, children[i], XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 64),
                nullptr));
            if (name && std::string(static_cast<const char*>(xcb_get_property_value(name.get())),
                                    xcb_get_property_value_length(name.get())) == "zed overlay")
                found.push_back(children[i]);
        }
        return found;
    }

    xcb_window_t theWindow() {
        xcb_window_t window = XCB_WINDOW_NONE;
        EXPECT_TRUE(Eventually([&] {
            auto windows = overlayWindows();
            window = windows.size() == 1 ? windows[0] : xcb_window_t{XCB_WINDOW_NONE};
            return window != XCB_WINDOW_NONE && viewable(window);
        })) << "no single, mapped overlay window";
        return window;
    }

    bool viewable(xcb_window_t w) {
        Reply<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(conn_, xcb_get_window_attributes(conn_, w), nullptr));
        return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    Reply<xcb_get_geometry_reply_t> geometry(xcb_window_t w) {
        return Reply<xcb_get_geometry_reply_t>(
            xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, w), nullptr));
    }

    bool at(xcb_window_t w, int x, int y, int width) {
        auto g = geometry(w);
        return g && g->x == x && g->y == y && g->width == width;
    }

    int screenWidth() const { return screen_->width_in_pixels; }
    int screenHeight() const { return screen_->height_in_pixels; }

    xcb_connection_t* conn_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_atom_t workArea_ = XCB_ATOM_NONE;
    std::unique_ptr<X11OverlayService> service_;
};

// --- Creation ---------------------------------------------------------------

TEST_F(X11OverlayWindowTest, NoWindowUntilTheFirstDraw) {
    SensDrawer drawer;
    drawer.BeginDraw();
    EXPECT_TRUE(overlayWindows().empty());
    drawer.Draw(kTwo, 2);
    EXPECT_NE(theWindow(), static_cast<xcb_window_t>(XCB_WINDOW_NONE));
}

TEST_F(X11OverlayWindowTest, WindowIsOverrideRedirectArgbAndOnTop) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    const xcb_window_t w = theWindow();
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(conn_, xcb_get_window_attributes(conn_, w), nullptr));
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(attributes->override_redirect);
    auto g = geometry(w);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->depth, 32);
    EXPECT_EQ(g->border_width, 0);

    // Topmost child of the root, and marked above for whoever looks.
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(conn_, xcb_query_tree(conn_, screen_->root), nullptr));
    ASSERT_TRUE(tree);
    const int n = xcb_query_tree_children_length(tree.get());
    ASSERT_GT(n, 0);
    EXPECT_EQ(xcb_query_tree_children(tree.get())[n - 1], w);
    Reply<xcb_get_property_reply_t> state(xcb_get_property_reply(
        conn_, xcb_get_property(conn_, 0, w, Intern(conn_, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 16),
        nullptr));
    ASSERT_TRUE(state);
    ASSERT_EQ(xcb_get_property_value_length(state.get()), 4);
    EXPECT_EQ(*static_cast<xcb_atom_t*>(xcb_get_property_value(state.get())),
              Intern(conn_, "_NET_WM_STATE_ABOVE"));
}

TEST_F(X11OverlayWindowTest, ClicksPassThrough) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    const xcb_window_t w = theWindow();
    Reply<xcb_shape_get_rectangles_reply_t> input(xcb_shape_get_rectangles_reply(
        conn_, xcb_shape_get_rectangles(conn_, w, XCB_SHAPE_SK_INPUT), nullptr));
    ASSERT_TRUE(input);
    EXPECT_EQ(input->rectangles_len, 0u);

    // The pointer right over the panel is not over the window.
    auto g = geometry(w);
    ASSERT_TRUE(g);
    xcb_warp_pointer(conn_, XCB_WINDOW_NONE, screen_->root, 0, 0, 0, 0,
                     static_cast<std::int16_t>(g->x + 20), static_cast<std::int16_t>(g->y + 80));
    Reply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(conn_, xcb_query_pointer(conn_, screen_->root), nullptr));
    ASSERT_TRUE(pointer);
    EXPECT_EQ(pointer->root_x, g->x + 20);
    EXPECT_NE(pointer->child, w);
}

// --- Size and position -------------------------------------------------------

TEST_F(X11OverlayWindowTest, PlacedFromTheWorkArea) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    const xcb_window_t w = theWindow();
    // Work area (0, 24, W, H - 64): visible bottom 40 from below, so the
    // panel's lower edge is 140 above the screen's bottom.
    const int x = screenWidth() - 100;
    const int y = screenHeight() - 140 - 174;
    EXPECT_TRUE(Eventually([&] { return at(w, x, y, 46); }));
    auto g = geometry(w);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->x, x);
    EXPECT_EQ(g->y, y);
    EXPECT_EQ(g->width, 46);
    EXPECT_EQ(g->height, 174);
}

TEST_F(X11OverlayWindowTest, UsesTheWidthAloneAndFollowsChanges) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    const xcb_window_t w = theWindow();
    // Work area starting 100 from the left and 30 from the top: x is its
    // width less 100, not its right edge.
    setWorkArea(100, 30, 800, 600);
    drawer.Draw(kTwo, 2);
    const int y = 30 + 600 - 100 - 174;
    EXPECT_TRUE(Eventually([&] { return at(w, 700, y, 46); }))
        << "at " << geometry(w)->x << "," << geometry(w)->y;
}

TEST_F(X11OverlayWindowTest, WithoutWorkAreaTheScreenIsUsed) {
    xcb_delete_property(conn_, screen_->root, workArea_);
    xcb_flush(conn_);
    SensDrawer drawer;
    drawer.Draw(kOne, 1);
    const xcb_window_t w = theWindow();
    EXPECT_TRUE(
        Eventually([&] { return at(w, screenWidth() - 100, screenHeight() - 100 - 174, 26); }));
}

TEST_F(X11OverlayWindowTest, OneValueAfterTwoKeepsTheWidthAndIsLeftAligned) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    drawer.Draw(kOne, 1);
    const xcb_window_t w = theWindow();
    auto g = geometry(w);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->width, 46);
    EXPECT_EQ(overlayWindows().size(), 1u);

    // The window's pixels: the one-value picture at the left, then nothing.
    CairoSurfacePtr expected = createSliderImage(kOne, 1);
    const unsigned char* data = cairo_image_surface_get_data(expected.get());
    const int stride = cairo_image_surface_get_stride(expected.get());
    EXPECT_TRUE(Eventually([&] {
        Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
            conn_, xcb_get_image(conn_, XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0, 0, 46, 174, ~0u),
            nullptr));
        if (!image || xcb_get_image_data_length(image.get()) != 46 * 174 * 4)
            return false;
        const std::uint8_t* shown = xcb_get_image_data(image.get());
        for (int y = 0; y < 174; ++y) {
            if (std::memcmp(shown + y * 46 * 4, data + y * stride, 26 * 4) != 0)
                return false;
            for (int x = 26 * 4; x < 46 * 4; ++x)
                if (shown[y * 46 * 4 + x] != 0)
                    return false;
        }
        return true;
    })) << "the window does not show the picture";
}

// --- Closing -----------------------------------------------------------------

TEST_F(X11OverlayWindowTest, EndDrawClosesAndIsSafeTwice) {
    SensDrawer drawer;
    drawer.Draw(kTwo, 2);
    theWindow();
    drawer.EndDraw();
    drawer.EndDraw();
    EXPECT_TRUE(Eventually([&] { return overlayWindows().empty(); }));
    drawer.Draw(kOne, 1);
    EXPECT_NE(theWindow(), static_cast<xcb_window_t>(XCB_WINDOW_NONE));
}

TEST_F(X11OverlayWindowTest, DestroyingWhileShownClosesTheWindow) {
    {
        SensDrawer drawer;
        drawer.BeginDraw();
        drawer.Draw(kTwo, 2);
        theWindow();
    }
    EXPECT_TRUE(Eventually([&] { return overlayWindows().empty(); }));
}

// --- A server that goes away -------------------------------------------------

// A private Xvfb, so that it can be stopped under the overlay's feet.
class PrivateXvfb {
public:
    PrivateXvfb() {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            if (fds[1] != 3)
                dup2(fds[1], 3);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten",
                   "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char buffer[32] = {};
        std::size_t got = 0;
        while (pid_ > 0 && got < sizeof buffer - 1) {
            const ssize_t n = read(fds[0], buffer + got, sizeof buffer - 1 - got);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
            if (std::memchr(buffer, '\n', got) != nullptr)
                break;
        }
        close(fds[0]);
        if (got > 0 && buffer[got - 1] == '\n')
            display_ = ":" + std::string(buffer, got - 1);
    }
    ~PrivateXvfb() { stop(); }
    PrivateXvfb(const PrivateXvfb&) = delete;
    PrivateXvfb& operator=(const PrivateXvfb&) = delete;

    const std::string& display() const { return display_; }
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    std::string display_;
};

TEST(X11OverlayLostServer, DrawingGoesOnWithOneMessage) {
    PrivateXvfb xvfb;
    if (xvfb.display().empty())
        GTEST_SKIP() << "Xvfb could not be started";
    X11OverlayService service(xvfb.display());
    SetOverlayWindowService(&service);
    {
        SensDrawer drawer;
        drawer.BeginDraw();
        drawer.Draw(kTwo, 2);
        EXPECT_GT(service.visibleFrame().width, 0);

        xvfb.stop();
        testing::internal::CaptureStderr();
        // Writing to the dead server must neither raise SIGPIPE nor block.
        for (int i = 0; i < 3; ++i)
            drawer.Draw(kOne, 1);
        drawer.EndDraw();
        SensDrawer next;
        next.Draw(kTwo, 2);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("overlay:"), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "more than one message: " << err;
    }
    SetOverlayWindowService(nullptr);
}

} // namespace
} // namespace zed::test
