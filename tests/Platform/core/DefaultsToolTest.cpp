#include "DamagedPropertyLists.h"
#include "Platform/core/PropertyList.h"
#include "TestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zed::test {
namespace {

class DefaultsTool : public ::testing::Test {
protected:
    zedtest::CommandResult defaults(const std::string& args) {
        return zedtest::run("XDG_CONFIG_HOME=" + dir.path() + " " ZED_DEFAULTS_BIN " " + args +
                            " 2>&1");
    }
    std::string file() const { return dir.file("com.tovik.ZED.plist"); }
    zedtest::TempDir dir;
};

} // namespace

TEST_F(DefaultsTool, WritesARealAndReadsItBack) {
    ASSERT_EQ(defaults("write com.tovik.ZED Sensitivity -float 9.8").status, 0);
    auto r = defaults("read com.tovik.ZED Sensitivity");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "9.8\n");
    const std::string xml = zedtest::readFile(file());
    EXPECT_NE(xml.find("<?xml"), std::string::npos);
    EXPECT_NE(xml.find("<real>9.8"), std::string::npos) << xml;
}

TEST_F(DefaultsTool, EveryTypeKeepsItsType) {
    ASSERT_EQ(defaults("write com.tovik.ZED Orientation -int 1").status, 0);
    ASSERT_EQ(defaults("write com.tovik.ZED Big -int 99999999999").status, 0);
    ASSERT_EQ(defaults("write com.tovik.ZED On -bool YES").status, 0);
    ASSERT_EQ(defaults("write com.tovik.ZED Name -string 'two words'").status, 0);
    ASSERT_EQ(defaults("write com.tovik.ZED Map -data 0603").status, 0);
    auto v = zed::parsePropertyList(zedtest::readFile(file()));
    ASSERT_TRUE(v);
    const auto& d = *v->asDictionary();
    EXPECT_EQ(d.at("Orientation"), zed::Value(std::int32_t{1}));
    EXPECT_EQ(d.at("Big"), zed::Value(std::int64_t{99999999999}));
    EXPECT_EQ(d.at("On"), zed::Value(true));
    EXPECT_EQ(d.at("Name"), zed::Value("two words"));
    EXPECT_EQ(d.at("Map"), zed::Value(zed::Data{6, 3}));
    auto all = defaults("read com.tovik.ZED");
    EXPECT_NE(all.out.find("Map = {length = 2, bytes = 0x0603};"), std::string::npos) << all.out;
}

TEST_F(DefaultsTool, BadInputFailsClearlyAndLeavesTheDomainAlone) {
    ASSERT_EQ(defaults("write com.tovik.ZED Orientation -int 1").status, 0);
    const std::string before = zedtest::readFile(file());
    for (const char* bad :
         {"write com.tovik.ZED Orientation -int 1.5", "write com.tovik.ZED S -float abc",
          "write com.tovik.ZED S -float nan", "write com.tovik.ZED B -bool maybe",
          "write com.tovik.ZED D -data 0g", "write com.tovik.ZED D -data 123",
          "write com.tovik.ZED K -weird 1", "write com.tovik.ZED", "frobnicate com.tovik.ZED",
          "read ../etc/passwd"}) {
        auto r = defaults(bad);
        EXPECT_NE(r.status, 0) << bad;
        EXPECT_NE(r.out.find("zed"), std::string::npos) << bad << ": " << r.out;
    }
    EXPECT_EQ(zedtest::readFile(file()), before);
    EXPECT_EQ(defaults("read com.tovik.ZED Missing").status, 1);
    EXPECT_EQ(defaults("read com.tovik.Nothing").status, 1);
    EXPECT_EQ(defaults("").status, 2);
    EXPECT_EQ(defaults("--help").status, 0);
}

