// Helpers shared by the platform tests: temporary folders and child processes.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace zedtest {

// A fresh folder that is removed again at the end of the test.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/zed-test-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

struct CommandResult {
    int status = -1;
    std::string out;
};

// Runs a shell command and collects its standard output (and error, when
// asked with 2>&1 in the command).
inline CommandResult run(const std::string& command) {
    CommandResult r;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        return r;
    }
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) {
        r.out.append(buf, n);
    }
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

inline bool haveCommand(const std::string& name) {
    return run("command -v " + name + " >/dev/null 2>&1").status == 0;
}

// Debian's interpreter, which has plistlib; falls back to whatever is on PATH.
inline std::string python() {
    return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

} // namespace zedtest
