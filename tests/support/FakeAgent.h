// The agent as device discovery leaves it, on a fake platform: an in-memory
// registry with a HID system and a mouse driver, a recording HID system, a
// settings store and a recording overlay. For benchmarks and fuzzing.
#pragma once

#include "Daemon/Application.h"
#include "Daemon/SensDrawer.h"
#include "FakeIOKit.h"
#include "FakeOverlayWindow.h"
#include "FakePlatform.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/dbus/Platform.h"
#include "ScriptedLoginSession.h"

#include <memory>

struct FakeAgent {
    zed::FakeRegistry* registry = nullptr;
    zed::FakeHidSystem* hid = nullptr;
    zed::io_service_t driver = 0;
    zed::FakeOverlayService overlays;

    // `preferences`: where the domain lives; in memory when null.
    explicit FakeAgent(std::unique_ptr<zed::PreferenceDomains> preferences = nullptr) {
        Application::sApp.reset();
        auto p = zed::makeFakePlatform();
        registry = static_cast<zed::FakeRegistry*>(&p->registry());
        hid = static_cast<zed::FakeHidSystem*>(&p->hidSystem());
        if (preferences) {
            p->setPreferences(std::move(preferences));
        }
        // At the console: the agent acts on driver messages only there.
        static_cast<zed::ScriptedLoginSession&>(p->loginSession())
            .setSession("alice", 501, true, true);
        zed::Platform::install(std::move(p));
        zed::SetOverlayWindowService(&overlays);

        Application* app = Application::GetApp();
        app->hidSystem = registry->addService(zed::driver::kHidSystemClassName, {});
        driver = registry->addService(zed::driver::kDriverClassName, {});
        app->driverService = driver;
        app->prefs = std::make_unique<Preferences>();
    }
    ~FakeAgent() {
        Application::sApp.reset();
        zed::SetOverlayWindowService(nullptr);
        zed::Platform::install(nullptr);
    }
    FakeAgent(const FakeAgent&) = delete;
    FakeAgent& operator=(const FakeAgent&) = delete;

    // Applies settings with these mappings, as a settings notification would.
    void apply(zed::Array mappings, zed::Dictionary more = {}) {
        more["ButtonMappings"] = zed::Value(std::move(mappings));
        Application::GetApp()->prefs->SendPrefsToDriver(&more);
    }
};
