// How ZED's programs and libraries say things: one line on standard error,
// named after the program that runs, and lines for the system log.
#pragma once

#include <functional>
#include <string>

namespace zed {

// Formats like printf and writes "<program>: <message>\n" to standard error
// in one write, so that the lines of two threads do not mix. Every formatted
// byte is kept, a formatted NUL included; errno is left as it was.
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// As log, followed by ": " and the text of `error` (an errno value, such as
// errno or -r of a call that returns -errno); an error of 0 adds nothing.
void logErrno(int error, const char* format, ...) __attribute__((format(printf, 2, 3)));

// As log, without the program's name: for lines whose text is fixed to the
// letter (the agent's own messages).
void logPlain(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The name the lines start with: the one set with setLogName, else the
// process's own (its command's base name).
const char* logName();

// Names the program in the lines from now on (nullptr: the process's name
// again). The text is kept, not copied: pass a literal. A module loaded into
// the program keeps the process's name.
void setLogName(const char* name);

// Formats like printf and writes one line to the system log. The line keeps
// every formatted byte, a formatted NUL included, for the sink to see.
void systemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

using SystemLogSink = std::function<void(const std::string& line)>;
// Sends the lines to the sink instead of syslog (an empty sink restores
// syslog); returns the sink that was set before.
SystemLogSink setSystemLogSink(SystemLogSink sink);

} // namespace zed
