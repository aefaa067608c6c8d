// One agent per user: two would apply the settings twice and type every
// mapped key twice. The agent holds an advisory lock on a file in the user's
// runtime folder ($XDG_RUNTIME_DIR, made per user by logind and removed at the
// user's last logout) for as long as it runs; a second agent finds it held.
#pragma once

#include "Platform/core/UniqueFd.h"

#include <string>
#include <sys/types.h>

namespace zed {

class AgentLock {
public:
    enum class State {
        Held,     // this process holds the lock
        Taken,    // another agent holds it
        Unplaced, // no runtime folder, or the file cannot be opened: no guard
    };

    // Claims the lock file "zed-agent.lock" in runtimeDir (null or empty:
    // Unplaced). Never blocks.
    static AgentLock claim(const char* runtimeDir);
    // For the agent: claims the lock in $XDG_RUNTIME_DIR and says on standard
    // error why there is no guard, or which agent runs already.
    static AgentLock claimForAgent();

    State state() const { return state_; }
    // The process that holds the lock (0 when unknown or not Taken).
    pid_t holder() const { return holder_; }
    const std::string& path() const { return path_; }
    // Why an Unplaced lock could not be placed (an errno value; 0: no folder).
    int error() const { return error_; }

private:
    AgentLock(State state, std::string path) : state_(state), path_(std::move(path)) {}

    State state_;
    std::string path_;
    UniqueFd fd_;
    pid_t holder_ = 0;
    int error_ = 0;
};

} // namespace zed
