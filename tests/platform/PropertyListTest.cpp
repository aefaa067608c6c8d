#include "Platform/PropertyList.h"

#include "TestUtil.h"

#include <gtest/gtest.h>
#include <limits>

using zed::Value;

namespace {

zed::Dictionary everyType() {
    return zed::Dictionary{
        {"int32", Value(std::int32_t{-42})},
        {"int32max", Value(std::numeric_limits<std::int32_t>::max())},
        {"int64", Value(std::int64_t{1} << 40)},
        {"int64min", Value(std::numeric_limits<std::int64_t>::min())},
        {"double", Value(9.8)},
        {"wholeDouble", Value(10.0)},
        {"true", Value(true)},
        {"false", Value(false)},
        {"string", Value("héllo <&> \"world\"")},
        {"empty", Value("")},
        {"data", Value(zed::Data{0x00, 0x06, 0x03, 0xFF})},
        {"mappings", Value(zed::Array{Value(zed::Data{0x00}), Value(zed::Data{}),
                                      Value(zed::Array{Value(zed::Data{0x06, 0x03, '5'})})})},
        {"nested", Value(zed::Dictionary{{"inner", Value(zed::Dictionary{})}})},
    };
}

} // namespace

TEST(PropertyListRoundTrip, XmlAndBinaryKeepEveryTypeAndTheIntegerRealDistinction) {
    const Value original(everyType());
    for (const std::string& bytes :
         {zed::toXmlPropertyList(original), zed::toBinaryPropertyList(original)}) {
        std::string error;
        auto back = zed::parsePropertyList(bytes, &error);
        ASSERT_TRUE(back) << error;
        EXPECT_EQ(*back, original);
    }
    const std::string xml = zed::toXmlPropertyList(original);
    EXPECT_NE(xml.find("<real>10"), std::string::npos) << "a whole double must stay a real";
}

TEST(PropertyListForeign, BinaryWrittenByPythonReadsWithTheRightTypes) {
    zedtest::TempDir dir;
    const std::string file = dir.file("py.plist");
    const std::string script =
        "import plistlib,sys\n"
        "d={'Sensitivity':9.8,'Whole':10.0,'Orientation':1,'Big':1<<40,'Neg':-5,"
        "'On':True,'Name':'x','ButtonMappings':[b'\\x00',b'\\x06\\x03567,520']}\n"
        "open(sys.argv[1],'wb').write(plistlib.dumps(d,fmt=plistlib.FMT_BINARY))\n";
    zedtest::writeFile(dir.file("w.py"), script);
    ASSERT_EQ(zedtest::run(zedtest::python() + " " + dir.file("w.py") + " " + file).status, 0);
    auto v = zed::parsePropertyList(zedtest::readFile(file));
    ASSERT_TRUE(v);
    const zed::Dictionary& d = *v->asDictionary();
    EXPECT_EQ(d.at("Sensitivity"), Value(9.8));
    EXPECT_EQ(d.at("Whole"), Value(10.0));
    EXPECT_EQ(d.at("Orientation"), Value(std::int32_t{1}));
    EXPECT_EQ(d.at("Big"), Value(std::int64_t{1} << 40));
    EXPECT_EQ(d.at("Neg"), Value(std::int32_t{-5}));
    EXPECT_EQ(d.at("On"), Value(true));
    EXPECT_EQ(d.at("ButtonMappings"),
              Value(zed::Array{Value(zed::Data{0}),
                               Value(zed::Data{6, 3, '5', '6', '7', ',', '5', '2', '0'})}));
}

TEST(PropertyListForeign, OurXmlReadsBackInPythonAndPlistutil) {
    zedtest::TempDir dir;
    const std::string file = dir.file("ours.plist");
    zedtest::writeFile(file, zed::toXmlPropertyList(Value(everyType())));
    const std::string script =
        "import plistlib,sys\n"
        "d=plistlib.load(open(sys.argv[1],'rb'))\n"
        "assert d['double']==9.8 and isinstance(d['double'],float)\n"
        "assert d['wholeDouble']==10.0 and isinstance(d['wholeDouble'],float)\n"
        "assert d['int32']==-42 and isinstance(d['int32'],int)\n"
        "assert d['int64']==1<<40 and d['int64min']==-(1<<63)\n"
        "assert d['true'] is True and d['data']==b'\\x00\\x06\\x03\\xff'\n"
        "assert d['mappings'][2][0]==b'\\x06\\x035' and d['nested']=={'inner':{}}\n"
        "print('ok')\n";
    zedtest::writeFile(dir.file("r.py"), script);
    auto r = zedtest::run(zedtest::python() + " " + dir.file("r.py") + " " + file + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;

    if (!zedtest::haveCommand("plistutil")) {
        GTEST_SKIP() << "plistutil is not installed";
    }
    // plistutil converts to binary and back: what it reads must be what we wrote.
    ASSERT_EQ(
        zedtest::run("plistutil -i " + file + " -o " + dir.file("b.plist") + " -f bin").status, 0);
    auto back = zed::parsePropertyList(zedtest::readFile(dir.file("b.plist")));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, Value(everyType()));
}

TEST(PropertyListBadInput, GarbageTruncationAndDeepNestingAreRejectedNotFatal) {
    std::string error;
    EXPECT_FALSE(zed::parsePropertyList("", &error));
    EXPECT_FALSE(zed::parsePropertyList("hello, world", &error));
    EXPECT_FALSE(error.empty());

    const std::string binary = zed::toBinaryPropertyList(Value(everyType()));
    for (std::size_t cut : {std::size_t{8}, binary.size() / 2, binary.size() - 1}) {
        auto v = zed::parsePropertyList(binary.substr(0, cut));
        EXPECT_FALSE(v) << "a binary list cut at " << cut << " bytes must not parse";
    }
    const std::string xml = zed::toXmlPropertyList(Value(everyType()));
    EXPECT_FALSE(zed::parsePropertyList(xml.substr(0, xml.size() / 2)));

    std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 2000; ++i) {
        deep += "<array>";
    }
    for (int i = 0; i < 2000; ++i) {
        deep += "</array>";
    }
    deep += "</plist>";
    EXPECT_FALSE(zed::parsePropertyList(deep)); // must not exhaust the stack either
}
