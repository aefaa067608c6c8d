#include "AgentProcess.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace zed::test {

std::string AgentProcess::makeDir() {
    char tmpl[] = "/tmp/zed-agent-e2e-XXXXXX";
    return mkdtemp(tmpl);
}

AgentProcess::AgentProcess() : dir_(makeDir()), home_(dir_ + "/config"), child_("agent", dir_) {
    std::filesystem::create_directories(home_);
}

AgentProcess::~AgentProcess() {
    child_.stop(SIGKILL);
    std::filesystem::remove_all(dir_);
}

bool AgentProcess::start(const std::map<std::string, std::string>& more) {
    std::map<std::string, std::string> env = more;
    env.insert({{"XDG_CONFIG_HOME", home_}, {"ZED_PLATFORM", "simulator"}});
    return child_.start({ZED_AGENT}, env);
}

bool AgentProcess::startOnDesktop() {
    return child_.start({ZED_AGENT}, {{"XDG_CONFIG_HOME", home_}, {"ZED_PLATFORM", ""}});
}

void AgentProcess::writeDomain(const std::string& xml) const {
    std::ofstream(domainFile()) << xml;
}

} // namespace zed::test
