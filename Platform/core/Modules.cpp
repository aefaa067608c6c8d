#include "Modules.h"

#include <climits>
#include <cstdio>
#include <dlfcn.h>
#include <map>
#include <string>
#include <unistd.h>

namespace zed {

namespace {

std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return ".";
    }
    std::string p(path, static_cast<std::size_t>(n));
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

} // namespace

void* moduleSymbol(const char* name, const char* symbol) {
    static std::map<std::string, void*> loaded; // null: tried, failed
    auto it = loaded.find(name);
    if (it == loaded.end()) {
        const std::string path = programFolder() + "/../lib/zed/" + name;
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            std::fprintf(stderr, "zed: cannot load the module %s: %s\n", path.c_str(),
                         why ? why : "unknown error");
            std::fflush(stderr);
        }
        it = loaded.emplace(name, handle).first;
    }
    if (!it->second) {
        return nullptr;
    }
    void* found = ::dlsym(it->second, symbol);
    if (!found) {
        std::fprintf(stderr, "zed: the module %s has no %s\n", name, symbol);
        std::fflush(stderr);
    }
    return found;
}

} // namespace zed
