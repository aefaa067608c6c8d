// What every pointer-settings backend shares, here rather than beside one: the
// agent and the GSettings module both need it, and only the module links GIO.
#include "PointerSettings.h"

#include "Platform/core/Log.h"

#include <algorithm>
#include <cmath>

namespace zed {

PointerControl::~PointerControl() = default;
DoubleClickSetting::~DoubleClickSetting() = default;

// --- What the backends share ------------------------------------------------

namespace {
constexpr double kSpeedScale = 1.5; // acceleration per unit of speed
} // namespace

double libinputSpeedFromAcceleration(double acceleration) {
    if (!std::isfinite(acceleration)) {
        return acceleration > 0 ? 1.0 : -1.0;
    }
    return std::clamp(acceleration / kSpeedScale - 1.0, -1.0, 1.0);
}

double accelerationFromLibinputSpeed(double speed) {
    return (std::clamp(speed, -1.0, 1.0) + 1.0) * kSpeedScale;
}

bool accelerationIsOff(double acceleration) {
    return !(acceleration >= 0.0);
}

void OnceReporter::say(const std::string& text) {
    if (!said_.insert(text).second) {
        return;
    }
    zed::log("%s: %s", desktop_.c_str(), text.c_str());
}

IOReturn NoDoubleClick::setDoubleClickTime(std::uint64_t) {
    report_.say("there is no double-click time to set, so applications keep their own");
    return kIOReturnUnsupported;
}

} // namespace zed
