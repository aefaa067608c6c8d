// Lines for the system log (syslog), with a sink that tests may take over.
#pragma once

#include <functional>
#include <string>

namespace zed {

// Formats like printf and writes one line to the system log. The line keeps
// every formatted byte, a formatted NUL included, for the sink to see.
void systemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

using SystemLogSink = std::function<void(const std::string& line)>;
// Sends the lines to the sink instead of syslog (an empty sink restores
// syslog); returns the sink that was set before.
SystemLogSink setSystemLogSink(SystemLogSink sink);

} // namespace zed
