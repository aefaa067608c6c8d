// Installs a test platform for the agent's own code (Application, HidUtils,
// Preferences) with whatever desktop services a test puts in, and puts the
// agent's globals back afterwards.
#pragma once

#include "Daemon/Application.h"
#include "Daemon/HidUtils.h"
#include "FakePlatform.h"
#include "Platform/dbus/Platform.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace deskfake {

class RecordingProcess : public zed::ProcessControl {
public:
    uid_t getuid() override { return 4242; }
    uid_t geteuid() override { return 4242; }
    std::optional<User> userById(uid_t) override { return std::nullopt; }
    int initgroups(const std::string&, gid_t) override { return 0; }
    int setgid(gid_t) override { return 0; }
    int setuid(uid_t) override { return 0; }
    void setEnvironment(const std::string&, const std::optional<std::string>&) override {}
    int sleep(unsigned seconds, std::span<const int>) override {
        sleeps.push_back(seconds);
        if (onSleep) {
            onSleep(static_cast<int>(sleeps.size()));
        }
        return 0;
    }
    void exit(int status) override { exits.push_back(status); }
    std::vector<unsigned> sleeps;
    std::vector<int> exits;
    std::function<void(int)> onSleep;
};

struct AgentPlatform {
    AgentPlatform() {
        auto p = zed::makeFakePlatform();
        platform = p.get();
        auto proc = std::make_unique<RecordingProcess>();
        process = proc.get();
        p->setProcess(std::move(proc));
        zed::Platform::install(std::move(p));
        Application::sApp.reset();
        ResetEventDriver();
        gModifiers = 0;
    }
    ~AgentPlatform() {
        Application::sApp.reset();
        ResetEventDriver();
        gModifiers = 0;
        zed::Platform::install(zed::makeFakePlatform());
    }
    zed::Platform* platform = nullptr;
    RecordingProcess* process = nullptr;
};

} // namespace deskfake
