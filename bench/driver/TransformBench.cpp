// The event transform's cost per frame against a floor: copying the same
// frame into an Output, which any driver must do. Frames are timed in batches
// (a single frame is below the clock's resolution); the figures are the p50
// and p99 of the per-frame time over the batches, short enough that few of
// them are cut by the scheduler.
#include "Driver/Transform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <linux/input-event-codes.h>
#include <span>
#include <vector>

namespace {

using zed::driver::InputEvent;
using zed::driver::Output;

constexpr int kBatch = 64;
constexpr int kBatches = 50000;

// Keeps the compiler from dropping work whose result is never read.
void keep(const Output& out) {
    asm volatile("" : : "r"(out.events.data()) : "memory");
}

struct Figures {
    double p50;
    double p99;
};

// Times `work(i)` per frame in nanoseconds.
template <typename Work> Figures measure(Work work) {
    std::vector<double> perFrame;
    perFrame.reserve(kBatches);
    for (int i = 0; i < kBatch * 10; ++i) { // warm up caches and branch predictors
        work(i);
    }
    for (int b = 0; b < kBatches; ++b) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kBatch; ++i) {
            work(i);
        }
        const auto end = std::chrono::steady_clock::now();
        perFrame.push_back(std::chrono::duration<double, std::nano>(end - start).count() / kBatch);
    }
    std::sort(perFrame.begin(), perFrame.end());
    return {perFrame[perFrame.size() / 2], perFrame[perFrame.size() * 99 / 100]};
}

zed::driver::DriverSettings typicalSettings() {
    zed::driver::DriverSettings s;
    s.sensitivity = 642253.0 / 65536.0; // 9.8 as the agent sends it
    s.accelerationOn = 1;
    s.acceleration = 0.5;
    s.scrollWheelSpeed = 5.0;
    s.buttonMappings = {{0}, {1}, {7}, {5}, {5}, {5}, {5}};
    return s;
}

void report(const char* name, std::span<const InputEvent> a, std::span<const InputEvent> b,
            const zed::driver::DriverSettings& settings = typicalSettings()) {
    zed::driver::Transform transform(settings);
    Output out;
    const Figures t = measure([&](int i) {
        out.clear();
        transform.frame((i & 1) ? b : a, out);
        keep(out);
    });
    const Figures floor = measure([&](int i) {
        out.clear();
        const auto frame = (i & 1) ? b : a;
        out.events.insert(out.events.end(), frame.begin(), frame.end());
        keep(out);
    });
    std::printf("%-28s transform p50 %6.1f ns p99 %6.1f ns | copy p50 %6.1f ns p99 %6.1f ns | "
                "ratio p50 %.2f\n",
                name, t.p50, t.p99, floor.p50, floor.p99, t.p50 / floor.p50);
}

} // namespace

int main() {
    // Motion, as most frames are: scaled and accelerated.
    const InputEvent slow[] = {{EV_REL, REL_X, 3}, {EV_REL, REL_Y, -2}, {EV_SYN, SYN_REPORT, 0}};
    const InputEvent fast[] = {{EV_REL, REL_X, -25}, {EV_REL, REL_Y, 14}, {EV_SYN, SYN_REPORT, 0}};
    report("motion (scaled, accelerated)", slow, fast);
    report("motion (default settings)", slow, fast, {});
    // A wheel detent with both codes, scaled by half.
    const InputEvent up[] = {
        {EV_REL, REL_WHEEL, 1}, {EV_REL, REL_WHEEL_HI_RES, 120}, {EV_SYN, SYN_REPORT, 0}};
    const InputEvent down[] = {
        {EV_REL, REL_WHEEL, -1}, {EV_REL, REL_WHEEL_HI_RES, -120}, {EV_SYN, SYN_REPORT, 0}};
    report("wheel (scaled)", up, down);
    // A remapped click: press and release in turn.
    const InputEvent press[] = {
        {EV_MSC, MSC_SCAN, 0x90002}, {EV_KEY, BTN_RIGHT, 1}, {EV_SYN, SYN_REPORT, 0}};
    const InputEvent release[] = {
        {EV_MSC, MSC_SCAN, 0x90002}, {EV_KEY, BTN_RIGHT, 0}, {EV_SYN, SYN_REPORT, 0}};
    report("button (mapped)", press, release);
    return 0;
}