TEST_F(DefaultsTool, ExportImportAndDelete) {
    ASSERT_EQ(defaults("write com.tovik.ZED A -int 1").status, 0);
    ASSERT_EQ(defaults("write com.tovik.ZED B -float 2.5").status, 0);
    ASSERT_EQ(defaults("export com.tovik.ZED " + dir.file("out.plist")).status, 0);
    ASSERT_EQ(defaults("import com.tovik.Copy " + dir.file("out.plist")).status, 0);
    EXPECT_EQ(defaults("read com.tovik.Copy B").out, "2.5\n");

    zedtest::writeFile(dir.file("bad.plist"), "garbage");
    auto r = defaults("import com.tovik.Copy " + dir.file("bad.plist"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("not a property list"), std::string::npos);
    EXPECT_EQ(defaults("read com.tovik.Copy B").out, "2.5\n") << "a failed import keeps the domain";

    ASSERT_EQ(defaults("delete com.tovik.ZED A").status, 0);
    EXPECT_EQ(defaults("read com.tovik.ZED A").status, 1);
    EXPECT_EQ(defaults("delete com.tovik.ZED A").status, 1);
    ASSERT_EQ(defaults("delete com.tovik.ZED").status, 0);
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(DefaultsTool, DamagedDomainsAndImportsThatUsedToKillTheParserAreReported) {
    for (const std::string& bad : {zedtest::binaryWithNulInKey(), zedtest::nestedXmlArrays(200000),
                                   zedtest::xmlWithInteger("123456789012345678901234567890")}) {
        zedtest::writeFile(file(), bad);
        auto r = defaults("read com.tovik.ZED");
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("moved it to"), std::string::npos) << r.out;
        EXPECT_FALSE(std::filesystem::exists(file()));

        zedtest::writeFile(dir.file("bad.plist"), bad);
        r = defaults("import com.tovik.Copy " + dir.file("bad.plist"));
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("not a property list"), std::string::npos) << r.out;
    }
}

// A FIFO blocked the tool until killed; `timeout` ends it (status 124) should
// that come back.
TEST_F(DefaultsTool, AFifoInPlaceOfTheDomainIsRefusedAtOnceAndKept) {
    ASSERT_EQ(mkfifo(file().c_str(), 0600), 0);
    for (const char* command : {"read com.tovik.ZED", "write com.tovik.ZED Sensitivity -float 1",
                                "delete com.tovik.ZED"}) {
        auto r = zedtest::run("XDG_CONFIG_HOME=" + dir.path() +
                              " timeout 10 " ZED_DEFAULTS_BIN " " + command + " 2>&1");
        EXPECT_EQ(r.status, 1) << command << ": " << r.out;
        EXPECT_NE(r.out.find(file() + " is a FIFO, not a regular file"), std::string::npos)
            << command << ": " << r.out;
        EXPECT_EQ(r.out.find("does not exist"), std::string::npos) << command << ": " << r.out;
    }
    EXPECT_EQ(std::filesystem::symlink_status(file()).type(), std::filesystem::file_type::fifo);
}

// A file the user may not read is there all the same: it is never called
// missing, moved aside or written over. Root reads it regardless, so the
// tool then runs as nobody.
TEST_F(DefaultsTool, AFileThatCannotBeReadIsSaidSoAndLeftIntact) {
    ASSERT_EQ(defaults("write com.tovik.ZED Sensitivity -float 2.5").status, 0);
    const std::string before = zedtest::readFile(file());
    std::string asUser;
    if (geteuid() == 0) {
        if (!zedtest::haveCommand("setpriv")) {
            GTEST_SKIP() << "running as root without setpriv to drop privileges";
        }
        const passwd* nobody = getpwnam("nobody");
        ASSERT_TRUE(nobody);
        ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
        for (const std::string& p : {dir.path(), file(), file() + ".lock"}) {
            ASSERT_EQ(chown(p.c_str(), nobody->pw_uid, nobody->pw_gid), 0) << p;
        }
        asUser =
            "setpriv --reuid=nobody --regid=" + std::to_string(nobody->pw_gid) + " --clear-groups ";
    }
    ASSERT_EQ(chmod(file().c_str(), 0), 0);
    for (const auto& [command, says] :
         {std::pair{"read com.tovik.ZED", "the domain com.tovik.ZED cannot be read"},
          std::pair{"export com.tovik.ZED -", "the domain com.tovik.ZED cannot be read"},
          std::pair{"write com.tovik.ZED Sensitivity -float 1", "not writing over it"},
          std::pair{"delete com.tovik.ZED", "the domain com.tovik.ZED cannot be read"}}) {
        auto r = zedtest::run(asUser + "env XDG_CONFIG_HOME=" + dir.path() +
                              " " ZED_DEFAULTS_BIN " " + command + " 2>&1");
        EXPECT_EQ(r.status, 1) << command << ": " << r.out;
        EXPECT_NE(r.out.find("cannot read " + file() + " (permission denied)"), std::string::npos)
            << command << ": " << r.out;
        EXPECT_NE(r.out.find(says), std::string::npos) << command << ": " << r.out;
    }
    ASSERT_EQ(chmod(file().c_str(), 0600), 0);
    EXPECT_EQ(zedtest::readFile(file()), before);
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(e.path().string().find(".corrupt-"), std::string::npos) << e.path();
    }
}

} // namespace zed::test
