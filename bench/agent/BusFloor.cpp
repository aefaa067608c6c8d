// The least memory a C++ program on sd-bus holds: a session bus connection,
// one match, a wait. The floor the agent's and the driver's private memory is
// measured against. Prints "ready" once it listens.
#include <cstdio>
#include <string>
#include <systemd/sd-bus.h>
#include <vector>

int main() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        return 1;
    }
    std::vector<std::string> seen;
    sd_bus_add_match(
        bus, nullptr, "type='signal',interface='com.tovik.DistributedNotificationCenter'",
        [](sd_bus_message* m, void* names, sd_bus_error*) {
            static_cast<std::vector<std::string>*>(names)->emplace_back(
                sd_bus_message_get_member(m));
            return 0;
        },
        &seen);
    std::puts("ready");
    std::fflush(stdout);
    for (int r = 0; r >= 0;) {
        r = sd_bus_process(bus, nullptr);
        if (r == 0) {
            r = sd_bus_wait(bus, UINT64_MAX);
        }
    }
    sd_bus_unref(bus);
    return 0;
}
