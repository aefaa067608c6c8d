#include "Platform.h"

#include "DBusHidSystem.h"
#include "DBusLoginSession.h"
#include "DBusNotificationCenter.h"
#include "DBusRegistry.h"
#include "FakeIOKit.h"
#include "FilePreferenceDomains.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zed {

namespace {
std::unique_ptr<Platform>& slot() {
    static std::unique_ptr<Platform> platform;
    return platform;
}
} // namespace

// Until a platform supplies them: no services, no session, a HID system that
// cannot be opened.
Platform::Platform(Kind kind)
    : kind_(kind), runLoop_(std::make_unique<RunLoop>()),
      preferences_(std::make_unique<MemoryPreferenceDomains>()),
      distributedCenter_(std::make_unique<LocalNotificationCenter>()),
      registry_(std::make_unique<NullRegistry>()), hidSystem_(std::make_unique<NullHidSystem>()),
      loginSession_(std::make_unique<NoLoginSession>()),
      process_(std::make_unique<PosixProcessControl>()) {}

Platform::~Platform() = default;

Platform& Platform::current() {
    if (!slot()) {
        slot() = makeDefault();
    }
    return *slot();
}

void Platform::install(std::unique_ptr<Platform> platform) {
    slot() = std::move(platform);
}

Platform::Kind platformKindFromEnvironment() {
    const char* v = std::getenv("ZED_PLATFORM");
    if (!v || !*v || std::strcmp(v, "linux") == 0) {
        return Platform::Kind::Linux;
    }
    if (std::strcmp(v, "simulator") == 0) {
        return Platform::Kind::Simulator;
    }
    std::fprintf(stderr,
                 "zed: unknown ZED_PLATFORM \"%s\" (use \"linux\" or \"simulator\"); "
                 "using the desktop\n",
                 v);
    return Platform::Kind::Linux;
}

std::unique_ptr<Platform> Platform::makeDefault() {
    auto p = std::make_unique<Platform>(platformKindFromEnvironment());
    p->setPreferences(std::make_unique<FilePreferenceDomains>());
    // Distributed notifications always travel on the user's session bus.
    if (BusPtr bus = openBus(BusKind::Session)) {
        p->runLoop().attachBus(bus.get());
        p->setDistributedCenter(std::make_unique<DBusNotificationCenter>(std::move(bus)));
    } else {
        std::fprintf(stderr, "zed: notifications stay within this process\n");
        p->setDistributedCenter(std::make_unique<LocalNotificationCenter>());
    }
    // Each service has its own connection, attached to the agent's loop so
    // that its signals are dispatched there.
    auto attached = [&p](BusKind kind) {
        BusPtr bus = openBus(kind);
        if (bus && !p->runLoop().attachBus(bus.get())) {
            bus.reset();
        }
        return bus;
    };
    if (p->kind() == Kind::Simulator) {
        // The simulated mouse serves the registry, its HID system and the
        // login session on the session bus.
        BusPtr registry = attached(BusKind::Session);
        if (!registry) {
            std::fprintf(stderr, "zed: no session bus, so no simulated mouse\n");
            return p;
        }
        p->setRegistry(std::make_unique<DBusRegistry>(std::move(registry)));
        if (BusPtr hid = attached(BusKind::Session)) {
            p->setHidSystem(std::make_unique<DBusHidSystem>(std::move(hid)));
        }
        if (BusPtr session = attached(BusKind::Session)) {
            p->setLoginSession(std::make_unique<DBusLoginSession>(std::move(session)));
        }
    }
    // On the desktop the registry, HID system and session are the agent's
    // alone: it installs them (installDesktopServices) and nothing else pays
    // for them.
    return p;
}

std::unique_ptr<Platform> Platform::makeFake() {
    auto p = std::make_unique<Platform>(Kind::Test);
    p->setRegistry(std::make_unique<FakeRegistry>());
    p->setHidSystem(std::make_unique<FakeHidSystem>());
    p->setLoginSession(std::make_unique<ScriptedLoginSession>());
    return p;
}

} // namespace zed
