// Each paid listing's title and text, on the desktop's columns, the phone's list and the table
// layout.

#include <gtest/gtest.h>

#include <string>

#include "page/result_page.h"
#include "tests/support/page_generator.h"

namespace slotscope {
namespace {

// The listing as the only paid entry of a page of each layout; the columns and the phone show
// the "广告" label too.
ShownAds AdsOnEachLayout(const std::u16string& listing, PageKind kind, bool table) {
    const std::u16string label = u"<span data-tuiguang=\"1\">广告</span>";
    std::u16string page;
    if (table) {
        page = u"<html><body><table id=\"3001\" ><tr><td>" + listing +
               u"</td></tr></table></body></html>";
    } else if (kind == PageKind::Phone) {
        page =
            u"<html><head><title>鲜花_百度搜索</title></head><body><div id=\"results\">"
            u"<div class=\"ec_wise_ad\">" +
            listing + label + u"</div></div></body></html>";
    } else {
        page = testing::ColumnPage(u"<div class=\"result\">" + label + listing + u"</div>");
    }
    return CheckResultPage(page, u"absent.example", kind).ads;
}

struct AdCase {
    const char* name;
    std::u16string listing;
    std::string title;
    std::string text;
    const char* tableTitle = nullptr;  // where the table layout's first link differs
    const char* tableText = nullptr;
};

std::string Repeated(std::string_view text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

TEST(ListingAdTest, EachListingShowsItsTitleAndItsTextWithoutTheShownAddress) {
    const AdCase cases[] = {
        {"the heading's link, white space folded, the address and its path left out",
         u"<h3><a href=\"x\">鲜花  速递\n官网</a></h3><div>同城&nbsp;配送\t 两小时</div>"
         u"<div><span>www.<b>shop</b>.cn/lp?x=1</span></div>",
         "鲜花 速递 官网", "同城 配送 两小时"},
        {"a heading inside the link", u"<a href=\"x\"><h3>鲜花速递</h3></a><p>当天送达</p>",
         "鲜花速递", "当天送达"},
        {"no heading: the first link", u"<p>推广</p><a>第一个</a><a>第二个</a>", "第一个",
         "推广 第二个"},
        {"the heading's link wins over an earlier link",
         u"<a>商标</a><h3><a>标题</a></h3><p>正文</p>", "标题", "商标 正文", "商标", "标题 正文"},
        {"no link: no title", u"<p>只有文字 shop.cn 电话</p>", "", "只有文字 电话"},
        {"character references decoded",
         u"<h3><a>A &amp; B &lt;C&gt;</a></h3><p>&#x4E2D;&#25991;&copy;</p>", "A & B <C>", "中文©"},
        {"script, style and comments are no text",
         u"<h3><a>T</a></h3><script>var a = \"x\";</script><style>.a{}</style><p>正文</p>"
         u"<!-- a > b --><p>电话</p>",
         "T", "正文 电话"},
        {"an address with its scheme", u"<p>正文 https://www.shop.cn/a/b 电话</p>", "",
         "正文 电话"},
        {"cut at 200 characters, never inside one",
         u"<p>" + std::u16string(199, u'花') + u"\U00020000\U00020000</p>", "",
         Repeated("花", 199) + "\U00020000"},
    };
    for (const AdCase& c : cases) {
        for (const PageKind kind : {PageKind::Desktop, PageKind::Phone}) {
            const ShownAds ads = AdsOnEachLayout(c.listing, kind, false);
            ASSERT_EQ(ads.left.size(), 1U) << c.name;
            EXPECT_EQ(ads.left[0].title, c.title) << c.name;
            EXPECT_EQ(ads.left[0].text, c.text) << c.name;
        }
        const ShownAds table = AdsOnEachLayout(c.listing, PageKind::Desktop, true);
        ASSERT_EQ(table.left.size(), 1U) << c.name;
        EXPECT_EQ(table.left[0].title, c.tableTitle ? c.tableTitle : c.title) << c.name;
        EXPECT_EQ(table.left[0].text, c.tableText ? c.tableText : c.text) << c.name;
    }
}

}  // namespace
}  // namespace slotscope
