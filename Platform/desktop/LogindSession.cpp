#include "LogindSession.h"

#include "Platform/core/Log.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace zed {

namespace {

constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManagerInterface = "org.freedesktop.login1.Manager";
constexpr const char* kUserInterface = "org.freedesktop.login1.User";
constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";
constexpr const char* kSessionPathPrefix = "/org/freedesktop/login1/session";
constexpr const char* kSeatInterface = "org.freedesktop.login1.Seat";
constexpr const char* kSeatPathPrefix = "/org/freedesktop/login1/seat";
constexpr std::uint64_t kCallTimeoutUsec = 5 * 1000 * 1000;

void say(const std::string& text) {
    zed::log("%s", text.c_str());
}

// A property of type s.
int getString(sd_bus* bus, const char* path, const char* interface, const char* name,
              std::string* out, sd_bus_error* error) {
    char* value = nullptr;
    const int r = sd_bus_get_property_string(bus, LogindSession::kBusName, path, interface, name,
                                             error, &value);
    if (r >= 0) {
        *out = value ? value : "";
        std::free(value);
    }
    return r;
}

// A property of type (so): an id and an object path.
int getIdPath(sd_bus* bus, const char* path, const char* interface, const char* name,
              std::string* id, std::string* objectPath, sd_bus_error* error) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_get_property(bus, LogindSession::kBusName, path, interface, name, error, &raw,
                                "(so)");
    MessagePtr reply(raw);
    if (r < 0) {
        return r;
    }
    const char* i = nullptr;
    const char* p = nullptr;
    r = sd_bus_message_read(reply.get(), "(so)", &i, &p);
    if (r >= 0) {
        *id = i ? i : "";
        *objectPath = p ? p : "";
    }
    return r;
}

bool isUserSessionState(const std::string& state) {
    return state == "active" || state == "online";
}

} // namespace

LogindSession::LogindSession(RunLoop& loop, BusPtr bus, uid_t uid, std::string sessionId)
    : bus_(std::move(bus)), uid_(uid), sessionId_(std::move(sessionId)) {
    if (bus_) {
        sd_bus_set_method_call_timeout(bus_.get(), kCallTimeoutUsec);
        loop.attachBus(bus_.get());
    }
}

LogindSession::~LogindSession() {
    sessionSlot_.reset();
    seatSlot_.reset();
    managerSlot_.reset();
}

void LogindSession::failed(const std::string& what, int r, const sd_bus_error* error) {
    if (failing_) {
        return;
    }
    failing_ = true;
    const char* text =
        error && sd_bus_error_is_set(error) && error->message ? error->message : std::strerror(-r);
    say("cannot ask logind " + what + ": " + text);
}

