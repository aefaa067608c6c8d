#include "SystemLog.h"

#include <cstdarg>
#include <cstdio>
#include <syslog.h>
#include <utility>

namespace zed {

namespace {
SystemLogSink& sink() {
    static SystemLogSink s;
    return s;
}
} // namespace

void systemLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string line;
    if (length > 0) {
        line.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(line.data(), line.size(), format, again);
        line.resize(static_cast<std::size_t>(length));
    }
    va_end(again);

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
