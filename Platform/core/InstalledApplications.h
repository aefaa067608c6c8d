// The applications installed for the user, as the desktop's menus list them:
// the desktop files under $XDG_DATA_HOME/applications and each
// $XDG_DATA_DIRS/*/applications, named by their desktop-file ids (the path
// below that folder with '/' made '-', without ".desktop"), which is how the
// settings per application name them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zed {

struct InstalledApplication {
    std::string id;   // "org.gnome.Calculator"
    std::string name; // as the menus show it, in the user's language when the file has it
    std::string icon; // the file's Icon (a theme name or a path); may be empty
    bool operator==(const InstalledApplication&) const = default;
};

class InstalledApplications {
public:
    virtual ~InstalledApplications() = default;
    // Sorted by name; reads the folders at each call (applications come and go).
    virtual std::vector<InstalledApplication> list() = 0;
};

// The folders to read, the most important first: dataHome (or
// home/.local/share when empty), then each of dataDirs (or
// /usr/local/share:/usr/share when empty), each with "/applications".
std::vector<std::string> applicationFolders(std::string_view dataHome, std::string_view dataDirs,
                                            std::string_view home);

// Reads the desktop files of the folders. The first file of an id wins, also
// when it hides the application (NoDisplay, Hidden, or no Type=Application):
// a user's own file hides the system's. `language` is a locale name
// ("de_DE.UTF-8", "de"); Name[de_DE] then Name[de] are preferred to Name.
std::vector<InstalledApplication> readDesktopFiles(const std::vector<std::string>& folders,
                                                   std::string_view language);

// The folders of the environment ($XDG_DATA_HOME, $XDG_DATA_DIRS, $HOME) in
// the language of $LC_ALL, $LC_MESSAGES or $LANG.
std::unique_ptr<InstalledApplications> makeDesktopFileApplications();

} // namespace zed
