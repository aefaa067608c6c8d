// zed-agent: the per-user agent that applies the mouse settings.
#include "Application.h"
#include "Platform/Desktop.h"
#include "Platform/Platform.h"

int main() {
    // The platform comes first, so that it outlives the application.
    zed::Platform& platform = zed::Platform::current();
    if (platform.kind() == zed::Platform::Kind::Linux) {
        zed::installDesktopServices(platform);
    }
    Application::GetApp()->Run();
    return 0;
}
