// zed-defaults: reads and writes preference domains from the command line.
#include "Platform/core/FilePreferenceDomains.h"
#include "Platform/core/Log.h"
#include "Platform/core/PropertyList.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: zed-defaults COMMAND DOMAIN [ARGUMENTS]\n"
    "\n"
    "  read DOMAIN [KEY]          print the domain, or the value of one key\n"
    "  write DOMAIN KEY TYPE VALUE\n"
    "                             store one value; TYPE is -int, -float, -bool,\n"
    "                             -string or -data (hexadecimal bytes)\n"
    "  delete DOMAIN [KEY]        remove one key, or the whole domain\n"
    "  export DOMAIN FILE         write the domain as an XML property list (- for stdout)\n"
    "  import DOMAIN FILE         replace the domain by a property list file (- for stdin)\n"
    "  --help                     show this text\n"
    "\n"
    "Domains live in ${XDG_CONFIG_HOME:-$HOME/.config}/DOMAIN.plist.\n";

int usageError(const std::string& why) {
    zed::log("%s", why.c_str());
    std::fprintf(stderr, "\n%s", kUsage);
    return 2;
}

int fail(const std::string& why) {
    zed::log("%s", why.c_str());
    return 1;
}

// A domain that is there but cannot be read is not a missing one: the user
// must not be led to write a new one over it.
int noDomain(const zed::FilePreferenceDomains& prefs, const std::string& domain) {
    if (prefs.couldNotRead(domain)) {
        return fail("the domain " + domain + " cannot be read");
    }
    return fail("the domain " + domain + " does not exist");
}

// One write under the lock. Nothing is left pending on failure, so the
// reason is reported once rather than again when the store goes away.
int write(zed::FilePreferenceDomains& prefs, const std::string& domain,
          const zed::PreferenceDomains::Change& change) {
    return prefs.update(domain, change) ? 0 : fail("could not write the domain " + domain);
}

std::optional<zed::Value> parseTyped(const std::string& type, const std::string& text,
                                     std::string* error) {
    if (type == "-int" || type == "-integer") {
        errno = 0;
        char* end = nullptr;
        long long v = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || errno == ERANGE) {
            *error = "\"" + text + "\" is not an integer";
            return std::nullopt;
        }
        if (v >= std::numeric_limits<std::int32_t>::min() &&
            v <= std::numeric_limits<std::int32_t>::max()) {
            return zed::Value(static_cast<std::int32_t>(v));
        }
        return zed::Value(static_cast<std::int64_t>(v));
    }
    if (type == "-float" || type == "-real") {
        errno = 0;
        char* end = nullptr;
        double v = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v)) {
            *error = "\"" + text + "\" is not a finite number";
            return std::nullopt;
        }
        return zed::Value(v);
    }
    if (type == "-bool" || type == "-boolean") {
        for (const char* t : {"YES", "yes", "TRUE", "true", "1"}) {
            if (text == t) {
                return zed::Value(true);
            }
        }
        for (const char* f : {"NO", "no", "FALSE", "false", "0"}) {
            if (text == f) {
                return zed::Value(false);
            }
        }
        *error = "\"" + text + "\" is not a boolean (use YES or NO)";
        return std::nullopt;
    }
    if (type == "-string") {
        return zed::Value(text);
    }
    if (type == "-data") {
        zed::Data bytes;
        if (text.size() % 2 != 0) {
            *error = "data must be an even number of hexadecimal digits";
            return std::nullopt;
        }
        for (std::size_t i = 0; i < text.size(); i += 2) {
            const std::string pair = text.substr(i, 2);
            if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
                !std::isxdigit(static_cast<unsigned char>(pair[1]))) {
                *error = "\"" + text + "\" is not hexadecimal data";
                return std::nullopt;
            }
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
        }
        return zed::Value(std::move(bytes));
    }
    *error = "unknown type \"" + type + "\" (use -int, -float, -bool, -string or -data)";
    return std::nullopt;
}

