#include "Modules.h"

#include "Log.h"

#include <climits>
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
            zed::log("cannot load the module %s: %s", path.c_str(), why ? why : "unknown error");
        }
        it = loaded.emplace(name, handle).first;
    }
    if (!it->second) {
        return nullptr;
    }
    void* found = ::dlsym(it->second, symbol);
    if (!found) {
        zed::log("the module %s has no %s", name, symbol);
    }
    return found;
}

} // namespace zed