std::optional<LogindSession::Found> LogindSession::find() {
    if (!bus_) {
        return std::nullopt;
    }
    Found found;
    {
        // ListUsers rather than GetUser: it names the user too, and a user
        // without a session is simply absent from it.
        BusError error;
        sd_bus_message* raw = nullptr;
        int r = sd_bus_call_method(bus_.get(), kBusName, kManagerPath, kManagerInterface,
                                   "ListUsers", error.get(), &raw, "");
        MessagePtr reply(raw);
        if (r < 0 || (r = sd_bus_message_enter_container(reply.get(), 'a', "(uso)")) < 0) {
            failed("for the logged-in users", r, error.get());
            return std::nullopt;
        }
        std::string user;
        std::uint32_t uid = 0;
        const char* name = nullptr;
        const char* path = nullptr;
        while ((r = sd_bus_message_read(reply.get(), "(uso)", &uid, &name, &path)) > 0) {
            if (uid == static_cast<std::uint32_t>(uid_)) {
                found.userName = name;
                user = path;
                break;
            }
        }
        if (r < 0) {
            failed("for the logged-in users", r, nullptr);
            return std::nullopt;
        }
        if (user.empty()) {
            return std::nullopt; // not logged in anywhere: no session
        }
        // The session the agent was started in, when it is this user's.
        if (!sessionId_.empty()) {
            BusError e;
            sd_bus_message* s = nullptr;
            MessagePtr sessionReply;
            if (sd_bus_call_method(bus_.get(), kBusName, kManagerPath, kManagerInterface,
                                   "GetSession", e.get(), &s, "s", sessionId_.c_str()) >= 0) {
                sessionReply.reset(s);
                const char* sessionPath = nullptr;
                std::uint32_t owner = 0;
                const char* ownerPath = nullptr;
                sd_bus_message* u = nullptr;
                BusError ue;
                if (sd_bus_message_read(sessionReply.get(), "o", &sessionPath) >= 0 &&
                    sd_bus_get_property(bus_.get(), kBusName, sessionPath, kSessionInterface,
                                        "User", ue.get(), &u, "(uo)") >= 0) {
                    MessagePtr userReply(u);
                    if (sd_bus_message_read(userReply.get(), "(uo)", &owner, &ownerPath) >= 0 &&
                        owner == static_cast<std::uint32_t>(uid_)) {
                        found.sessionPath = sessionPath;
                    }
                }
            }
        }
        // The user's graphical session, as logind picks it.
        if (found.sessionPath.empty()) {
            std::string id, path;
            BusError e;
            if (getIdPath(bus_.get(), user.c_str(), kUserInterface, "Display", &id, &path,
                          e.get()) >= 0 &&
                !id.empty()) {
                found.sessionPath = path;
            }
        }
        // Else the first session that has a seat, or the first at all.
        if (found.sessionPath.empty()) {
            BusError e;
            sd_bus_message* s = nullptr;
            if (sd_bus_get_property(bus_.get(), kBusName, user.c_str(), kUserInterface, "Sessions",
                                    e.get(), &s, "a(so)") >= 0) {
                MessagePtr sessions(s);
                std::vector<std::string> paths;
                if (sd_bus_message_enter_container(sessions.get(), 'a', "(so)") > 0) {
                    const char* id = nullptr;
                    const char* path = nullptr;
                    while (sd_bus_message_read(sessions.get(), "(so)", &id, &path) > 0) {
                        paths.emplace_back(path);
                    }
                }
                for (const std::string& path : paths) {
                    std::string seat, seatPath;
                    BusError se;
                    if (getIdPath(bus_.get(), path.c_str(), kSessionInterface, "Seat", &seat,
                                  &seatPath, se.get()) >= 0 &&
                        !seat.empty()) {
                        found.sessionPath = path;
                        break;
                    }
                }
                if (found.sessionPath.empty() && !paths.empty()) {
                    found.sessionPath = paths.front();
                }
            }
        }
    }
    if (found.sessionPath.empty()) {
        return std::nullopt;
    }
    sessionPath_ = found.sessionPath;
    return found;
}

std::optional<bool> LogindSession::readActive(const std::string& sessionPath) {
    BusError error;
    sd_bus_message* raw = nullptr;
    const int r = sd_bus_get_property(bus_.get(), kBusName, sessionPath.c_str(), kSessionInterface,
                                      "Active", error.get(), &raw, "b");
    MessagePtr reply(raw);
    int active = 0; // a D-Bus b reads into an int
    if (r < 0 || sd_bus_message_read(reply.get(), "b", &active) < 0) {
        failed("whether the session is active", r, error.get());
        return std::nullopt;
    }
    return active != 0;
}

Dictionary LogindSession::dictionary(const State& s) const {
    // A greeter or lock screen is not a finished login; a session that is
    // closing no longer counts.
    const bool loginDone = s.sessionClass == "user" && isUserSessionState(s.state);
    // On the console: the active session of a seat (not a remote login).
    const bool onConsole = loginDone && s.active && s.seat;
    return Dictionary{{kCGSSessionUserNameKey, Value(s.userName)},
                      {kCGSSessionUserIDKey, Value(static_cast<std::int32_t>(uid_))},
                      {kCGSessionLoginDoneKey, Value(loginDone)},
                      {kCGSessionOnConsoleKey, Value(onConsole)}};
}