bool readInput(const std::string& file, std::string* bytes) {
    if (file == "-") {
        bytes->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    *bytes = ss.str();
    return !in.bad();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return usageError("no command given");
    }
    const std::string command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.size() < 2) {
        return usageError("\"" + command + "\" needs a domain");
    }
    const std::string domain = args[1];
    zed::FilePreferenceDomains prefs;
    if (prefs.pathFor(domain, {}).empty()) {
        return 1;
    }

    if (command == "read") {
        if (args.size() > 3) {
            return usageError("read takes a domain and at most one key");
        }
        auto all = prefs.persistentDomain(domain);
        if (!all) {
            return noDomain(prefs, domain);
        }
        if (args.size() == 2) {
            std::printf("%s\n", zed::describe(*all).c_str());
            return 0;
        }
        const zed::Value* v = zed::lookup(*all, args[2]);
        if (!v) {
            return fail("the key " + args[2] + " does not exist in the domain " + domain);
        }
        std::printf("%s\n", v->describe().c_str());
        return 0;
    }
    if (command == "write") {
        std::optional<zed::Value> value;
        std::string error;
        if (args.size() == 5) {
            value = parseTyped(args[3], args[4], &error);
        } else if (args.size() == 4 && args[3].rfind('-', 0) != 0) {
            value = zed::Value(args[3]); // a plain value is a string
        } else {
            return usageError("write takes a domain, a key, a type and a value");
        }
        if (!value) {
            return usageError(error);
        }
        return write(prefs, domain, [&](std::optional<zed::Dictionary> stored) {
            stored = stored.value_or(zed::Dictionary{});
            stored->insert_or_assign(args[2], std::move(*value));
            return stored;
        });
    }
    if (command == "delete") {
        if (args.size() > 3) {
            return usageError("delete takes a domain and at most one key");
        }
        auto all = prefs.persistentDomain(domain);
        if (!all) {
            return noDomain(prefs, domain);
        }
        if (args.size() == 3) {
            if (!zed::lookup(*all, args[2])) {
                return fail("the key " + args[2] + " does not exist in the domain " + domain);
            }
            return write(prefs, domain, [&](std::optional<zed::Dictionary> stored) {
                if (stored) {
                    stored->erase(args[2]);
                }
                return stored;
            });
        }
        return write(prefs, domain, [](auto) { return std::optional<zed::Dictionary>(); });
    }
    if (command == "export") {
        if (args.size() != 3) {
            return usageError("export takes a domain and a file");
        }
        auto all = prefs.persistentDomain(domain);
        if (!all) {
            return noDomain(prefs, domain);
        }
        const std::string xml = zed::toXmlPropertyList(zed::Value(std::move(*all)));
        if (args[2] == "-") {
            std::fwrite(xml.data(), 1, xml.size(), stdout);
            return 0;
        }
        std::ofstream out(args[2], std::ios::binary | std::ios::trunc);
        out.write(xml.data(), static_cast<std::streamsize>(xml.size()));
        out.close();
        return out ? 0 : fail("cannot write " + args[2] + ": " + std::strerror(errno));
    }
    if (command == "import") {
        if (args.size() != 3) {
            return usageError("import takes a domain and a file");
        }
        std::string bytes;
        if (!readInput(args[2], &bytes)) {
            return fail("cannot read " + args[2] + ": " + std::strerror(errno));
        }
        std::string error;
        auto value = zed::parsePropertyList(bytes, &error);
        if (!value) {
            return fail(args[2] + " is not a property list: " + error);
        }
        if (!value->asDictionary()) {
            return fail(args[2] + " holds a " + value->typeName() + ", not a dictionary");
        }
        return write(prefs, domain, [&](auto) {
            return std::optional<zed::Dictionary>(std::move(*value->asDictionary()));
        });
    }
    return usageError("unknown command \"" + command + "\"");
}
