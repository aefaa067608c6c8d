// The driver's own pointer acceleration, used when the agent turns the
// desktop's off ("MasterAccelOn" = 1). The input carries no timestamps, so the
// speed is the motion of one input frame in device counts: a mouse reports at
// a fixed rate, and counts per report are proportional to hand speed.
//
//   gain(v) = 1 + amount * kMaxExtraGain * e^2 / (e^2 + kHalfGainExcess^2),
//   e = max(0, v - kThreshold)
//
// Gain 1 at rest and for slow, precise moves up to kThreshold counts per
// frame; then a smooth rise (no kink at the threshold) towards
// 1 + amount * kMaxExtraGain, half of the extra reached kHalfGainExcess counts
// above the threshold. Monotonic in speed for every amount >= 0.
#pragma once

#include <cstdint>

namespace zed::driver {

inline constexpr double kThreshold = 1.0;       // counts per frame still moved 1:1
inline constexpr double kHalfGainExcess = 16.0; // counts per frame above it for half the extra gain
inline constexpr double kMaxExtraGain = 2.0;    // extra gain per unit of amount at full speed

// The gain for a frame that moved `speed` counts, with acceleration `amount`
// ("HIDPointerAcceleration", 0 ... 3). Amounts below zero count as zero.
double accelerationGain(double speed, double amount);

// The same in 16.16 fixed point (65536 = gain 1) for a frame's motion (dx, dy).
std::int64_t accelerationGainFixed(std::int64_t dx, std::int64_t dy, double amount);

} // namespace zed::driver
