#include "core/text_codec.h"

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

TEST(GbkEncoding, CharactersOutsideGbkBecomeGb18030) {
    EXPECT_EQ(EncodeGbk(u"a😀b"),
              "a\x94\x39\xFC\x36"
              "b");
    EXPECT_EQ(EncodeGbk(u"ẞ"), "\x81\x35\xFE\x32");
    // Lossless: GB18030 reads them back.
    EXPECT_EQ(DecodeGb18030(EncodeGbk(u"鲜花😀ẞ")), u"鲜花😀ẞ");
}

TEST(GbkEncoding, UnpairedSurrogateBecomesReplacement) {
    const std::u16string lone = {u'a', char16_t(0xD800), u'b'};
    EXPECT_EQ(DecodeGb18030(EncodeGbk(lone)), u"a\uFFFDb");
}

TEST(GbkEncoding, LongTextOfFourByteCharacters) {
    // Every unit takes the longest encoding GB18030 has.
    const std::u16string text(100'000, u'ẞ');
    const std::string bytes = EncodeGbk(text);
    ASSERT_EQ(bytes.size(), 400'000U);
    EXPECT_EQ(bytes.substr(399'996), "\x81\x35\xFE\x32");
}

TEST(Decoding, InvalidBytesBecomeReplacement) {
    EXPECT_EQ(DecodeGb18030("a\x81"), u"a\uFFFD");  // cut short in a two-byte character
    EXPECT_EQ(DecodeGb18030("\xCF\xCA\xFF"), u"鲜\uFFFD");
    EXPECT_EQ(DecodeUtf8("ok\xE4\xB8"), u"ok\uFFFD");
    EXPECT_EQ(DecodeUtf8("\xE4\xB8\xAD\xE6\x96\x87"), u"中文");
    EXPECT_EQ(EncodeUtf8(u"中文 ok"), "\xE4\xB8\xAD\xE6\x96\x87 ok");
}

TEST(SearchAddressTest, KeywordIsPercentEncodedGbk) {
    EXPECT_EQ(SearchAddress(SearchUrlPrefix, u"鲜花"), "http://www.baidu.com/s?wd=%CF%CA%BB%A8");
    EXPECT_EQ(PercentEncodeKeyword(u"a b&c#d%e+f"), "a%20b%26c%23d%25e%2Bf");
    EXPECT_EQ(PercentEncodeKeyword(u"AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(PercentEncodeKeyword(u"/?=\r\n"), "%2F%3F%3D%0D%0A");
    EXPECT_EQ(PercentEncodeKeyword(u"😀"), "%949%FC6");  // 0x39 and 0x36 are "9" and "6"
}

TEST(SearchAddressTest, SearchHomePageIsSchemeAndHost) {
    EXPECT_EQ(SearchHomePage(SearchUrlPrefix), "http://www.baidu.com/");
    EXPECT_EQ(SearchHomePage("https://www.baidu.com:8443/s?wd="), "https://www.baidu.com:8443/");
    EXPECT_EQ(SearchHomePage("http://127.0.0.1:9/s?ie=utf-8&wd="), "http://127.0.0.1:9/");
    EXPECT_EQ(SearchHomePage("www.baidu.com/s?wd="), "www.baidu.com/");
    EXPECT_EQ(SearchHomePage("http:///s?wd="), "");
    EXPECT_EQ(SearchHomePage(""), "");
}

}  // namespace
}  // namespace slotscope
