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
};

using FocusCallback = std::function<void(const std::string& application)>;
// Starts following the desktop; null when this desktop tells nothing (or
// cannot be reached), with the reason in *why.
using FocusTrackerFactory =
    std::function<std::unique_ptr<FocusTracker>(RunLoop&, FocusCallback, std::string* why)>;

} // namespace zed