std::optional<Dictionary> LogindSession::copyCurrentDictionary() {
    if (follow() && known_) {
        return state_ ? std::optional(dictionary(*state_)) : std::nullopt;
    }
    return askCurrentDictionary();
}

std::optional<Dictionary> LogindSession::askCurrentDictionary() {
    // Followed before asking, so that no change falls between the answers
    // and the first signal.
    const bool following = follow();
    known_ = false;
    const auto found = find();
    if (!found) {
        // Nobody logged in is an answer worth keeping; a failed question is not.
        known_ = following && !failing_;
        state_.reset();
        return std::nullopt;
    }
    State s;
    s.userName = found->userName;
    s.sessionPath = found->sessionPath;
    const char* path = s.sessionPath.c_str();
    BusError error;
    int r = getString(bus_.get(), path, kSessionInterface, "State", &s.state, error.get());
    if (r < 0) {
        // The session ended between the two questions.
        failed("about the session", r, error.get());
        return std::nullopt;
    }
    {
        BusError e;
        if (getString(bus_.get(), path, kSessionInterface, "Class", &s.sessionClass, e.get()) < 0) {
            s.sessionClass = "user";
        }
    }
    {
        BusError e;
        std::string seat, seatPath;
        getIdPath(bus_.get(), path, kSessionInterface, "Seat", &seat, &seatPath, e.get());
        s.seat = !seat.empty();
    }
    const auto active = readActive(s.sessionPath);
    if (!active) {
        return std::nullopt;
    }
    s.active = *active;
    failing_ = false;
    state_ = s;
    known_ = following;
    return dictionary(s);
}

bool LogindSession::follow() {
    if (managerSlot_ || followTried_ || !bus_) {
        return static_cast<bool>(managerSlot_);
    }
    followTried_ = true;
    // The matches name logind, but the bus delivers a signal addressed
    // straight to this connection whoever sent it: the sender is checked
    // against logind's connection as each signal arrives.
    if (!logind_) {
        // A logind that starts again knows nothing of what the old one said.
        logind_ = std::make_unique<registrybus::NameOwnerWatch>(
            bus_.get(), kBusName,
            [this](const std::string&, const std::string&) { known_ = false; });
        if (!logind_->start(kCallTimeoutUsec)) {
            logind_.reset();
            return false;
        }
    }
    const std::string propertiesChanged = std::string("type='signal',sender='") + kBusName +
                                          "',interface='org.freedesktop.DBus.Properties',member='"
                                          "PropertiesChanged',";
    const std::string rules[] = {
        propertiesChanged + "path_namespace='" + kSessionPathPrefix + "',arg0='" +
            kSessionInterface + "'",
        propertiesChanged + "path_namespace='" + kSeatPathPrefix + "',arg0='" + kSeatInterface +
            "'",
        std::string("type='signal',sender='") + kBusName + "',path='" + kManagerPath +
            "',interface='" + kManagerInterface + "'",
    };
    SlotPtr* slots[] = {&sessionSlot_, &seatSlot_, &managerSlot_};
    for (std::size_t i = 0; i < std::size(rules); ++i) {
        sd_bus_slot* slot = nullptr;
        const int r = sd_bus_add_match(bus_.get(), &slot, rules[i].c_str(), &onSignal, this);
        if (r < 0) {
            say(std::string("cannot follow the session's changes: ") + std::strerror(-r));
            sessionSlot_.reset();
            seatSlot_.reset();
            return false;
        }
        slots[i]->reset(slot);
    }
    return true;
}

