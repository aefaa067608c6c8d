#include "DamagedPropertyLists.h"
#include "Platform/core/PropertyList.h"
#include "TestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>

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
