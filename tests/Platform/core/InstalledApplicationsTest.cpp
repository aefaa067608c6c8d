#include "Platform/core/InstalledApplications.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace zed::test {
namespace {

namespace fs = std::filesystem;

// One desktop file: the folder it is in (0 the user's, 1 and 2 the
// system's), its path below that folder, its text.
struct DesktopFile {
    int folder;
    std::string path;
    std::string text;
};

std::string app(const std::string& name, const std::string& more = {}) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=x\n" + more;
}

struct Tree {
    const char* what;
    std::vector<DesktopFile> files;
    std::vector<InstalledApplication> listed; // id, name, icon
    std::string language = "C";
};

class DesktopFiles : public ::testing::TestWithParam<Tree> {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("zed-apps-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        for (int i = 0; i < 3; ++i) {
            folders_.push_back((root_ / std::to_string(i) / "applications").string());
            fs::create_directories(folders_.back());
        }
        for (const DesktopFile& f : GetParam().files) {
            const fs::path path = fs::path(folders_[static_cast<std::size_t>(f.folder)]) / f.path;
            fs::create_directories(path.parent_path());
            std::ofstream(path) << f.text;
        }
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path root_;
    std::vector<std::string> folders_;
};

TEST_P(DesktopFiles, ListTheMenusApplicationsByDesktopFileId) {
    EXPECT_EQ(readDesktopFiles(folders_, GetParam().language), GetParam().listed)
        << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Trees, DesktopFiles,
    ::testing::Values(
        Tree{"ids from nested folders, sorted by name",
             {{2, "org.b.Calc.desktop", app("Calculator", "Icon=calc\n")},
              {2, "kde/dolphin.desktop", app("Dolphin")},
              {1, "a/b/deep.desktop", app("abyss")}},
             {{"a-b-deep", "abyss", ""},
              {"org.b.Calc", "Calculator", "calc"},
              {"kde-dolphin", "Dolphin", ""}}},
        Tree{"hidden, not shown and other types are left out",
             {{2, "nodisplay.desktop", app("A", "NoDisplay=true\n")},
              {2, "hidden.desktop", app("B", "Hidden=true\n")},
              {2, "link.desktop", "[Desktop Entry]\nType=Link\nName=C\n"},
              {2, "shown.desktop", app("D", "NoDisplay=false\n")},
              {2, "notes.txt", app("E")},
              {2, "broken.desktop", "no group at all\nName=F\n"}},
             {{"shown", "D", ""}}},
        Tree{"the first folder's file of an id wins, even when it hides it",
             {{0, "game.desktop", app("Mine")},
              {2, "game.desktop", app("System's")},
              {0, "gone.desktop", app("Gone", "Hidden=true\n")},
              {1, "gone.desktop", app("Still there")},
              {1, "tool.desktop", app("Local tool")},
              {2, "tool.desktop", app("Distro tool")}},
             {{"tool", "Local tool", ""}, {"game", "Mine", ""}}},
        Tree{"names in the user's language, region first",
             {{2, "a.desktop", app("Calculator", "Name[de]=Rechner\nName[de_AT]=Rechenmaschine\n")},
              {2, "b.desktop", app("Files", "Name[de]=Dateien\nName[fr]=Fichiers\n")},
              {2, "c.desktop", app("Mail") + "[Desktop Action x]\nName=Other\nName[de]=Andere\n"}},
             {{"b", "Dateien", ""}, {"c", "Mail", ""}, {"a", "Rechenmaschine", ""}},
             "de_AT.UTF-8"}));

struct Environment {
    std::string dataHome, dataDirs, home;
    std::vector<std::string> folders;
};
class ApplicationFolders : public ::testing::TestWithParam<Environment> {};

TEST_P(ApplicationFolders, UserFirstThenSystemInOrder) {
    const Environment& e = GetParam();
    EXPECT_EQ(applicationFolders(e.dataHome, e.dataDirs, e.home), e.folders);
}

INSTANTIATE_TEST_SUITE_P(
    Variables, ApplicationFolders,
    ::testing::Values(Environment{"",
                                  "",
                                  "/home/u",
                                  {"/home/u/.local/share/applications",
                                   "/usr/local/share/applications", "/usr/share/applications"}},
                      Environment{"/d",
                                  "/x::/y",
                                  "/home/u",
                                  {"/d/applications", "/x/applications", "/y/applications"}}));

} // namespace
} // namespace zed::test
