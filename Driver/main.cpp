// zed-driver: the mouse's driver, a system service. It adopts the mice udev
// finds (the maker's, and any an administrator marks), re-emits their events
// through virtual pointers as the agent's settings say, and serves their
// registry services on the system bus.
#include "Discovery.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace {

using namespace zed::driver;

void usage(FILE* out) {
    std::fputs("Usage: zed-driver [--user NAME]\n"
               "       zed-driver --list\n"
               "Adopts the mice udev finds (the maker's, and any a udev rule marks with\n"
               "ZED_DRIVER=1) and serves their settings on the system bus as\n"
               "com.tovik.IORegistry.\n"
               "  --list       print every mouse, whether it is adopted, and the udev\n"
               "               rule line that would adopt it; then exit\n"
               "  --user NAME  without logind, let this user change the settings and\n"
               "               receive the buttons' messages (otherwise only root)\n"
               "  --help       this text\n",
               out);
}

int usageError(const std::string& why) {
    std::fprintf(stderr, "zed-driver: %s\n", why.c_str());
    usage(stderr);
    return 2;
}

std::string hexIds(const MouseIdentity& id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04x:%04x", id.vendor, id.product);
    return buf;
}

int listMiceCommand() {
    std::string error;
    const auto mice = listMice(&error);
    if (!mice) {
        std::fprintf(stderr, "zed-driver: %s\n", error.c_str());
        return 1;
    }
    // Without udevd nothing carries ID_INPUT_MOUSE: say why the list is empty.
    if (::access("/run/udev/control", F_OK) != 0) {
        std::fprintf(stderr, "zed-driver: udev does not seem to run here (no "
                             "/run/udev/control): devices may lack their properties\n");
    }
    if (mice->empty()) {
        std::printf("No mice (no evdev device that udev classes as a mouse).\n");
        return 0;
    }
    for (const MouseCandidate& c : *mice) {
        const MouseIdentity& id = c.identity;
        std::printf("%s  %s  \"%s\"\n", id.node.empty() ? "(no node)" : id.node.c_str(),
                    hexIds(id).c_str(), id.name.c_str());
        if (isOurVirtualDevice(c.phys)) {
            std::printf("  adopted: no, it is this driver's own virtual pointer (phys %s)\n",
                        c.phys.c_str());
            continue;
        }
        if (shouldAdopt(c)) {
            std::printf("  adopted: yes (%s)\n",
                        c.marked ? "a udev rule sets ZED_DRIVER=1" : "the maker's mouse");
        } else {
            std::printf("  adopted: no\n");
        }
        std::printf("  rule:    %s\n", adoptionRule(c).c_str());
    }
    return 0;
}

int runDriver(std::optional<uid_t> allowedUser);

} // namespace

int main(int argc, char** argv) {
    bool list = false;
    std::optional<uid_t> allowedUser;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--list") {
            list = true;
        } else if (a == "--user" || a.rfind("--user=", 0) == 0) {
            std::string name;
            if (a == "--user") {
                if (i + 1 >= argc) {
                    return usageError("--user needs a user name");
                }
                name = argv[++i];
            } else {
                name = a.substr(7);
            }
            errno = 0;
            const passwd* pw = name.empty() ? nullptr : ::getpwnam(name.c_str());
            if (!pw) {
                return usageError("--user: no user \"" + name + "\"");
            }
            allowedUser = pw->pw_uid;
        } else {
            return usageError("unknown option \"" + a + "\"");
        }
    }
    if (list) {
        if (allowedUser) {
            return usageError("--list takes no other option");
        }
        return listMiceCommand();
    }
    return runDriver(allowedUser);
}

namespace {

int runDriver(std::optional<uid_t>) {
    std::fprintf(stderr, "zed-driver: not yet\n");
    return 1;
}

} // namespace
