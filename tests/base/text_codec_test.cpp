#include "base/text_codec.h"

#include <gtest/gtest.h>

#include "core/search_address.h"

namespace slotscope {
namespace {

TEST(GbkEncoding, ChineseTextIsGbk) {
    EXPECT_EQ(EncodeGbk(u"鲜花"), "\xCF\xCA\xBB\xA8");
    EXPECT_EQ(EncodeGbk(u"左2右无推广位"),
              "\xD7\xF3"
              "2\xD3\xD2\xCE\xDE\xCD\xC6\xB9\xE3\xCE\xBB");
    EXPECT_EQ(EncodeGbk(u"abc , 1"), "abc , 1");
    EXPECT_EQ(EncodeGbk(u""), "");
}

TEST(GbkEncoding, CodePage936SpecificsAreKept) {
    // Code page 936 has the euro sign at 0x80, where GB18030 has A2E3.
    EXPECT_EQ(EncodeGbk(u"€"), "\x80");
}

TEST(GbkEncoding, SupplementaryCharactersBecomeGb18030) {
    EXPECT_EQ(EncodeGbk(u"a😀b"),
              "a\x94\x39\xFC\x36"
              "b");
    // Lossless: GB18030 reads them back.
    EXPECT_EQ(DecodeGb18030(EncodeGbk(u"鲜花😀𠀀")), u"鲜花😀𠀀");
}

// The four-byte forms of the Basic Multilingual Plane come from the system's GB18030 table.
class Gb18030TableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!KnowsAllOfGb18030()) {
            GTEST_SKIP() << "this system has no GB18030 table (Wine 8 lacks code page 54936)";
        }
    }
};

TEST_F(Gb18030TableTest, CharactersOutsideGbkBecomeGb18030) {
    EXPECT_EQ(EncodeGbk(u"ẞ"), "\x81\x35\xFE\x32");
    EXPECT_EQ(DecodeGb18030("\x81\x35\xFE\x32\x84\x31\xA4\x39"), u"ẞ\uFFFF");
    EXPECT_EQ(DecodeGb18030(EncodeGbk(u"鲜花😀ẞ")), u"鲜花😀ẞ");
}

TEST_F(Gb18030TableTest, UnpairedSurrogateBecomesReplacement) {
    const std::u16string lone = {u'a', char16_t(0xD800), u'b'};
    EXPECT_EQ(EncodeGbk(lone),
              "a\x84\x31\xA4\x37"
              "b");
    EXPECT_EQ(DecodeGb18030(EncodeGbk(lone)), u"a\uFFFDb");
}

