#include "Session.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace zed {

LoginSession::~LoginSession() = default;
ProcessControl::~ProcessControl() = default;

uid_t PosixProcessControl::getuid() {
    return ::getuid();
}

uid_t PosixProcessControl::geteuid() {
    return ::geteuid();
}

std::optional<ProcessControl::User> PosixProcessControl::userById(uid_t uid) {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 4096);
    passwd entry{};
    passwd* found = nullptr;
    int r = 0;
    while ((r = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (r != 0 || !found) {
        errno = r;
        return std::nullopt;
    }
    return User{found->pw_name ? found->pw_name : "", found->pw_uid, found->pw_gid,
                found->pw_dir ? found->pw_dir : ""};
}

int PosixProcessControl::initgroups(const std::string& user, gid_t group) {
    return ::initgroups(user.c_str(), group);
}

int PosixProcessControl::setgid(gid_t gid) {
    return ::setgid(gid);
}

int PosixProcessControl::setuid(uid_t uid) {
    return ::setuid(uid);
}

void PosixProcessControl::setEnvironment(const std::string& name,
                                         const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

int PosixProcessControl::sleep(unsigned seconds, std::span<const int> wakeSignals) {
    sigset_t set;
    sigemptyset(&set);
    for (int signo : wakeSignals) {
        sigaddset(&set, signo);
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(seconds);
    while (true) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        timespec left{deadline.tv_sec - now.tv_sec, deadline.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) {
            left.tv_nsec += 1000000000L;
            --left.tv_sec;
        }
        if (left.tv_sec < 0) {
            left = timespec{}; // time is up: only take what is already pending
        }
        const int signo = sigtimedwait(&set, nullptr, &left);
        if (signo > 0) {
            return signo;
        }
        if (errno != EINTR) {
            return 0; // EAGAIN: the time ran out
        }
        // Another signal's handler ran: sleep on for what is left.
    }
}

void PosixProcessControl::exit(int status) {
    std::fflush(nullptr);
    std::exit(status);
}

} // namespace zed
