#include "InstalledApplications.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

namespace zed {

namespace fs = std::filesystem;

namespace {

// Larger than any desktop file; a larger one is no menu entry.
constexpr std::uintmax_t kMaxFileBytes = 256 * 1024;
constexpr std::string_view kEnding = ".desktop";

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

std::vector<std::string> split(std::string_view list) {
    std::vector<std::string> parts;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const std::string_view folder = list.substr(0, colon);
        if (!folder.empty()) {
            parts.emplace_back(folder);
        }
        list.remove_prefix(colon == std::string_view::npos ? list.size() : colon + 1);
    }
    return parts;
}

// The entry's keys of the [Desktop Entry] group that matter here.
struct Entry {
    std::optional<std::string> type, name, localName, regionName, icon;
    bool hidden = false;
};

// "de_DE.UTF-8@euro" → {"de_DE", "de"}; "C" and "POSIX" are no language.
std::pair<std::string, std::string> languageNames(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") {
        return {};
    }
    const std::string_view bare = locale.substr(0, locale.find('_'));
    return {std::string(locale), std::string(bare)};
}

std::optional<Entry> readEntry(const fs::path& file,
                               const std::pair<std::string, std::string>& lang) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    if (error || size > kMaxFileBytes) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    Entry entry;
    bool inEntry = false;
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        if (text.front() == '[') {
            if (inEntry) {
                break; // the group is over; later groups are actions
            }
            inEntry = text == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = text.find('=');
        if (!inEntry || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = trimmed(text.substr(0, equals));
        const std::string value(trimmed(text.substr(equals + 1)));
        if (key == "Type") {
            entry.type = value;
        } else if (key == "Name") {
            entry.name = value;
        } else if (!lang.first.empty() && key == "Name[" + lang.first + "]") {
            entry.regionName = value;
        } else if (!lang.second.empty() && key == "Name[" + lang.second + "]") {
            entry.localName = value;
        } else if (key == "Icon") {
            entry.icon = value;
        } else if ((key == "NoDisplay" || key == "Hidden") && value == "true") {
            entry.hidden = true;
        }
    }
    return entry;
}

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

class DesktopFileApplications : public InstalledApplications {
public:
    DesktopFileApplications(std::vector<std::string> folders, std::string language)
        : folders_(std::move(folders)), language_(std::move(language)) {}
    std::vector<InstalledApplication> list() override {
        return readDesktopFiles(folders_, language_);
    }

private:
    std::vector<std::string> folders_;
    std::string language_;
};

const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::vector<std::string> applicationFolders(std::string_view dataHome, std::string_view dataDirs,
                                            std::string_view home) {
    std::vector<std::string> folders;
    if (!dataHome.empty()) {
        folders.emplace_back(dataHome);
    } else if (!home.empty()) {
        folders.push_back(std::string(home) + "/.local/share");
    }
    std::vector<std::string> system = split(dataDirs);
    if (system.empty()) {
        system = {"/usr/local/share", "/usr/share"};
    }
    folders.insert(folders.end(), system.begin(), system.end());
    for (std::string& folder : folders) {
        folder += "/applications";
    }
    return folders;
}

std::vector<InstalledApplication> readDesktopFiles(const std::vector<std::string>& folders,
                                                   std::string_view language) {
    const auto lang = languageNames(language);
    std::set<std::string> seen;
    std::vector<InstalledApplication> apps;
    for (const std::string& folder : folders) {
        // Files in the order the folder lists them, so the same id twice in
        // one folder is unlikely but decided the same way each time.
        std::vector<fs::path> files;
        std::error_code error;
        for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const fs::path& path = it->path();
            if (path.extension() == kEnding && it->is_regular_file(error)) {
                files.push_back(path);
            }
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::string id = file.lexically_relative(folder).string();
            id.resize(id.size() - kEnding.size());
            std::replace(id.begin(), id.end(), '/', '-');
            if (id.empty() || !seen.insert(id).second) {
                continue;
            }
            const std::optional<Entry> entry = readEntry(file, lang);
            if (!entry || entry->hidden || entry->type != "Application") {
                continue;
            }
            const std::optional<std::string>& name =
                entry->regionName ? entry->regionName
                                  : (entry->localName ? entry->localName : entry->name);
            apps.push_back({id, name && !name->empty() ? *name : id, entry->icon.value_or("")});
        }
    }
    std::stable_sort(apps.begin(), apps.end(), [](const auto& a, const auto& b) {
        return lowered(a.name) < lowered(b.name);
    });
    return apps;
}

std::unique_ptr<InstalledApplications> makeDesktopFileApplications() {
    std::string language = environment("LC_ALL");
    if (language.empty()) {
        language = environment("LC_MESSAGES");
    }
    if (language.empty()) {
        language = environment("LANG");
    }
    return std::make_unique<DesktopFileApplications>(
        applicationFolders(environment("XDG_DATA_HOME"), environment("XDG_DATA_DIRS"),
                           environment("HOME")),
        std::move(language));
}

} // namespace zed