TEST_F(Gb18030TableTest, LongTextOfFourByteCharacters) {
    // Every unit takes the longest encoding GB18030 has.
    const std::u16string text(100'000, u'ẞ');
    const std::string bytes = EncodeGbk(text);
    ASSERT_EQ(bytes.size(), 400'000U);
    EXPECT_EQ(bytes.substr(399'996), "\x81\x35\xFE\x32");
}

TEST(Decoding, InvalidBytesBecomeReplacement) {
    EXPECT_EQ(DecodeGb18030("a\x81"), u"a\uFFFD");  // cut short in a two-byte character
    EXPECT_EQ(DecodeGb18030("\xCF\xCA\xFF"), u"鲜\uFFFD");
    // A lead byte that a character cannot follow: the ASCII byte after it is read again.
    EXPECT_EQ(DecodeGb18030("\x81\x30\x81\x20x\x80"), u"\uFFFD0\uFFFD x\uFFFD");
    EXPECT_EQ(DecodeGb18030("\xE3\x32\x9A\x36\x81\x30\x81"), u"\uFFFD\uFFFD");
    EXPECT_EQ(DecodeUtf8("\xF0\x9F\x98\xC0\xAF\xED\xA0\x80"),
              u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(DecodeUtf8("ok\xE4\xB8"), u"ok\uFFFD");
    EXPECT_EQ(DecodeUtf8("\xE4\xB8\xAD\xE6\x96\x87"), u"中文");
    EXPECT_EQ(EncodeUtf8(u"中文 ok"), "\xE4\xB8\xAD\xE6\x96\x87 ok");
}

// A page's bytes may stand for its text as the parser's input exactly when decoding and encoding
// without NUL would give them back.
TEST(Decoding, BytesThatAreTheParsersInputAlready) {
    const struct {
        std::string_view bytes;
        bool kept;
    } cases[] = {
        {"", true},
        {"<p>ok</p>", true},
        {"\xE4\xB8\xAD\xF0\x9F\x98\x80\xC3\xA9\x7F", true},
        {"\xEF\xBB\xBF<html>", true},  // a byte-order mark is a character like any other
        {std::string_view("a\0b", 3), false},
        {"a\xFF", false},
        {"\xED\xA0\x80", false},  // an encoded surrogate
        {"\xC0\xAF", false},      // an overlong form
        {"ok\xE4\xB8", false},    // cut short
        // Within and after runs of plain ASCII, which are taken eight bytes at a time.
        {"<div>abcdefghijklmnop\xE4\xB8\xAD</div>", true},
        {std::string_view("<div>abcdefgh\0ijklmnop", 22), false},
        {std::string_view("abcdefghijklmno\0", 16), false},
        {"abcdefghijklmnop\xFF", false},
        {"abcdefg\xE4\xB8\xAD\xE4\xB8", false},
    };
    for (const auto& c : cases) {
        const std::string bytes(c.bytes);
        EXPECT_EQ(IsUtf8WithoutNul(bytes), c.kept) << bytes;
        EXPECT_EQ(EncodeUtf8WithoutNul(DecodeUtf8(bytes)) == bytes, c.kept) << bytes;
    }
}

std::string Utf16(std::u16string_view text, bool bigEndian) {
    std::string bytes;
    for (const char16_t c : text) {
        const char high = static_cast<char>(c >> 8);
        const char low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// Keyword files as Chinese Windows programs save them.
TEST(TextFiles, EncodingIsTakenFromTheBytes) {
    const std::u16string keywords = u"鲜花\r\n北京医院";
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + EncodeUtf8(keywords)},
        {"UTF-8", EncodeUtf8(keywords)},
        {"GBK (Notepad's ANSI)", "\xCF\xCA\xBB\xA8\r\n\xB1\xB1\xBE\xA9\xD2\xBD\xD4\xBA"},
        {"UTF-16 LE with BOM", "\xFF\xFE" + Utf16(keywords, false)},
        {"UTF-16 BE with BOM", "\xFE\xFF" + Utf16(keywords, true)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeTextFile(c.bytes), keywords) << c.name;
    }
    EXPECT_EQ(DecodeTextFile("\xFF\xFE" + Utf16(u"ab", false) + "c"), u"ab\uFFFD");  // half a unit
    EXPECT_EQ(DecodeTextFile(""), u"");
    EXPECT_EQ(DecodeTextFile("plain ascii"), u"plain ascii");
    // GBK bytes that also happen to be valid UTF-8 are read as UTF-8: "涓枃" is "中文" in UTF-8.
    EXPECT_EQ(DecodeTextFile("\xE4\xB8\xAD\xE6\x96\x87"), u"中文");
}

TEST(SearchAddressTest, KeywordIsPercentEncodedGbk) {
    EXPECT_EQ(SearchAddress(SearchUrlPrefix, u"鲜花"), "https://www.baidu.com/s?wd=%CF%CA%BB%A8");
    EXPECT_EQ(PercentEncodeKeyword(u"a b&c#d%e+f"), "a%20b%26c%23d%25e%2Bf");
    EXPECT_EQ(PercentEncodeKeyword(u"AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(PercentEncodeKeyword(u"/?=\r\n"), "%2F%3F%3D%0D%0A");
    EXPECT_EQ(PercentEncodeKeyword(u"😀"), "%949%FC6");  // 0x39 and 0x36 are "9" and "6"
}

TEST(SearchAddressTest, SearchHomePageIsSchemeAndHost) {
    EXPECT_EQ(SearchHomePage(SearchUrlPrefix), "https://www.baidu.com/");
    EXPECT_EQ(SearchHomePage("https://www.baidu.com:8443/s?wd="), "https://www.baidu.com:8443/");
    EXPECT_EQ(SearchHomePage("http://127.0.0.1:9/s?ie=utf-8&wd="), "http://127.0.0.1:9/");
    EXPECT_EQ(SearchHomePage("www.baidu.com/s?wd="), "www.baidu.com/");
    EXPECT_EQ(SearchHomePage("http:///s?wd="), "");
    EXPECT_EQ(SearchHomePage(""), "");
}

// EncodeUtf8WithoutNul takes plain ASCII eight units at a time: every other unit, at every place
// in and around such a run, comes out as itself in UTF-8, or as U+FFFD where it has none.
TEST(EncodeUtf8WithoutNul, EveryKindOfUnitAtEveryOffset) {
    const struct {
        std::u16string_view units;
        std::string_view utf8;
    } kinds[] = {
        {std::u16string_view(u"\0", 1), "\xEF\xBF\xBD"},
        {u"\xD800", "\xEF\xBF\xBD"},
        {u"\xDC00", "\xEF\xBF\xBD"},
        {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {u"\u00E9", "\xC3\xA9"},
        {u"\u4E2D", "\xE4\xB8\xAD"},
        {u"\x7F", "\x7F"},
    };
    const std::u16string ascii = u"<div id=\"a\">ABCDEFGH</div>";
    for (const auto& kind : kinds) {
        for (std::size_t at = 0; at <= ascii.size(); ++at) {
            const std::u16string page =
                ascii.substr(0, at) + std::u16string(kind.units) + ascii.substr(at);
            const std::string expected = EncodeUtf8(ascii.substr(0, at)) + std::string(kind.utf8) +
                                         EncodeUtf8(ascii.substr(at));
            EXPECT_EQ(EncodeUtf8WithoutNul(page), expected) << "at " << at;
        }
    }
}

}  // namespace
}  // namespace slotscope
