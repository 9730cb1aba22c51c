// Reading XML through the access layer: names, selection, attributes, text and
// the parser's safety settings.
#include "data/XmlAccess.h"
#include "platform/xmldom/XmlDom.h"
#include "tests/support/Run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

class XmlAccessTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = support::FreshDir("xmlaccess"); }
    void TearDown() override
    {
        XmlRelease(document_);
        fs::remove_all(dir_);
    }

    std::wstring Write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return (dir_ / name).wstring();
    }

    XmlNode Load(const std::string& bytes)
    {
        EXPECT_TRUE(XmlLoadDocument(document_, Write("doc.xml", bytes).c_str()));
        return XmlDocumentNode(document_);
    }

    fs::path dir_;
    IXMLDOMDocument* document_ = nullptr;
};

TEST_F(XmlAccessTest, ChildrenAreMatchedExactlyAndCountedInOrder)
{
    XmlNode root = Load("<?xml version=\"1.0\"?>\n<bits><songs>\n"
                        "  <song path=\"a\"/><!-- song --><Song path=\"X\"/><other/>\n"
                        "  <song path=\"b\"/>text<song path=\"c\"/><songs/>\n"
                        "</songs></bits>");
    XmlNode bits = nullptr, songs = nullptr, song = nullptr;
    XmlFirstChild(root, bits, L"bits");
    ASSERT_NE(bits, nullptr);
    XmlFirstChild(bits, songs, L"songs");
    EXPECT_EQ(XmlCountChildren(songs, L"song"), 3);
    EXPECT_EQ(XmlCountChildren(songs, L"songs"), 1);
    // Non-elements never match, even when asked for by their DOM names.
    EXPECT_EQ(XmlCountChildren(songs, L"#comment"), 0);
    EXPECT_EQ(XmlCountChildren(songs, L"#text"), 0);

    WCHAR path[260] = {};
    XmlNthChild(songs, song, L"song", 2);
    XmlGetAttribute(song, L"path", path, 260);
    EXPECT_STREQ(path, L"c");
    EXPECT_EQ(XmlNthChild(songs, song, L"song", 3), nullptr);
    EXPECT_EQ(song, nullptr);
    EXPECT_EQ(XmlNthChild(songs, song, L"song", -1), nullptr);
    EXPECT_EQ(XmlFirstChild(songs, song, L"son"), nullptr);
    EXPECT_EQ(XmlFirstChild(songs, song, L"songx"), nullptr);

    // An empty node has no children, attributes or text.
    WCHAR kept[10] = L"layer";
    EXPECT_EQ(XmlCountChildren(nullptr, L"song"), 0);
    EXPECT_EQ(XmlFirstChild(nullptr, song, L"song"), nullptr);
    XmlGetAttribute(nullptr, L"type", kept, 10);
    EXPECT_STREQ(kept, L"layer");
    WCHAR text[kXmlTextCapacity];
    text[0] = L'?';
    XmlGetText(nullptr, text);
    EXPECT_STREQ(text, L"");
}

TEST_F(XmlAccessTest, AttributesAreCutToCapacityAndAbsentOnesLeaveTheBuffer)
{
    XmlNode root = Load("<e y=\"1234567890123\" type=\"a&amp;b &#233;\" x=\"-20\"/>");
    XmlNode e = nullptr;
    XmlFirstChild(root, e, L"e");
    WCHAR number[10] = {};
    XmlGetAttribute(e, L"y", number, 10);
    EXPECT_STREQ(number, L"123456789");
    XmlGetAttribute(e, L"x", number, 10);
    EXPECT_STREQ(number, L"-20");
    WCHAR type[260] = L"layer";
    XmlGetAttribute(e, L"Type", type, 260);
    EXPECT_STREQ(type, L"layer");
    XmlGetAttribute(e, L"type", type, 260);
    EXPECT_STREQ(type, L"a&b \u00e9");
}

TEST_F(XmlAccessTest, NumbersAreReadFromTheFirstNineCharactersOrLeftAlone)
{
    XmlNode root = Load("<e big=\"1234567890123\" neg=\"-20px\" word=\"ten\" empty=\"\"/>");
    XmlNode e = nullptr;
    XmlFirstChild(root, e, L"e");
    int32_t value = 7;
    EXPECT_TRUE(XmlGetNumber(e, L"big", value));
    EXPECT_EQ(value, 123456789);
    EXPECT_TRUE(XmlGetNumber(e, L"neg", value));
    EXPECT_EQ(value, -20);
    value = 7;
    EXPECT_FALSE(XmlGetNumber(e, L"word", value));
    EXPECT_FALSE(XmlGetNumber(e, L"empty", value));
    EXPECT_FALSE(XmlGetNumber(e, L"missing", value));
    EXPECT_FALSE(XmlGetNumber(nullptr, L"big", value));
    EXPECT_EQ(value, 7);
}

