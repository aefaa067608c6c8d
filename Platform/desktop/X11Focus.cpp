#include "X11Focus.h"

#include "Platform/core/RunLoop.h"
#include "SwayFocus.h"
#include "XcbHandles.h"

#include <cstdlib>
#include <cstring>
#include <sys/epoll.h>

namespace zed {

namespace {

template <typename T> using Reply = XcbReply<T>;

class X11FocusTracker : public FocusTracker {
public:
    X11FocusTracker(XcbConnectionPtr c, FocusCallback callback)
        : c_(std::move(c)), callback_(std::move(callback)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_.get())).data->root;
        active_ = atom("_NET_ACTIVE_WINDOW");
        pid_ = atom("_NET_WM_PID");
        gtkId_ = atom("_GTK_APPLICATION_ID");
        kdeFile_ = atom("_KDE_NET_WM_DESKTOP_FILE");
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c_.get(), root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c_.get());
    }
    bool listen(RunLoop& loop) {
        loop_ = &loop;
        source_ = loop.addFd(xcb_get_file_descriptor(c_.get()), EPOLLIN,
                             [this](std::uint32_t) { readEvents(); });
        report();
        readEvents();
        return source_ != nullptr;
    }

private:
    xcb_atom_t atom(const char* name) {
        Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
            c_.get(), xcb_intern_atom(c_.get(), 0, static_cast<std::uint16_t>(strlen(name)), name),
            nullptr));
        return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
    // A property's bytes; empty when the window has none.
    std::string property(xcb_get_property_cookie_t cookie) {
        Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(c_.get(), cookie, nullptr));
        if (!r || r->type == XCB_ATOM_NONE) {
            return {};
        }
        const auto* bytes = static_cast<const char*>(xcb_get_property_value(r.get()));
        return std::string(bytes, static_cast<std::size_t>(xcb_get_property_value_length(r.get())));
    }
    std::string property(xcb_window_t w, xcb_atom_t name, xcb_atom_t type) {
        return property(xcb_get_property(c_.get(), 0, w, name, type, 0, 1024));
    }
    std::string application(xcb_window_t w) {
        // Asked all at once: one round trip to the server, not four.
        const std::pair<xcb_atom_t, xcb_atom_t> asked[] = {{gtkId_, XCB_GET_PROPERTY_TYPE_ANY},
                                                           {kdeFile_, XCB_GET_PROPERTY_TYPE_ANY},
                                                           {XCB_ATOM_WM_CLASS, XCB_ATOM_STRING},
                                                           {pid_, XCB_ATOM_CARDINAL}};
        xcb_get_property_cookie_t cookies[4];
        for (std::size_t i = 0; i < 4; ++i) {
            cookies[i] = xcb_get_property(c_.get(), 0, w, asked[i].first, asked[i].second, 0, 1024);
        }
        std::string values[4];
        for (std::size_t i = 0; i < 4; ++i) {
            values[i] = property(cookies[i]);
        }
        for (const std::string& id : {values[0], values[1]}) {
            if (!id.empty()) {
                return id.substr(0, id.find('\0'));
            }
        }
        // WM_CLASS is the instance and the class, each ending in a zero byte.
        const std::string& wmClass = values[2];
        if (const auto end = wmClass.find('\0'); end != std::string::npos) {
            const std::string cls = wmClass.substr(end + 1, wmClass.find('\0', end + 1) - end - 1);
            if (!cls.empty()) {
                return cls;
            }
        }
        std::uint32_t pid = 0;
        if (values[3].size() == 4) {
            std::memcpy(&pid, values[3].data(), 4);
        }
        return processName(pid);
    }
    void report() {
        const std::string w = property(root_, active_, XCB_ATOM_WINDOW);
        std::uint32_t window = 0;
        if (w.size() == 4) {
            std::memcpy(&window, w.data(), 4);
        }
        // No window in front (the desktop itself): no application.
        std::string app = window ? application(window) : std::string();
        if (app != last_) {
            last_ = app;
            callback_(app);
        }
    }
    void readEvents() {
        // A reply waited for queues the events that came before it, which the
        // socket then no longer announces: look again after each report.
        for (bool changed = true; changed;) {
            changed = false;
            while (Reply<xcb_generic_event_t> e{xcb_poll_for_event(c_.get())}) {
                changed |= (e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                           reinterpret_cast<xcb_property_notify_event_t*>(e.get())->atom == active_;
            }
            if (xcb_connection_has_error(c_.get())) {
                // The server went away; nothing more will come. The source
                // is not dropped while it runs.
                end_ = loop_->addTimer(RunLoop::now(), [this] { source_.reset(); });
                return;
            }
            if (changed) {
                report();
            }
        }
    }

    XcbConnectionPtr c_;
    FocusCallback callback_;
    RunLoop* loop_ = nullptr;
    RunLoop::SourcePtr source_, end_;
    xcb_window_t root_ = 0;
    xcb_atom_t active_ = 0, pid_ = 0, gtkId_ = 0, kdeFile_ = 0;
    std::string last_ = "\x01"; // reports the first application, even none
};

} // namespace

std::unique_ptr<FocusTracker> makeX11FocusTracker(RunLoop& loop, FocusCallback callback,
                                                  std::string* why) {
    XcbConnectionPtr c(xcb_connect(nullptr, nullptr));
    if (!c || xcb_connection_has_error(c.get())) {
        *why = "no X display to ask";
        return nullptr;
    }
    auto tracker = std::make_unique<X11FocusTracker>(std::move(c), std::move(callback));
    if (!tracker->listen(loop)) {
        *why = "the X display cannot be listened to";
        return nullptr;
    }
    return tracker;
}

} // namespace zed
