#include "ScriptedLoginSession.h"

#include <utility>

namespace zed {

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

} // namespace zed
