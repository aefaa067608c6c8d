// zed-agent: the per-user agent that applies the mouse settings.
#include "Application.h"
#include "Platform/dbus/MouseStatus.h"
#include "Platform/dbus/Platform.h"
#include "Platform/dbus/SimulatorServices.h"
#include "Platform/desktop/AgentLock.h"
#include "Platform/desktop/Desktop.h"

#include <optional>

int main() {
    // The platform comes first, so that it outlives the application.
    zed::Platform& platform = zed::Platform::current();
    // Held until the process ends: one agent per user on a desktop. The
    // simulator's agents each have their own private bus and need none.
    std::optional<zed::AgentLock> onlyAgent;
    if (platform.kind() == zed::Platform::Kind::Linux) {
        onlyAgent = zed::AgentLock::claimForAgent();
        if (onlyAgent->state() == zed::AgentLock::State::Taken) {
            return 0;
        }
        zed::installDesktopServices(platform);
    } else if (platform.kind() == zed::Platform::Kind::Simulator) {
        zed::installSimulatorServices(platform);
    }
    // The window in front is the desktop's, whichever mouse the agent serves.
    platform.setFocusTrackers(zed::desktopFocusTrackers());
    platform.writePreferencesSoon();
    // Once the agent can do its work: the settings pane says it runs.
    zed::announceAgent(platform.sessionBus());
    // The pane asks it which application is in front, to name a set's.
    const auto front = zed::FrontApplicationServer::serve(
        platform.sessionBus(), [] { return Application::GetApp()->perApplication.Front(); });
    Application::GetApp()->Run();
    return 0;
}
