#include "LogindSession.h"

#include <cstdio>
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
constexpr std::uint64_t kCallTimeoutUsec = 5 * 1000 * 1000;

void say(const std::string& text) {
    std::fprintf(stderr, "zed: %s\n", text.c_str());
    std::fflush(stderr);
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
    slot_.reset();
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

std::optional<Dictionary> LogindSession::copyCurrentDictionary() {
    const auto found = find();
    if (!found) {
        return std::nullopt;
    }
    const char* path = found->sessionPath.c_str();
    std::string state, sessionClass, seat, seatPath;
    BusError error;
    int r = getString(bus_.get(), path, kSessionInterface, "State", &state, error.get());
    if (r < 0) {
        // The session ended between the two questions.
        failed("about the session", r, error.get());
        return std::nullopt;
    }
    {
        BusError e;
        if (getString(bus_.get(), path, kSessionInterface, "Class", &sessionClass, e.get()) < 0) {
            sessionClass = "user";
        }
    }
    {
        BusError e;
        getIdPath(bus_.get(), path, kSessionInterface, "Seat", &seat, &seatPath, e.get());
    }
    const auto active = readActive(found->sessionPath);
    if (!active) {
        return std::nullopt;
    }
    failing_ = false;
    // A greeter or lock screen is not a finished login; a session that is
    // closing no longer counts.
    const bool loginDone = sessionClass == "user" && isUserSessionState(state);
    // On the console: the active session of a seat (not a remote login).
    const bool onConsole = loginDone && *active && !seat.empty();
    return Dictionary{{kCGSSessionUserNameKey, Value(found->userName)},
                      {kCGSSessionUserIDKey, Value(static_cast<std::int32_t>(uid_))},
                      {kCGSessionLoginDoneKey, Value(loginDone)},
                      {kCGSessionOnConsoleKey, Value(onConsole)}};
}

bool LogindSession::setActivatedHandler(std::function<void()> handler) {
    handler_ = std::move(handler);
    if (slot_ || !bus_) {
        return static_cast<bool>(slot_);
    }
    // The match names logind, but the bus delivers a signal addressed
    // straight to this connection whoever sent it: the sender is checked
    // against logind's connection as each signal arrives.
    if (!logind_) {
        logind_ = std::make_unique<registrybus::NameOwnerWatch>(bus_.get(), kBusName, nullptr);
        if (!logind_->start(kCallTimeoutUsec)) {
            logind_.reset();
            return false;
        }
    }
    const std::string rule = std::string("type='signal',sender='") + kBusName +
                             "',interface='org.freedesktop.DBus.Properties',member='"
                             "PropertiesChanged',path_namespace='" +
                             kSessionPathPrefix + "',arg0='" + kSessionInterface + "'";
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &onPropertiesChanged, this);
    if (r < 0) {
        say(std::string("cannot follow session switches: ") + std::strerror(-r));
        return false;
    }
    slot_.reset(slot);
    if (find()) {
        active_ = readActive(sessionPath_).value_or(false);
    }
    return true;
}

int LogindSession::onPropertiesChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    try {
        static_cast<LogindSession*>(userdata)->propertiesChanged(m);
    } catch (const std::exception& e) {
        say(std::string("session-activated handler failed: ") + e.what());
    } catch (...) {
        say("session-activated handler failed");
    }
    return 0;
}

void LogindSession::propertiesChanged(sd_bus_message* m) {
    if (!logind_ || !logind_->sentByOwner(m)) {
        const char* sender = sd_bus_message_get_sender(m);
        say(std::string("ignored a session change from ") +
            (sender ? sender : "an unknown sender") + ", which is not logind");
        return;
    }
    const char* path = sd_bus_message_get_path(m);
    if (!path) {
        return;
    }
    const char* interface = nullptr;
    if (sd_bus_message_read(m, "s", &interface) < 0) {
        return;
    }
    std::optional<bool> active;
    bool invalidated = false;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) {
        return;
    }
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(m, "s", &name) < 0) {
            return;
        }
        if (std::strcmp(name, "Active") == 0 && sd_bus_message_enter_container(m, 'v', "b") > 0) {
            int value = 0;
            if (sd_bus_message_read(m, "b", &value) < 0) {
                return;
            }
            active = value != 0;
            sd_bus_message_exit_container(m);
        } else if (sd_bus_message_skip(m, "v") < 0) {
            return;
        }
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    if (sd_bus_message_enter_container(m, 'a', "s") > 0) {
        const char* name = nullptr;
        while (sd_bus_message_read(m, "s", &name) > 0) {
            invalidated = invalidated || std::strcmp(name, "Active") == 0;
        }
        sd_bus_message_exit_container(m);
    }
    if (!active && !invalidated) {
        return;
    }
    // Our session may be a new one since the last look (a new login).
    if (sessionPath_ != path && (!find() || sessionPath_ != path)) {
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
