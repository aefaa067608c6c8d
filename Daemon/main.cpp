// zed-agent: the per-user agent that applies the mouse settings.
#include "Application.h"
#include "Platform/Platform.h"

int main() {
    // The platform comes first, so that it outlives the application.
    zed::Platform::current();
    Application::GetApp()->Run();
    return 0;
}
