#include "net/page_body.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text_codec.h"

namespace slotscope {
namespace {

TEST(DeclaredCharset, HeaderThenMetaThenGbk) {
    const std::string utf8Meta = "<html><head><meta charset=\"utf-8\">";
    const std::string gbkMeta =
        R"(<meta http-equiv="Content-Type" content="text/html; charset=GB2312">)";

    EXPECT_EQ(DeclaredCharset("text/html; charset=UTF-8", gbkMeta), BodyCharset::Utf8);
    EXPECT_EQ(DeclaredCharset("text/html;charset=\"gbk\"", utf8Meta), BodyCharset::Gb18030);
    EXPECT_EQ(DeclaredCharset("text/html", utf8Meta), BodyCharset::Utf8);
    EXPECT_EQ(DeclaredCharset("", gbkMeta), BodyCharset::Gb18030);
    EXPECT_EQ(DeclaredCharset("", "<meta charset='UTF8'>"), BodyCharset::Utf8);
    EXPECT_EQ(DeclaredCharset("", "<html>no declaration</html>"), BodyCharset::Gb18030);
    // A name this program does not read falls through to the next source.
    EXPECT_EQ(DeclaredCharset("text/html; charset=iso-8859-1", utf8Meta), BodyCharset::Utf8);
    // The word without a value is no declaration; a later one is.
    EXPECT_EQ(DeclaredCharset("", "<meta name=\"charset\"><meta charset=utf-8>"),
              BodyCharset::Utf8);
}

TEST(DeclaredCharset, OnlyTheFirstTwoKilobytesAreSearched) {
    const std::string late = std::string(2048, ' ') + "<meta charset=\"utf-8\">";
    EXPECT_EQ(DeclaredCharset("text/html", late), BodyCharset::Gb18030);
    const std::string early = std::string(2020, ' ') + "<meta charset=\"utf-8\">";
    EXPECT_EQ(DeclaredCharset("text/html", early), BodyCharset::Utf8);
}

TEST(DecodeBody, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(DecodeBody("\xCF\xCA\xBB\xA8", ""), u"鲜花");
    EXPECT_EQ(DecodeBody("\xCF\xCA\xBB", ""), u"鲜\uFFFD");
    EXPECT_EQ(DecodeBody("ok\xE9\xB2", "text/html; charset=utf-8"), u"ok\uFFFD");
    EXPECT_EQ(DecodeBody(std::string("a\0b", 3), ""), std::u16string(u"a\0b", 3));
}

TEST(VerificationAddress, HostAndPathWordsCount) {
    EXPECT_TRUE(IsVerificationAddress("https://wappass.baidu.com/static/captcha/tuxing.html"));
    EXPECT_TRUE(IsVerificationAddress("https://www.baidu.com/AntiSpider/check"));
    EXPECT_TRUE(IsVerificationAddress("/VERIFY"));
    EXPECT_FALSE(IsVerificationAddress("https://www.baidu.com/s"));
}

TEST(VerificationPage, TitleAndHeadMarkers) {
    const auto blocked = [](const std::u16string& page) {
        return IsVerificationPage(EncodeUtf8(page), BodyCharset::Utf8);
    };
    EXPECT_TRUE(blocked(u"<html><head><title>百度安全验证</title></head></html>"));
    EXPECT_TRUE(blocked(u"<title lang=\"zh\">\n 请验证 \n</title>"));
    EXPECT_TRUE(blocked(u"<html><p>请输入验证码</p>"));
    EXPECT_TRUE(blocked(u"<script>var antiSpider = 1;</script>"));
    EXPECT_TRUE(blocked(u"<title>验证"));  // an unclosed title still counts

    EXPECT_FALSE(blocked(u"<html><title>鲜花_百度搜索</title><p>正常结果</p>"));
    EXPECT_FALSE(blocked(u"<titles>验证</titles>"));
    EXPECT_FALSE(
        blocked(u"<html><title>ok</title>" + std::u16string(4096, u' ') + u"百度安全验证"));
    // The keyword shown in a results page's title is not the engine's verification.
    EXPECT_FALSE(blocked(u"<title>百度安全验证 antispider_百度搜索</title><p>结果</p>"));
    EXPECT_TRUE(blocked(u"<title>验证码_百度搜索</title><p>请输入验证码</p>"));

    // A GBK page without a declaration.
    EXPECT_TRUE(IsVerificationPage(EncodeGbk(u"<p>百度安全验证</p>"), BodyCharset::Gb18030));
    // A character cut at the 4 KB boundary does no harm.
    EXPECT_FALSE(IsVerificationPage(std::string(4095, 'a') + "\xCF\xCA", BodyCharset::Gb18030));
}

}  // namespace
}  // namespace slotscope
