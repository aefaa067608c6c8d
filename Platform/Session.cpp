#include "Session.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace zed {

LoginSession::~LoginSession() = default;
ProcessControl::~ProcessControl() = default;

std::optional<Dictionary> ScriptedLoginSession::copyCurrentDictionary() {
    if (beforeCopy_) {
        beforeCopy_(polls_);
    }
    ++polls_;
    return session_;
}

bool ScriptedLoginSession::setActivatedHandler(std::function<void()> handler) {
    activated_ = std::move(handler);
    return true;
}

void ScriptedLoginSession::setSession(const std::string& user, int uid, bool loginDone,
                                      bool onConsole) {
    session_ = Dictionary{{kCGSSessionUserNameKey, Value(user)},
                          {kCGSSessionUserIDKey, Value(static_cast<std::int32_t>(uid))},
                          {kCGSessionLoginDoneKey, Value(loginDone)},
                          {kCGSessionOnConsoleKey, Value(onConsole)}};
}

void ScriptedLoginSession::activate() {
    if (activated_) {
        activated_();
    }
}

uid_t PosixProcessControl::getuid() {
    return ::getuid();
}

int PosixProcessControl::setuid(uid_t uid) {
    return ::setuid(uid);
}

void PosixProcessControl::sleep(unsigned seconds) {
    ::sleep(seconds);
}

void PosixProcessControl::exit(int status) {
    std::fflush(nullptr);
    std::exit(status);
}

} // namespace zed
