#include "SwayFocus.h"

#include "Platform/core/RunLoop.h"
#include "SwayIpc.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sys/epoll.h>
#include <sys/socket.h>

namespace zed {

namespace {

// A window's application; empty for a node that is no window.
std::string application(const sway::Json& node) {
    const sway::Json* type = node.member("type");
    if (!type || (type->string != "con" && type->string != "floating_con")) {
        return {};
    }
    if (const sway::Json* id = node.member("app_id"); id && !id->string.empty()) {
        return id->string;
    }
    const sway::Json* props = node.member("window_properties");
    if (const sway::Json* cls = props ? props->member("class") : nullptr;
        cls && !cls->string.empty()) {
        return cls->string;
    }
    const sway::Json* pid = node.member("pid");
    return pid && pid->kind == sway::Json::Kind::Number
               ? processName(static_cast<long>(pid->number))
               : std::string();
}

const sway::Json* focusedNode(const sway::Json& node, int depth = 0) {
    if (const sway::Json* f = node.member("focused"); f && f->boolean) {
        return &node;
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        const sway::Json* list = node.member(children);
        if (!list || depth >= 64) {
            continue;
        }
        for (const sway::Json& child : list->items) {
            if (const sway::Json* found = focusedNode(child, depth + 1)) {
                return found;
            }
        }
    }
    return nullptr;
}

class SwayFocusTracker : public FocusTracker {
public:
    explicit SwayFocusTracker(FocusCallback callback) : callback_(std::move(callback)) {}

    bool start(RunLoop& loop, const std::string& path, std::string* why) {
        // Subscribed first: a change after the tree is read is an event.
        events_ = sway::connectTo(path);
        const auto subscribed =
            events_ ? sway::request(events_.get(), sway::kSubscribe, "[\"window\"]") : std::nullopt;
        UniqueFd query = sway::connectTo(path);
        const auto tree = query ? sway::request(query.get(), sway::kGetTree, "") : std::nullopt;
        const auto ok = subscribed ? sway::parseJson(*subscribed) : std::nullopt;
        const sway::Json* success = ok ? ok->member("success") : nullptr;
        if (!tree || !success || !success->boolean) {
            *why = "sway's IPC socket (" +
                   (path.empty() ? std::string("SWAYSOCK is not set") : path) + ") does not answer";
            return false;
        }
        loop_ = &loop;
        source_ = loop.addFd(events_.get(), EPOLLIN, [this](std::uint32_t) { readEvents(); });
        if (const auto json = sway::parseJson(*tree)) {
            const sway::Json* focused = focusedNode(*json);
            report(focused ? application(*focused) : std::string());
        }
        return source_ != nullptr;
    }

private:
    void report(const std::string& app) {
        if (app != last_) {
            last_ = app;
            callback_(app);
        }
    }
    // From the source's own callback: it is dropped once that has returned.
    void stop() {
        end_ = loop_->addTimer(RunLoop::now(), [this] {
            source_.reset();
            events_.reset();
        });
    }
    void readEvents() {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::recv(events_.get(), chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) {
                buffer_.append(chunk, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                stop(); // sway went away; nothing more will come
            }
            break;
        }
        bool broken = false;
        while (auto message = sway::takeMessage(buffer_, &broken)) {
            const auto event = message->first == sway::kWindowEvent
                                   ? sway::parseJson(message->second)
                                   : std::nullopt;
            const sway::Json* change = event ? event->member("change") : nullptr;
            const sway::Json* container = event ? event->member("container") : nullptr;
            if (change && change->string == "focus" && container) {
                report(application(*container));
            }
        }
        if (broken) {
            stop();
        }
    }

    FocusCallback callback_;
    UniqueFd events_;
    RunLoop* loop_ = nullptr;
    RunLoop::SourcePtr source_, end_;
    std::string buffer_;
    std::string last_ = "\x01"; // reports the first application, even none
};

} // namespace

std::string processName(long pid) {
    std::string name;
    if (pid > 0) {
        std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/comm"), name);
    }
    return name;
}

std::unique_ptr<FocusTracker> makeSwayFocusTracker(RunLoop& loop, FocusCallback callback,
                                                   std::string* why,
                                                   const std::string& socketPath) {
    std::string path = socketPath;
    if (path.empty()) {
        const char* sock = std::getenv("SWAYSOCK");
        path = sock ? sock : "";
    }
    auto tracker = std::make_unique<SwayFocusTracker>(std::move(callback));
    if (!tracker->start(loop, path, why)) {
        return nullptr;
    }
    return tracker;
}

} // namespace zed
