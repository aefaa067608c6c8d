// A login session whose answers the test sets, and the session-activated
// event it sends when the test says so.
#pragma once

#include "Platform/core/Session.h"

namespace zed {

class ScriptedLoginSession : public LoginSession {
public:
    std::optional<Dictionary> copyCurrentDictionary() override;
    bool setActivatedHandler(std::function<void()> handler) override;

    // Empty means no session at all.
    void setSession(std::optional<Dictionary> session) { session_ = std::move(session); }
    void setSession(const std::string& user, int uid, bool loginDone, bool onConsole);
    // Each poll runs this first (a test script moving the session on).
    void setBeforeCopy(std::function<void(int poll)> f) { beforeCopy_ = std::move(f); }
    void activate(); // the session-activated event
    int polls() const { return polls_; }

private:
    std::optional<Dictionary> session_;
    std::function<void()> activated_;
    std::function<void(int)> beforeCopy_;
    int polls_ = 0;
};

} // namespace zed