bool LogindSession::setActivatedHandler(std::function<void()> handler) {
    handler_ = std::move(handler);
    if (!follow()) {
        return false;
    }
    if (!activeKnown_) {
        activeKnown_ = true;
        if (find()) {
            active_ = readActive(sessionPath_).value_or(false);
        }
    }
    return true;
}

int LogindSession::onSignal(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<LogindSession*>(userdata);
    try {
        self->signal(m);
    } catch (const std::exception& e) {
        self->known_ = false;
        say(std::string("a session change could not be followed: ") + e.what());
    } catch (...) {
        self->known_ = false;
        say("a session change could not be followed");
    }
    return 0;
}

void LogindSession::signal(sd_bus_message* m) {
    if (!logind_ || !logind_->sentByOwner(m)) {
        const char* sender = sd_bus_message_get_sender(m);
        say(std::string("ignored a session change from ") +
            (sender ? sender : "an unknown sender") + ", which is not logind");
        return;
    }
    // A session came or went (a login, a logout): who is ours is asked again.
    if (sd_bus_message_is_signal(m, kManagerInterface, "SessionNew") ||
        sd_bus_message_is_signal(m, kManagerInterface, "SessionRemoved")) {
        askCurrentDictionary();
        return;
    }
    const char* path = sd_bus_message_get_path(m);
    const char* interface = nullptr;
    if (!path ||
        !sd_bus_message_is_signal(m, "org.freedesktop.DBus.Properties", "PropertiesChanged") ||
        sd_bus_message_read(m, "s", &interface) < 0 || !interface) {
        return;
    }
    if (std::strcmp(interface, kSessionInterface) == 0) {
        sessionChanged(m, path);
        return;
    }
    if (std::strcmp(interface, kSeatInterface) != 0) {
        return;
    }
    // Another session became the seat's active one (a switch of users).
    bool switched = false;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") > 0) {
        while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
            const char* name = nullptr;
            if (sd_bus_message_read(m, "s", &name) < 0 || sd_bus_message_skip(m, "v") < 0) {
                return;
            }
            switched = switched || std::strcmp(name, "ActiveSession") == 0;
            sd_bus_message_exit_container(m);
        }
        sd_bus_message_exit_container(m);
    }
    if (sd_bus_message_enter_container(m, 'a', "s") > 0) {
        const char* name = nullptr;
        while (sd_bus_message_read(m, "s", &name) > 0) {
            switched = switched || std::strcmp(name, "ActiveSession") == 0;
        }
        sd_bus_message_exit_container(m);
    }
    if (switched) {
        askCurrentDictionary();
    }
}

