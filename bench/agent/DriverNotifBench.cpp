// The driver message handler on fakes: typing a 16-item macro, and one
// on-the-fly step (without the overlay) with the domain in memory and on disk.
#include "Daemon/Application.h"
#include "Daemon/CallBacks.h"
#include "Daemon/SensDrawer.h"
#include "Platform/DriverInterface.h"
#include "Platform/FakeIOKit.h"
#include "Platform/FakeOverlayWindow.h"
#include "Platform/FilePreferenceDomains.h"
#include "Platform/Platform.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct Agent {
    zed::FakeRegistry* registry = nullptr;
    zed::FakeHidSystem* hid = nullptr;
    zed::io_service_t driver = 0;
    zed::FakeOverlayService overlays;
    std::string folder;

    explicit Agent(bool domainOnDisk) {
        Application::sApp.reset();
        auto p = zed::Platform::makeFake();
        auto reg = std::make_unique<zed::FakeRegistry>();
        auto hidSystem = std::make_unique<zed::FakeHidSystem>();
        registry = reg.get();
        hid = hidSystem.get();
        p->setRegistry(std::move(reg));
        p->setHidSystem(std::move(hidSystem));
        if (domainOnDisk) {
            char tmpl[] = "/tmp/zed-bench-XXXXXX";
            folder = mkdtemp(tmpl);
            p->setPreferences(std::make_unique<zed::FilePreferenceDomains>(folder));
        }
        zed::Platform::install(std::move(p));
        zed::SetOverlayWindowService(&overlays);

        Application* app = Application::GetApp();
        app->hidSystem = registry->addService(zed::driver::kHidSystemClassName, {});
        driver = registry->addService(zed::driver::kDriverClassName, {});
        app->driverService = driver;
        app->prefs = std::make_unique<Preferences>();
    }
    ~Agent() {
        Application::sApp.reset();
        zed::SetOverlayWindowService(nullptr);
        zed::Platform::install(nullptr);
        if (!folder.empty()) {
            std::filesystem::remove_all(folder);
        }
    }
    void apply(zed::Data element, zed::Dictionary more = {}) {
        more["ButtonMappings"] = zed::Value(zed::Array{zed::Value(std::move(element))});
        Application::GetApp()->prefs->SendPrefsToDriver(&more);
    }
};

zed::Data macro16() {
    // Command down, then 7 keys pressed and released, Command up: 16 items.
    std::string list = "567";
    for (int key = 0; key < 7; ++key) {
        list += "," + std::to_string(0x200 + key) + "," + std::to_string(0x100 + key);
    }
    list += ",311";
    zed::Data d(list.size() + 1, 4);
    std::copy(list.begin(), list.end(), d.begin() + 1);
    return d;
}

void BM_DriverNotifMacro16(benchmark::State& state) {
    Agent agent(false);
    agent.apply(macro16());
    for (auto _ : state) {
        DriverNotifProc(nullptr, agent.driver, 0x0000, 0);
        agent.hid->events.clear();
    }
}
BENCHMARK(BM_DriverNotifMacro16);

void BM_DriverNotifStep(benchmark::State& state) {
    const bool onDisk = state.range(0) != 0;
    Agent agent(onDisk);
    agent.apply(zed::Data{7},
                {{"OtfsOnScreen", zed::Value(std::int32_t{0})}, {"Sensitivity", zed::Value(5.0)}});
    std::uint32_t word = 0x0001;
    for (auto _ : state) {
        DriverNotifProc(nullptr, agent.driver, word, 0);
        word = word == 0x0001 ? 0x00FF : 0x0001; // up and down in turn
    }
    state.SetLabel(onDisk ? "domain on disk (3 flushed writes)" : "domain in memory");
}
BENCHMARK(BM_DriverNotifStep)->Arg(0)->Arg(1);

} // namespace
