// Who holds the slots: the site each paid listing shows, in either layout and on the phone.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text_codec.h"
#include "page/result_page.h"
#include "tests/support/page_generator.h"

namespace slotscope {
namespace {

struct SiteCase {
    const char* name;
    std::u16string listing;  // one paid listing's markup, inside the entry or the table
    std::string site;
};

// A host name of `length` characters: "aaaa…a.cn".
std::u16string Host(std::size_t length) {
    return std::u16string(length - 3, u'a') + u".cn";
}

// The listing as the only paid entry of today's left column, and as the first listing of the
// table layout.
std::vector<std::string> ColumnSites(const std::u16string& listing) {
    const std::u16string page = testing::ColumnPage(
        u"<div class=\"result c-container\"><span data-tuiguang=\"1\">广告</span>" + listing +
        u"</div>");
    return CheckResultPage(page, u"absent.example", PageKind::Desktop).sites.left;
}

std::vector<std::string> TableSites(const std::u16string& listing) {
    const std::u16string page =
        u"<html><body><table id=\"3001\" ><tr><td>" + listing + u"</td></tr></table></body></html>";
    return CheckResultPage(page, u"absent.example", PageKind::Desktop).sites.left;
}

TEST(ShownSiteTest, EachListingShowsTheSiteOfItsLandingAddressElseItsFirstHostLikeWord) {
    const SiteCase cases[] = {
        {"the landing address first, its port and path left out",
         u"<a data-landurl=\"https://WWW.Shop.CN:8080/lp?x=1\">flower.example.net</a>", "shop.cn"},
        {"a display address split by bold", u"<a>鲜花</a><span>www.<b>shop</b>.cn</span>",
         "shop.cn"},
        {"a price is no host", u"<p>2.5元起 v1.2 flower.example.NET/path</p>",
         "flower.example.net"},
        {"trimmed of dots and hyphens", u"<p>--shop.cn.</p>", "shop.cn"},
        {"a last label of one letter, of digits, or of 25 letters is none",
         u"<p>abc.c a.b1 x.abcdefghijklmnopqrstuvwxy</p>", ""},
        {"script and style are no text",
         u"<script>var x = \"evil.example.com\";</script><style>.a{}</style><p>shop.cn</p>",
         "shop.cn"},
        {"an empty landing address falls back to the text", u"<a data-landurl=\"\">m.shop.cn</a>",
         "m.shop.cn"},
        {"nothing at all", u"<p>推广标题 官方网站</p>", ""},
        {"landing addresses that name no host leave it to the text",
         u"<a data-landurl=\"javascript:void(0)\" DATA-LANDURL=\"x\">www.third.cn</a>", "third.cn"},
        {"a landing address's own host, not one in its query, nor its user",
         u"<a DATA-LANDURL=\" Shop.cn/go?u=https://other.cn/ \">x</a>", "shop.cn"},
        {"without user, password and trailing dot",
         u"<a data-landurl=\"http://u:p@shop.cn./\">x</a>", "shop.cn"},
        // A host name's limit: 253 characters.
        {"a landing host of 253 characters",
         u"<a data-landurl=\"http://" + Host(253) + u"/\">x</a>", EncodeUtf8(Host(253))},
        {"a landing host of 254 leaves it to the text",
         u"<a data-landurl=\"http://www." + Host(254) + u"/\">shop.cn</a>", "shop.cn"},
        {"a word of 253 characters, after www.", u"<p>www." + Host(253) + u" </p>",
         EncodeUtf8(Host(253))},
        {"a word of 254 is none, and the next one tells", u"<p>" + Host(254) + u" shop.cn</p>",
         "shop.cn"},
        {"a word of four million is none", u"<p>" + Host(4'000'000) + u"</p>", ""},
    };
    for (const SiteCase& c : cases) {
        EXPECT_EQ(ColumnSites(c.listing), std::vector<std::string>{c.site}) << c.name;
        EXPECT_EQ(TableSites(c.listing), std::vector<std::string>{c.site}) << c.name;
    }
}

TEST(ShownSiteTest, EverySideListsItsListingsInSlotOrder) {
    // Table layout: all three left listings and the right ones, though the website is found.
    const PageCheck table = CheckResultPage(testing::ListingsPage(u"shop.example.cn", 2, 1),
                                            u"shop.example.cn", PageKind::Desktop);
    EXPECT_EQ(table.sites, (ShownSites{{"other.test", "shop.example.cn", "other.test"},
                                       {"shop.example.cn", "other.test", "other.test"}}));
    // The phone's top and bottom blocks.
    const PageCheck phone =
        CheckResultPage(testing::PhoneListingsPage(u"www.Shop.example.cn", 0, 2),
                        u"shop.example.cn", PageKind::Phone);
    EXPECT_EQ(phone.sites,
              (ShownSites{{"other.test", "other.test"}, {"other.test", "shop.example.cn"}}));
    // A page that is no result page shows none.
    EXPECT_EQ(CheckResultPage(u"<html>login</html>", u"x", PageKind::Desktop).sites, ShownSites{});
}

}  // namespace
}  // namespace slotscope
