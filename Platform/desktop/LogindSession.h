// The login session of a Linux desktop, from logind's D-Bus API on the
// system bus: this user's graphical session, whether its login is done,
// whether it is the active session of its seat (on the console), and the
// session-activated event when a switch of users brings it back.
#pragma once

#include "Platform/core/RunLoop.h"
#include "Platform/core/Session.h"
#include "Platform/dbus/DBusClient.h"
#include "Platform/dbus/DBusValue.h"

#include <string>
#include <sys/types.h>

namespace zed {

class LogindSession : public LoginSession {
public:
    static constexpr const char* kBusName = "org.freedesktop.login1";

    // Attaches the connection to the loop, where the session's signals are
    // then delivered. The session is the one named sessionId when it is
    // this user's (an agent started inside the session knows it), else the
    // user's display session, else the first of the user's sessions with a seat.
    LogindSession(RunLoop& loop, BusPtr bus, uid_t uid, std::string sessionId = {});
    ~LogindSession() override;

    // Kept from logind's signals (the session's properties, the seat's
    // active session, sessions coming and going) once first asked.
    std::optional<Dictionary> copyCurrentDictionary() override;
    std::optional<Dictionary> askCurrentDictionary() override;
    bool setActivatedHandler(std::function<void()> handler) override;

    // The object path of the session last found; empty when none.
    const std::string& sessionPath() const { return sessionPath_; }

private:
    struct Found {
        std::string userName;
        std::string sessionPath;
    };
    // What the dictionary is made of.
    struct State {
        std::string userName;
        std::string sessionPath;
        std::string state;
        std::string sessionClass;
        bool seat = false;
        bool active = false;
    };
    std::optional<Found> find();
    std::optional<bool> readActive(const std::string& sessionPath);
    void failed(const std::string& what, int r, const sd_bus_error* error);
    // Subscribes to logind's signals (once); whether they are followed.
    bool follow();
    Dictionary dictionary(const State& s) const;
    static int onSignal(sd_bus_message* m, void* userdata, sd_bus_error* error);
    void signal(sd_bus_message* m);
    void sessionChanged(sd_bus_message* m, const char* path);

    BusPtr bus_;
    uid_t uid_;
    std::string sessionId_;
    std::string sessionPath_;
    std::function<void()> handler_;
    // Who logind is: its signals are heard from that connection only.
    std::unique_ptr<registrybus::NameOwnerWatch> logind_;
    SlotPtr sessionSlot_, seatSlot_, managerSlot_;
    bool followTried_ = false;
    // The session as logind last said (empty: none); known only while its
    // signals are followed and the logind that sent them still runs.
    bool known_ = false;
    std::optional<State> state_;
    bool activeKnown_ = false; // active_ was looked up once the handler was set
    bool active_ = false;      // as the last signal or look-up left it
    bool failing_ = false;     // the last query failed: said once, not at every poll
};

// Where there is no logind: the process's own user, logged in and on the
// console (whatever started the agent did so inside that user's session).
class ProcessLoginSession : public LoginSession {
public:
    std::optional<Dictionary> copyCurrentDictionary() override;
    bool setActivatedHandler(std::function<void()>) override { return false; }
};

// logind when the system bus has it, else the process's own user, with one
// message saying so.
// `bus`, when given, is the process's system bus connection to share.
std::unique_ptr<LoginSession> makeLogindSession(RunLoop& loop, BusPtr bus = {});

} // namespace zed
