#include "Log.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <syslog.h>
#include <unistd.h>
#include <utility>

namespace zed {

namespace {

std::atomic<const char*> chosenName{nullptr};

// Appends the formatted text to `line`, sized to fit whatever its length.
void appendFormatted(std::string& line, const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        line += format; // cannot be formatted: the format still says what happened
        return;
    }
    const std::size_t start = line.size();
    line.resize(start + static_cast<std::size_t>(length) + 1);
    std::vsnprintf(line.data() + start, static_cast<std::size_t>(length) + 1, format, args);
    line.resize(start + static_cast<std::size_t>(length));
}

// One write for the whole line where the descriptor takes it; the rest of a
// partial write follows.
void writeLine(std::string& line) {
    line += '\n';
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // nowhere to say it
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void say(bool named, int error, const char* format, va_list args) {
    const int saved = errno;
    std::string line;
    if (named) {
        line = logName();
        line += ": ";
    }
    appendFormatted(line, format, args);
    if (error != 0) {
        char buffer[128];
        line += ": ";
        line += strerror_r(error, buffer, sizeof buffer);
    }
    writeLine(line);
    errno = saved;
}

SystemLogSink& sink() {
    static SystemLogSink s;
    return s;
}

} // namespace

void log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    say(true, 0, format, args);
    va_end(args);
}

void logErrno(int error, const char* format, ...) {
    va_list args;
    va_start(args, format);
    say(true, error, format, args);
    va_end(args);
}

void logPlain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    say(false, 0, format, args);
    va_end(args);
}

const char* logName() {
    const char* name = chosenName.load(std::memory_order_acquire);
    return name ? name : program_invocation_short_name;
}

void setLogName(const char* name) {
    chosenName.store(name, std::memory_order_release);
}

void systemLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line;
    appendFormatted(line, format, args);
    va_end(args);

    if (const SystemLogSink& s = sink()) {
        s(line);
        return;
    }
    // syslog opens its connection on first use, named after the program.
    syslog(LOG_NOTICE, "%s", line.c_str());
}

SystemLogSink setSystemLogSink(SystemLogSink s) {
    return std::exchange(sink(), std::move(s));
}

} // namespace zed
