#include "Platform/core/PropertyList.h"

#include "DamagedPropertyLists.h"
#include "TestUtil.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <sys/wait.h>
#include <unistd.h>

namespace zed::test {

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

// Parses in a child process first, so that bytes which kill the parser fail
// one check instead of ending the test program. True when the child came back
// and the bytes were refused.
bool refusedInChild(const std::string& bytes) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(zed::parsePropertyList(bytes) ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string refusal(const std::string& bytes) {
    std::string error;
    auto v = zed::parsePropertyList(bytes, &error);
    return v ? "parsed" : error;
}

using zedtest::xmlList;

// `levels` arrays, each holding the next, the innermost holding `true`.
std::string binaryChain(int levels) {
    zedtest::BinaryPlist p(2);
    for (int i = 0; i < levels; ++i) {
        p.addArray({static_cast<std::size_t>(i) + 1});
    }
    p.addTrue();
    return p.bytes();
}

Value nestedValue(int levels) {
    Value v(true);
    for (int i = 0; i < levels; ++i) {
        v = Value(zed::Array{v});
    }
    return v;
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

TEST(PropertyListHostile, NulCharactersInBinaryKeysAndStringsAreRefused) {
    const std::string nulKey = zedtest::binaryWithNulInKey();
    ASSERT_TRUE(refusedInChild(nulKey)) << "a UTF-16 key holding U+0000 must be refused, not fatal";
    EXPECT_NE(refusal(nulKey).find("NUL"), std::string::npos) << refusal(nulKey);

    zedtest::BinaryPlist value; // { "A" = "A<U+0000>" }
    value.addDict({1}, {2});
    value.addAscii("A");
    value.addUtf16({'A', 0x0000});
    EXPECT_TRUE(refusedInChild(value.bytes()));

    zedtest::BinaryPlist ascii; // { "A<NUL>B" = true }
    ascii.addDict({1}, {2});
    ascii.addAscii(std::string("A\0B", 3));
    ascii.addTrue();
    EXPECT_TRUE(refusedInChild(ascii.bytes()));

    const std::string xml =
        xmlList(std::string("<dict><key>a</key><string>x\0y</string></dict>", 45));
    EXPECT_TRUE(refusedInChild(xml)) << "a NUL byte is no XML character";
}

TEST(PropertyListHostile, XmlNestedFarPastTheLimitIsRefusedWithoutExhaustingTheStack) {
    const std::string deep = zedtest::nestedXmlArrays(200000);
    ASSERT_TRUE(refusedInChild(deep));
    EXPECT_NE(refusal(deep).find("nesting deeper than 256 levels"), std::string::npos)
        << refusal(deep);

    // Closing tags inside comments, processing instructions, quoted attributes
    // and character data close nothing: the nesting is still counted in full.
    const std::string decoys[] = {
        "<array><!-- </array></array> -->",
        "<array><?note \"?></array>\"?>",
        "<array kind=\"></array>\">",
        "<array><string><![CDATA[</array>]]><!--</string></array>--></string>",
    };
    std::string body;
    for (int i = 0; i < 200000; ++i) {
        body += decoys[i % 4];
    }
    for (int i = 0; i < 200000; ++i) {
        body += "</array>";
    }
    const std::string fooling = xmlList(body);
    ASSERT_TRUE(refusedInChild(fooling));
    EXPECT_NE(refusal(fooling).find("nesting deeper"), std::string::npos) << refusal(fooling);

    // The same decoys in a shallow list are ordinary content.
    std::string shallow;
    for (int i = 0; i < 8; ++i) {
        shallow += decoys[i % 4];
    }
    for (int i = 0; i < 8; ++i) {
        shallow += "</array>";
    }
    auto v = zed::parsePropertyList(xmlList(shallow));
    ASSERT_TRUE(v) << refusal(xmlList(shallow));
    int levels = 0;
    for (const zed::Array* level = v->asArray(); level && !level->empty();
         level = level->back().asArray()) {
        if (levels % 4 == 3) {
            EXPECT_EQ(level->front(), Value("</array>")) << "level " << levels;
        }
        ++levels;
    }
    EXPECT_EQ(levels, 8);
}

TEST(PropertyListHostile, BinaryDeepChainsCyclesSharingBlowUpsAndBadReferencesAreRefused) {
    const std::string chain = binaryChain(5000);
    ASSERT_TRUE(refusedInChild(chain));
    EXPECT_NE(refusal(chain).find("nesting deeper than 256 levels"), std::string::npos)
        << refusal(chain);

    zedtest::BinaryPlist self; // an array holding itself
    self.addArray({0});
    EXPECT_TRUE(refusedInChild(self.bytes()));
    zedtest::BinaryPlist loop; // { "a" = [ <the dictionary> ] }
    loop.addDict({1}, {2});
    loop.addAscii("a");
    loop.addArray({0});
    EXPECT_TRUE(refusedInChild(loop.bytes()));

    // Each array holds the next one twice: 20 levels are a million nodes
    // once every reference is followed.
    zedtest::BinaryPlist blowUp;
    for (std::size_t i = 0; i < 20; ++i) {
        blowUp.addArray({i + 1, i + 1});
    }
    blowUp.addTrue();
    ASSERT_TRUE(refusedInChild(blowUp.bytes()));
    EXPECT_NE(refusal(blowUp.bytes()).find("more than"), std::string::npos)
        << refusal(blowUp.bytes());

    zedtest::BinaryPlist outOfRange; // a reference past the last object
    outOfRange.addArray({7});
    EXPECT_TRUE(refusedInChild(outOfRange.bytes()));
    zedtest::BinaryPlist numberKey; // { 5 = true }
    numberKey.addDict({1}, {2});
    numberKey.add("\x10\x05");
    numberKey.addTrue();
    EXPECT_TRUE(refusedInChild(numberKey.bytes()));
    zedtest::BinaryPlist one;
    one.addTrue();
    std::string badOffset = one.bytes();
    badOffset[9] = '\x7F'; // the only offset now points far past the end
    EXPECT_TRUE(refusedInChild(badOffset));
}

TEST(PropertyListHostile, Utf16SharedObjectsAndNestingUpToTheLimitReadAsBefore) {
    // { "éA" = "☺😀", "x" = "☺😀", "list" = ["x", "x"] }, every shared object
    // written once, the way writers that share equal values lay it out.
    zedtest::BinaryPlist sharing;
    sharing.addDict({1, 3, 4}, {2, 2, 5});
    sharing.addUtf16({0x00E9, 'A'});
    sharing.addUtf16({0x263A, 0xD83D, 0xDE00});
    sharing.addAscii("x");
    sharing.addAscii("list");
    sharing.addArray({3, 3});
    std::string error;
    auto v = zed::parsePropertyList(sharing.bytes(), &error);
    ASSERT_TRUE(v) << error;
    EXPECT_EQ(*v, Value(zed::Dictionary{
                      {"\xC3\xA9"
                       "A",
                       Value("\xE2\x98\xBA\xF0\x9F\x98\x80")},
                      {"x", Value("\xE2\x98\xBA\xF0\x9F\x98\x80")},
                      {"list", Value(zed::Array{Value("x"), Value("x")})},
                  }));

    // 256 levels below the top are allowed, one more is not, in either format.
    auto deepest = zed::parsePropertyList(binaryChain(256), &error);
    ASSERT_TRUE(deepest) << error;
    EXPECT_EQ(*deepest, nestedValue(256));
    EXPECT_FALSE(zed::parsePropertyList(binaryChain(257)));
    auto deepestXml = zed::parsePropertyList(zed::toXmlPropertyList(nestedValue(256)), &error);
    ASSERT_TRUE(deepestXml) << error;
    EXPECT_EQ(*deepestXml, nestedValue(256));
    EXPECT_FALSE(zed::parsePropertyList(zed::toXmlPropertyList(nestedValue(257))));
}

namespace {

struct Undecodable {
    const char* name;
    std::string bytes;
    const char* reason;
};

void PrintTo(const Undecodable& p, std::ostream* os) {
    *os << p.name;
}

std::string binaryKeyed(const std::function<std::size_t(zedtest::BinaryPlist&)>& addKey,
                        const std::function<std::size_t(zedtest::BinaryPlist&)>& addValue) {
    zedtest::BinaryPlist p;
    p.addDict({1}, {2});
    addKey(p);
    addValue(p);
    return p.bytes();
}

const char* const kBase64 = "a <data> value that is not valid base64";
const char* const kRange = "an <integer> that is not a number from -2^63 to 2^64-1";

} // namespace

// Values the library would turn into something else without a word: the
// list is refused, so the file is moved aside instead of written back altered.
class PropertyListUndecodable : public testing::TestWithParam<Undecodable> {};

TEST_P(PropertyListUndecodable, IsRefusedWithItsReason) {
    EXPECT_EQ(refusal(GetParam().bytes), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Values, PropertyListUndecodable,
    testing::Values(
        Undecodable{"DataOutsideTheAlphabet",
                    xmlList("<dict><key>M</key><data>!!!notbase64$$</data></dict>"), kBase64},
        Undecodable{"DataWithoutPadding", xmlList("<dict><key>M</key><data>QUJ</data></dict>"),
                    kBase64},
        Undecodable{"DataPaddedInTheMiddle",
                    xmlList("<dict><key>M</key><data>QQ==QUJD</data></dict>"), kBase64},
        Undecodable{"DataWithAComment",
                    xmlList("<dict><key>M</key><data>QU<!-- x -->JD</data></dict>"), kBase64},
        Undecodable{"ThirtyDigits", zedtest::xmlWithInteger("123456789012345678901234567890"),
                    kRange},
        Undecodable{"TwoToThe64", zedtest::xmlWithInteger("18446744073709551616"), kRange},
        Undecodable{"BelowMinus2To63", zedtest::xmlWithInteger("-9223372036854775809"), kRange},
        Undecodable{"TrailingLetters", zedtest::xmlWithInteger("12abc"), kRange},
        Undecodable{"LeadingZero", zedtest::xmlWithInteger("010"), kRange},
        Undecodable{"EmptyInteger", xmlList("<dict><key>S</key><integer/></dict>"), kRange},
        Undecodable{"XmlKeyNotUtf8", xmlList("<dict><key>S\xFF</key><true/></dict>"),
                    "a key that is not valid UTF-8"},
        Undecodable{"XmlStringOverlong",
                    xmlList("<dict><key>S</key><string>\xC0\xAF</string></dict>"),
                    "a string that is not valid UTF-8"},
        Undecodable{"BinaryIntegerOf128Bits",
                    binaryKeyed([](auto& p) { return p.addAscii("S"); },
                                [](auto& p) { return p.addInteger16(1, 5); }),
                    "an integer wider than 64 bits"},
        Undecodable{"BinaryKeyNotUtf8",
                    binaryKeyed([](auto& p) { return p.addAscii("S\xFF"); },
                                [](auto& p) { return p.addTrue(); }),
                    "a key that is not valid UTF-8"},
        Undecodable{"BinaryLoneSurrogate",
                    binaryKeyed(
                        [](auto& p) {
                            return p.addUtf16({0xD800, 'A'});
                        },
                        [](auto& p) { return p.addTrue(); }),
                    "a UTF-16 string with an unpaired surrogate"}),
    [](const testing::TestParamInfo<Undecodable>& info) { return std::string(info.param.name); });

// The checks above must not refuse what other writers put in files: every
// integer of either range, hexadecimal, padded base64 over several lines, and
// the 16-byte integers written for values past the signed range.
TEST(PropertyListUndecodableEdges, ValuesAtTheEdgesOfTheirRangesStillRead) {
    const std::pair<std::string, Value> cases[] = {
        {zedtest::xmlWithInteger("-9223372036854775808"),
         Value(std::numeric_limits<std::int64_t>::min())},
        {zedtest::xmlWithInteger("18446744073709551615"), Value(std::int32_t{-1})},
        {zedtest::xmlWithInteger("\n +0x7fffffffffffffff "),
         Value(std::numeric_limits<std::int64_t>::max())},
        {zedtest::xmlWithInteger("0"), Value(std::int32_t{0})},
        {xmlList("<dict><key>Sensitivity</key><data>\n\tQUJD\n\tQQ==\n</data></dict>"),
         Value(zed::Data{'A', 'B', 'C', 'A'})},
        {binaryKeyed([](auto& p) { return p.addAscii("Sensitivity"); },
                     [](auto& p) { return p.addInteger16(0, ~std::uint64_t{0}); }),
         Value(std::int32_t{-1})},
    };
    for (const auto& [bytes, value] : cases) {
        std::string error;
        auto v = zed::parsePropertyList(bytes, &error);
        ASSERT_TRUE(v) << error << "\n" << bytes;
        EXPECT_EQ(*v, Value(zed::Dictionary{{"Sensitivity", value}})) << bytes;
    }
}

} // namespace zed::test
