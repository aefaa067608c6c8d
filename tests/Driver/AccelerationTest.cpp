// The driver's acceleration curve: gain 1 at rest, never falling with speed.
#include "Driver/Acceleration.h"

#include <cmath>
#include <gtest/gtest.h>

namespace zed::test {
using namespace zed::driver;

namespace {

TEST(AccelerationCurve, GainOneAtRestAndForPreciseMoves) {
    for (const double amount : {0.0, 0.25, 1.0, 3.0}) {
        EXPECT_EQ(accelerationGain(0.0, amount), 1.0) << amount;
        EXPECT_EQ(accelerationGain(kThreshold, amount), 1.0) << amount;
        EXPECT_EQ(accelerationGainFixed(1, 0, amount), 65536) << amount;
        EXPECT_EQ(accelerationGainFixed(0, -1, amount), 65536) << amount;
    }
}

TEST(AccelerationCurve, MonotonicAndBoundedForEveryAmount) {
    for (const double amount : {0.1, 0.25, 0.5, 1.0, 2.0, 3.0}) {
        double last = 1.0;
        for (double speed = 0.0; speed < 2000.0; speed += 0.25) {
            const double g = accelerationGain(speed, amount);
            EXPECT_GE(g, last) << amount << " at " << speed;
            EXPECT_LT(g, 1.0 + amount * kMaxExtraGain) << amount << " at " << speed;
            last = g;
        }
        // It does accelerate: half the extra gain at kHalfGainExcess above the threshold.
        EXPECT_DOUBLE_EQ(accelerationGain(kThreshold + kHalfGainExcess, amount),
                         1.0 + amount * kMaxExtraGain / 2);
    }
}

TEST(AccelerationCurve, MoreAmountMoreGain) {
    for (double speed = 2.0; speed < 200.0; speed *= 1.5) {
        EXPECT_LT(accelerationGain(speed, 0.5), accelerationGain(speed, 1.0)) << speed;
    }
}

TEST(AccelerationCurve, NoAmountOrNonsenseIsNoAcceleration) {
    for (const double amount : {0.0, -1.0, std::nan("")}) {
        EXPECT_EQ(accelerationGain(100.0, amount), 1.0) << amount;
    }
    EXPECT_EQ(accelerationGain(std::nan(""), 1.0), 1.0);
}

} // namespace
} // namespace zed::test
