#include "Platform.h"

#include "DBusClient.h"
#include "DBusNotificationCenter.h"
#include "MouseStatus.h"
#include "Platform/core/FilePreferenceDomains.h"
#include "Platform/core/Log.h"

#include <cstdlib>
#include <cstring>

namespace zed {

namespace {
std::unique_ptr<Platform>& slot() {
    static std::unique_ptr<Platform> platform;
    return platform;
}

// sd-bus turns a lost connection into this local signal.
int onBusMessage(sd_bus_message* m, void* userdata, sd_bus_error*) {
    if (sd_bus_message_is_signal(m, "org.freedesktop.DBus.Local", "Disconnected")) {
        static_cast<Platform*>(userdata)->sessionBusLost();
    }
    return 0;
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
      process_(std::make_unique<PosixProcessControl>()),
      installedApplications_(makeDesktopFileApplications()),
      frontApplication_(makeAgentFrontApplicationQuery()) {}

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

void Platform::writePreferencesSoon() {
    preferences_->setWriteScheduler([this](std::function<void()> write) {
        // The batch before this one has been written: its timer is spent.
        auto batch = std::make_shared<WriteBatch>();
        batch->write = std::move(write);
        pendingWrite_ = batch;
        // A timer at the loop's normal priority: a flood of messages cannot
        // starve it, and what arrives right behind the change (a key behind a
        // step) is handled before the write's fsync.
        batch->timer = runLoop_->addTimer(RunLoop::now() + kWriteDelay,
                                          [weak = std::weak_ptr<WriteBatch>(batch)] {
                                              if (auto b = weak.lock(); b && b->write) {
                                                  std::exchange(b->write, nullptr)();
                                              }
                                          });
        if (!batch->timer) {
            std::exchange(batch->write, nullptr)(); // reported; written now rather than not at all
        }
    });
}

Platform::Kind platformKindFromEnvironment() {
    const char* v = std::getenv("ZED_PLATFORM");
    if (!v || !*v || std::strcmp(v, "linux") == 0) {
        return Platform::Kind::Linux;
    }
    if (std::strcmp(v, "simulator") == 0) {
        return Platform::Kind::Simulator;
    }
    zed::log("unknown ZED_PLATFORM \"%s\" (use \"linux\" or \"simulator\"); using the desktop", v);
    return Platform::Kind::Linux;
}

std::unique_ptr<Platform> Platform::makeDefault() {
    auto p = std::make_unique<Platform>(platformKindFromEnvironment());
    p->setPreferences(std::make_unique<FilePreferenceDomains>());
    // Distributed notifications always travel on the user's session bus.
    if (BusPtr bus = openBus(BusKind::Session)) {
        p->runLoop().attachBus(bus.get());
        // Floating: it lives as long as the connection, which the platform owns.
        sd_bus_add_filter(bus.get(), nullptr, &onBusMessage, p.get());
        p->sessionBus_ = bus.get();
        p->setDistributedCenter(std::make_unique<DBusNotificationCenter>(std::move(bus)));
    } else {
        zed::log("notifications stay within this process");
        p->setDistributedCenter(std::make_unique<LocalNotificationCenter>());
    }
    // The registry, HID system and login session are the agent's alone: its
    // main installs the desktop's or the simulated mouse's, and nothing else
    // pays for them.
    return p;
}

} // namespace zed