TEST_F(XmlAccessTest, TextIsTrimmedWithWhiteSpaceRunsFolded)
{
    XmlNode root =
        Load("<!DOCTYPE t [<!ENTITY who \"the  crew\">]>"
             "<t>\n   Hello,\t\tworld!\r\n  <b>from</b> <![CDATA[<raw>]]> &who; <!-- no -->\n</t>");
    XmlNode t = nullptr;
    XmlFirstChild(root, t, L"t");
    static WCHAR text[kXmlTextCapacity];
    XmlGetText(t, text);
    EXPECT_STREQ(text, L"Hello, world! from <raw> the crew");

    std::string longText(30000, 'a');
    XmlRelease(document_);
    root = Load("<t>" + longText + "</t>");
    XmlFirstChild(root, t, L"t");
    XmlGetText(t, text);
    EXPECT_EQ(std::wcslen(text), kXmlTextCapacity - 1);
}

// A file that fails to load names itself and the reason in the log: the
// parser's words with line and column, or why the file could not be read.
TEST_F(XmlAccessTest, BrokenMissingOrSpecialFilesFailWithTheirReason)
{
    std::vector<std::string> log;
    SetLogSink([&](const std::string& line) { log.push_back(line); }, false);
    IXMLDOMDocument* document = nullptr;
    EXPECT_FALSE(XmlLoadDocument(document, Write("bad.xml", "<bits>\n  <songs></bits>").c_str()));
    EXPECT_EQ(document, nullptr);
    EXPECT_FALSE(XmlLoadDocument(document, Write("empty.xml", "").c_str()));
    EXPECT_FALSE(XmlLoadDocument(document, (dir_ / "missing.xml").wstring().c_str()));
    const fs::path fifo = dir_ / "fifo.xml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(XmlLoadDocument(document, fifo.wstring().c_str()));  // returns at once
    EXPECT_EQ(document, nullptr);
    XmlRelease(document);  // releasing nothing is harmless
    SetLogSink({}, true);

    ASSERT_EQ(log.size(), 4u);
    EXPECT_NE(log[0].find("bad.xml\": line 2, column "), std::string::npos) << log[0];
    EXPECT_NE(log[0].find("mismatch"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find("empty.xml\": "), std::string::npos) << log[1];
    EXPECT_NE(log[2].find("missing.xml\": No such file or directory\n"), std::string::npos) << log[2];
    EXPECT_NE(log[3].find("fifo.xml\": not a regular file\n"), std::string::npos) << log[3];
}

TEST_F(XmlAccessTest, NothingOutsideTheDocumentIsRead)
{
    std::wstring secret = Write("secret.txt", "SECRET");
    std::string url = "file://" + (dir_ / "secret.txt").string();
    XmlNode root = Load("<!DOCTYPE t SYSTEM \"" + (dir_ / "missing.dtd").string() +
                        "\" [<!ENTITY s SYSTEM \"" + url + "\">]><t a=\"x\">[&s;]</t>");
    XmlNode t = nullptr;
    XmlFirstChild(root, t, L"t");
    static WCHAR text[kXmlTextCapacity];
    XmlGetText(t, text);
    EXPECT_STREQ(text, L"[]");

    // Exponential entity expansion is refused rather than expanded.
    std::string laughs = "<!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\">";
    const char* prev = "a";
    std::string names = "bcdefghijk";
    for (char n : names) {
        laughs += std::string("<!ENTITY ") + n + " \"";
        for (int i = 0; i < 10; ++i) laughs += std::string("&") + prev + ";";
        laughs += "\">";
        static char buf[2];
        buf[0] = n;
        prev = buf;
    }
    laughs += "]><l>&k;</l>";
    IXMLDOMDocument* document = nullptr;
    if (XmlLoadDocument(document, Write("laughs.xml", laughs).c_str())) {
        XmlNode l = nullptr;
        XmlFirstChild(XmlDocumentNode(document), l, L"l");
        XmlGetText(l, text);
        EXPECT_LT(std::wcslen(text), kXmlTextCapacity);
        XmlRelease(document);
    }
}

TEST_F(XmlAccessTest, EncodingsAreDetected)
{
    // UTF-16 with a byte-order mark.
    std::u16string utf16 = u"<t a=\"\u00e9\u20ac\">x</t>";
    std::string bytes = "\xff\xfe";
    for (char16_t c : utf16) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    struct Case {
        std::string bytes;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {bytes, L"\u00e9\u20ac"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><t a=\"\xe9\"/>", L"\u00e9"},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><t a=\"\x80\"/>", L"\u20ac"},
        {"\xef\xbb\xbf<t a=\"\xc3\xa9\"/>", L"\u00e9"},
    };
    for (const Case& c : cases) {
        XmlRelease(document_);
        XmlNode t = nullptr;
        XmlFirstChild(Load(c.bytes), t, L"t");
        WCHAR value[16] = {};
        XmlGetAttribute(t, L"a", value, 16);
        EXPECT_STREQ(value, c.expected);
    }
}

}  // namespace
