#include "AgentLock.h"

#include "Platform/core/Log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>

namespace zed {

AgentLock AgentLock::claim(const char* runtimeDir) {
    if (!runtimeDir || !*runtimeDir) {
        return AgentLock(State::Unplaced, "");
    }
    AgentLock lock(State::Unplaced, std::string(runtimeDir) + "/zed-agent.lock");
    // Never truncated on open: the holder's process id stays readable.
    UniqueFd fd(::open(lock.path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
        lock.error_ = errno;
        return lock;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            lock.error_ = errno;
            return lock;
        }
        lock.state_ = State::Taken;
        char text[32] = {};
        const ssize_t n = ::pread(fd.get(), text, sizeof text - 1, 0);
        if (n > 0) {
            char* end = nullptr;
            const long pid = std::strtol(text, &end, 10);
            if (end != text && pid > 0) {
                lock.holder_ = static_cast<pid_t>(pid);
            }
        }
        return lock;
    }
    // The process id is what a second agent names; the lock works without it.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd.get(), 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd.get(), pid.data(), pid.size(), 0);
    }
    lock.state_ = State::Held;
    lock.fd_ = std::move(fd);
    return lock;
}

AgentLock AgentLock::claimForAgent() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    AgentLock lock = claim(dir);
    switch (lock.state()) {
    case State::Held:
        break;
    case State::Taken:
        if (lock.holder() > 0) {
            zed::log(
                "another agent of this user runs already (process %d, holding %s); this one ends",
                static_cast<int>(lock.holder()), lock.path().c_str());
        } else {
            zed::log("another agent of this user runs already (holding %s); this one ends",
                     lock.path().c_str());
        }
        break;
    case State::Unplaced:
        if (!dir || !*dir) {
            zed::log(
                "no XDG_RUNTIME_DIR, so nothing keeps a second agent of this user from running");
        } else {
            zed::log(
                "cannot use %s (%s), so nothing keeps a second agent of this user from running",
                lock.path().c_str(), std::strerror(lock.error()));
        }
        break;
    }
    return lock;
}

} // namespace zed
