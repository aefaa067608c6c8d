// The login session and the process's own identity: who is logged in at the
// console, and the session-activated event that fast user switching gives.
#pragma once

#include "Value.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>

namespace zed {

// Keys of the session dictionary.
inline constexpr const char* kCGSSessionUserNameKey = "kCGSSessionUserNameKey";
inline constexpr const char* kCGSSessionUserIDKey = "kCGSSessionUserIDKey";
inline constexpr const char* kCGSessionLoginDoneKey = "kCGSessionLoginDoneKey";
inline constexpr const char* kCGSessionOnConsoleKey = "kCGSessionOnConsoleKey";

class LoginSession {
public:
    virtual ~LoginSession();
    // The current session's dictionary, or empty when there is no session.
    // A session that follows its service's change signals answers from what
    // they last said, without a round trip: the run loop keeps it current.
    virtual std::optional<Dictionary> copyCurrentDictionary() = 0;
    // Asks the session service now. For a wait that does not run the loop,
    // where the change signals stay undelivered meanwhile.
    virtual std::optional<Dictionary> askCurrentDictionary() { return copyCurrentDictionary(); }
    // Called on the run loop when this user's session becomes active again.
    // False when the platform cannot report it.
    virtual bool setActivatedHandler(std::function<void()> handler) = 0;
};

// No session service: every query answers that there is no session.
class NoLoginSession : public LoginSession {
public:
    std::optional<Dictionary> copyCurrentDictionary() override { return std::nullopt; }
    bool setActivatedHandler(std::function<void()>) override { return false; }
};

// The POSIX calls the agent makes about its own process.
class ProcessControl {
public:
    // An entry of the password database.
    struct User {
        std::string name;
        uid_t uid = 0;
        gid_t gid = 0; // the primary group
        std::string home;
    };

    virtual ~ProcessControl();
    virtual uid_t getuid() = 0;
    virtual uid_t geteuid() = 0;
    // The password database's entry for the user id, or empty.
    virtual std::optional<User> userById(uid_t uid) = 0;
    // Each returns 0, or -1 with errno set, as in POSIX.
    virtual int initgroups(const std::string& user, gid_t group) = 0;
    virtual int setgid(gid_t gid) = 0;
    virtual int setuid(uid_t uid) = 0;
    // Sets an environment variable; an empty value removes it.
    virtual void setEnvironment(const std::string& name,
                                const std::optional<std::string>& value) = 0;
    // Sleeps for the seconds given, or until one of the wake signals arrives,
    // which it then takes. The caller keeps those signals blocked (a run-loop
    // signal source does), or their default action would end the process
    // outside the sleep. Returns the signal, or 0 when the time ran out.
    virtual int sleep(unsigned seconds, std::span<const int> wakeSignals) = 0;
    // Ends the process (a test's stand-in may stop the run loop instead).
    virtual void exit(int status) = 0;
};

class PosixProcessControl : public ProcessControl {
public:
    uid_t getuid() override;
    uid_t geteuid() override;
    std::optional<User> userById(uid_t uid) override;
    int initgroups(const std::string& user, gid_t group) override;
    int setgid(gid_t gid) override;
    int setuid(uid_t uid) override;
    void setEnvironment(const std::string& name, const std::optional<std::string>& value) override;
    int sleep(unsigned seconds, std::span<const int> wakeSignals) override;
    void exit(int status) override;
};

} // namespace zed
