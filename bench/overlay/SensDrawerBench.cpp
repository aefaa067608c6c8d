// Draw of the sensitivity overlay. With DISPLAY set, each Draw renders and
// presents the panel in a real window; without it, Draw only renders.
#include "Daemon/SensDrawer.h"
#include "Platform/overlay/X11OverlayWindow.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>

namespace {

bool HaveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

// One service for every run, as in the agent: one connection, one message.
zed::OverlayWindowService& Service() {
    static const std::unique_ptr<zed::OverlayWindowService> service =
        HaveDisplay()
            ? std::unique_ptr<zed::OverlayWindowService>(std::make_unique<zed::X11OverlayService>())
            : zed::makeHeadlessOverlayService();
    return *service;
}

void BM_DrawTwoValues(benchmark::State& state) {
    zed::SetOverlayWindowService(&Service());
    zed::SensDrawer drawer;
    drawer.BeginDraw();
    double values[] = {3.4, 7.0};
    for (auto _ : state) {
        drawer.Draw(values, 2);
        // Step like the sensitivity buttons do, so each picture differs.
        values[0] = values[0] >= 9.8 ? 1.0 : values[0] + 0.2;
    }
    drawer.EndDraw();
    zed::SetOverlayWindowService(nullptr);
    state.SetLabel(HaveDisplay() ? "render+present" : "render only");
}
BENCHMARK(BM_DrawTwoValues)->Unit(benchmark::kMicrosecond);

void BM_CreateSliderImageTwoValues(benchmark::State& state) {
    const double values[] = {3.4, 7.0};
    for (auto _ : state) {
        zed::CairoSurfacePtr picture = zed::createSliderImage(values, 2);
        benchmark::DoNotOptimize(picture.get());
    }
}
BENCHMARK(BM_CreateSliderImageTwoValues)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
