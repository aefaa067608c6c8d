// zed-agent: the per-user agent that applies the mouse settings.
#include "Application.h"
#include "Platform/dbus/Platform.h"
#include "Platform/dbus/SimulatorServices.h"
#include "Platform/desktop/Desktop.h"

int main() {
    // The platform comes first, so that it outlives the application.
    zed::Platform& platform = zed::Platform::current();
    if (platform.kind() == zed::Platform::Kind::Linux) {
        zed::installDesktopServices(platform);
    } else if (platform.kind() == zed::Platform::Kind::Simulator) {
        zed::installSimulatorServices(platform);
    }
    platform.writePreferencesBeforeWait();
    Application::GetApp()->Run();
    return 0;
}