void LogindSession::sessionChanged(sd_bus_message* m, const char* path) {
    // What the signal carries is applied as it comes: signals keep their
    // order, an answer read now may be newer than the ones still queued.
    std::optional<bool> active;
    std::optional<std::string> state, sessionClass;
    std::optional<bool> seat;
    bool reread = false; // a property said only that it changed
    if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) {
        return;
    }
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(m, "s", &name) < 0) {
            return;
        }
        if (std::strcmp(name, "Active") == 0 && sd_bus_message_enter_container(m, 'v', "b") > 0) {
            int value = 0; // a D-Bus b reads into an int
            if (sd_bus_message_read(m, "b", &value) < 0) {
                return;
            }
            active = value != 0;
            sd_bus_message_exit_container(m);
        } else if ((std::strcmp(name, "State") == 0 || std::strcmp(name, "Class") == 0) &&
                   sd_bus_message_enter_container(m, 'v', "s") > 0) {
            const char* value = nullptr;
            if (sd_bus_message_read(m, "s", &value) < 0) {
                return;
            }
            (name[0] == 'S' ? state : sessionClass) = value ? value : "";
            sd_bus_message_exit_container(m);
        } else if (std::strcmp(name, "Seat") == 0 &&
                   sd_bus_message_enter_container(m, 'v', "(so)") > 0) {
            const char* id = nullptr;
            const char* seatPath = nullptr;
            if (sd_bus_message_read(m, "(so)", &id, &seatPath) < 0) {
                return;
            }
            seat = id && *id;
            sd_bus_message_exit_container(m);
        } else if (sd_bus_message_skip(m, "v") < 0) {
            return;
        }
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    bool activeInvalidated = false;
    if (sd_bus_message_enter_container(m, 'a', "s") > 0) {
        const char* name = nullptr;
        while (sd_bus_message_read(m, "s", &name) > 0) {
            const bool isActive = std::strcmp(name, "Active") == 0;
            activeInvalidated = activeInvalidated || isActive;
            reread = reread || isActive || std::strcmp(name, "State") == 0 ||
                     std::strcmp(name, "Class") == 0 || std::strcmp(name, "Seat") == 0;
        }
        sd_bus_message_exit_container(m);
    }
    if (!active && !state && !sessionClass && !seat && !reread) {
        return; // idle and lock hints and the like: the dictionary stays
    }
    // Our session may be a new one since the last look (a new login).
    if (sessionPath_ != path) {
        askCurrentDictionary();
        if (sessionPath_ != path) {
            return;
        }
    }
    if (known_ && state_ && state_->sessionPath == path) {
        if (active) {
            state_->active = *active;
        }
        if (state) {
            state_->state = *state;
        }
        if (sessionClass) {
            state_->sessionClass = *sessionClass;
        }
        if (seat) {
            state_->seat = *seat;
        }
    }
    if (reread) {
        askCurrentDictionary();
    }
    if (!active && !activeInvalidated) {
        return;
    }
    if (!active) {
        active = readActive(sessionPath_);
        if (!active) {
            return;
        }
    }
    const bool wasActive = active_;
    active_ = *active;
    if (*active && !wasActive && handler_) {
        handler_();
    }
}

std::optional<Dictionary> ProcessLoginSession::copyCurrentDictionary() {
    const uid_t uid = ::getuid();
    std::string name;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result) == 0 && result) {
        name = result->pw_name;
    } else if (const char* user = std::getenv("USER")) {
        name = user;
    }
    return Dictionary{{kCGSSessionUserNameKey, Value(name)},
                      {kCGSSessionUserIDKey, Value(static_cast<std::int32_t>(uid))},
                      {kCGSessionLoginDoneKey, Value(true)},
                      {kCGSessionOnConsoleKey, Value(true)}};
}

std::unique_ptr<LoginSession> makeLogindSession(RunLoop& loop, BusPtr bus) {
    const char* fallback = "this process's user counts as logged in at the console";
    if (!bus) {
        bus = openBus(BusKind::System);
    }
    if (!bus) {
        say(std::string("no system bus, so no logind: ") + fallback);
        return std::make_unique<ProcessLoginSession>();
    }
    // logind is there when it owns its name or the bus can start it.
    BusError error;
    sd_bus_message* raw = nullptr;
    int r = sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", error.get(), &raw, "s",
                               LogindSession::kBusName);
    MessagePtr reply(raw);
    int owned = 0;
    if (r >= 0) {
        sd_bus_message_read(reply.get(), "b", &owned);
    }
    bool there = owned != 0;
    if (!there) {
        char** names = nullptr;
        if (sd_bus_list_names(bus.get(), nullptr, &names) >= 0 && names) {
            for (char** n = names; *n; ++n) {
                there = there || std::strcmp(*n, LogindSession::kBusName) == 0;
                std::free(*n);
            }
            std::free(names);
        }
    }
    if (!there) {
        say(std::string("logind is not running, so ") + fallback);
        sd_bus_unref(bus.release()); // dropped, not closed: it may be shared
        return std::make_unique<ProcessLoginSession>();
    }
    const char* sessionId = std::getenv("XDG_SESSION_ID");
    return std::make_unique<LogindSession>(loop, std::move(bus), ::getuid(),
                                           sessionId ? sessionId : "");
}

} // namespace zed
