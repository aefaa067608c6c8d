#include "Driver/Acceleration.h"

#include <cmath>

namespace zed::driver {

double accelerationGain(double speed, double amount) {
    if (!(amount > 0.0) || !(speed > kThreshold)) {
        return 1.0;
    }
    const double e = speed - kThreshold;
    const double e2 = e * e;
    return 1.0 + amount * kMaxExtraGain * e2 / (e2 + kHalfGainExcess * kHalfGainExcess);
}

std::int64_t accelerationGainFixed(std::int64_t dx, std::int64_t dy, double amount) {
    // Exact enough in double for any motion a frame can carry, and cheaper than hypot.
    const auto x = static_cast<double>(dx);
    const auto y = static_cast<double>(dy);
    const double speed = std::sqrt(x * x + y * y);
    return std::llround(accelerationGain(speed, amount) * 65536.0);
}

} // namespace zed::driver
