// Which application is in front, as the desktop tells it: its desktop-file
// id or app_id, else its X class, else its executable's name; an empty name
// for a surface that is no application window (an overview, a launcher, a
// lock screen). Window titles are never read.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace zed {

class RunLoop;

// Follows the desktop until it is destroyed, calling back on the run loop.
class FocusTracker {
public:
    virtual ~FocusTracker() = default;
    // Why it has told no application yet when it knows (the desktop's piece
    // that would tell does not answer); empty otherwise.
    virtual std::string whyUntold() const { return {}; }
};

using FocusCallback = std::function<void(const std::string& application)>;
// Starts following the desktop; null when this desktop tells nothing (or
// cannot be reached), with the reason in *why.
using FocusTrackerFactory =
    std::function<std::unique_ptr<FocusTracker>(RunLoop&, FocusCallback, std::string* why)>;

// The agent's answer to the pane's "which application is in front?".
struct FrontApplication {
    bool agentRuns = false;
    std::string application; // empty when the agent cannot tell, or has not heard yet
    std::string why;         // why it cannot tell, in the agent's words; empty when not known
    bool operator==(const FrontApplication&) const = default;
};

// The pane's side: asks the agent, bounded (blocking for at most a second or
// two).
class FrontApplicationQuery {
public:
    virtual ~FrontApplicationQuery() = default;
    virtual FrontApplication ask() = 0;
};

} // namespace zed
