#include "AgentProcess.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zed::test {

namespace {
std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
} // namespace

AgentProcess::AgentProcess() {
    char tmpl[] = "/tmp/zed-agent-e2e-XXXXXX";
    dir_ = mkdtemp(tmpl);
    home_ = dir_ + "/config";
    std::filesystem::create_directories(home_);
}

AgentProcess::~AgentProcess() {
    if (pid_ > 0) {
        stop(SIGKILL);
    }
    std::filesystem::remove_all(dir_);
}

bool AgentProcess::start() {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_CONFIG_HOME=", 0) != 0 && entry.rfind("ZED_PLATFORM=", 0) != 0) {
            env.push_back(entry);
        }
    }
    env.push_back("XDG_CONFIG_HOME=" + home_);
    env.push_back("ZED_PLATFORM=simulator");
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (dir_ + "/out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (dir_ + "/err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    std::string program = ZED_AGENT;
    char* argv[] = {program.data(), nullptr};
    const int r = posix_spawn(&pid_, argv[0], &actions, &attr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (r != 0) {
        pid_ = -1;
    }
    return r == 0;
}

int AgentProcess::wait(double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int>(timeoutSeconds * 1000));
    while (pid_ > 0) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

int AgentProcess::stop(int signo) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, signo);
    const int status = wait(10);
    if (status < 0 && pid_ > 0) {
        kill(pid_, SIGKILL);
        wait(10);
    }
    return status;
}

std::string AgentProcess::out() const {
    return slurp(dir_ + "/out");
}

std::string AgentProcess::err() const {
    return slurp(dir_ + "/err");
}

void AgentProcess::writeDomain(const std::string& xml) const {
    std::ofstream(domainFile()) << xml;
}

} // namespace zed::test
