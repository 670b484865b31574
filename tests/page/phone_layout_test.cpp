// The phone's result page (one list, paid listings on top and at the bottom), read through
// CheckResultPage.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text_codec.h"
#include "page/result_page.h"
#include "tests/support/page_generator.h"
#include "tests/support/printers.h"

namespace slotscope {
namespace {

constexpr std::u16string_view kSite = u"shop.example.cn";
const PositionLabels kNoListings{u"上无推广位", u"下无推广位"};

std::u16string PhonePage(std::u16string_view entries,
                         std::u16string_view list = u"<div id=\"results\" class=\"results\">") {
    return u"<html><head><title>鲜花_百度搜索</title></head><body><div id=\"page\">" +
           std::u16string(list) + std::u16string(entries) + u"</div></div></body></html>";
}

std::u16string Organic(std::u16string_view body = u"organic.test") {
    return u"<div class=\"c-result result\" tpl=\"www_index\"><h3>" + std::u16string(body) +
           u"</h3></div>";
}

// A paid entry, whose only sign is its class.
std::u16string Paid(std::u16string_view body = u"other.test") {
    return u"<div class=\"c-result-ad ec_wise_ad\"><h3>" + std::u16string(body) + u"</h3></div>";
}

using Outcome = PageCheck::Outcome;

struct PageCase {
    const char* name;
    std::u16string page;
    Outcome outcome;
    PositionLabels labels;
};

void ExpectReads(const std::vector<PageCase>& cases) {
    for (const PageCase& c : cases) {
        const PageCheck check = CheckResultPage(c.page, kSite, PageKind::Phone);
        EXPECT_EQ(check.outcome, c.outcome) << c.name;
        EXPECT_EQ(check.labels, c.labels) << c.name;
    }
}

// Each of the phone's own signs marks a listing, and so does a desktop sign; class tokens
// compare whole and in their own case.
TEST(PhoneLayout, Signs) {
    const struct {
        std::u16string_view entry;
        bool paid;
    } cases[] = {
        {u"<div class=\"ec_wise_ad\">", true},
        {u"<div class=\"x ec_ad_results\">", true},
        {u"<div class=\"ec_resitem\tc\">", true},
        {u"<div class=\"ec_wise_pp\">", true},
        {u"<div class=\"ec-result-inner\">", true},
        {u"<div class=\"ecfc-tuiguang\">", true},
        {u"<div class=\"ec_youxuan_card\">", true},
        {u"<div class=\"ec_r_7f3a\">", true},
        {u"<div><p data-cmatchid=\"222\"></p>", true},
        {u"<div><span> 广告 </span>", true},
        {u"<div class=\"EC_WISE_AD\">", false},
        {u"<div class=\"my-ec_wise_ad ec_wise_ads\">", false},
        {u"<div><em>广告</em>", false},
    };
    for (const auto& c : cases) {
        const std::u16string page = PhonePage(std::u16string(c.entry) + u"shop.example.cn</div>");
        const PositionLabels expected =
            c.paid ? PositionLabels{u"上1", u"下无推广位"} : kNoListings;
        EXPECT_EQ(CheckResultPage(page, kSite, PageKind::Phone).labels, expected)
            << EncodeUtf8(c.entry);
    }
}

// Where the list is, how its paid listings fall into the top and bottom blocks, and what is no
// result page at all.
TEST(PhoneLayout, ListsAndBlocks) {
    const PositionLabels none;
    ExpectReads({
        {"TopNumberedInOrder",
         PhonePage(Paid() + Paid(kSite) + Organic()),
         Outcome::Read,
         {u"上2", u"下无推广位"}},
        {"FoundOnTopBottomOnlySaysItHasListings",
         PhonePage(Paid(kSite) + Organic() + Paid(kSite)),
         Outcome::Read,
         {u"上1", u"下无"}},
        {"BottomNumberedFromOne",
         PhonePage(Paid() + Organic(kSite) + Organic() + Paid() + Paid(u"SHOP.example.cn")),
         Outcome::Read,
         {u"上无", u"下2"}},
        {"AmongTheOrganicResultsIsBottom",
         PhonePage(Organic() + Paid(kSite) + Organic()),
         Outcome::Read,
         {u"上无推广位", u"下1"}},
        {"WebsiteInAnAttribute",
         PhonePage(Organic() + u"<div class=\"ec_resitem\" data-lp=\"https://m.shop.example.cn/"
                               u"lp\"><h3>花</h3></div>"),
         Outcome::Read,
         {u"上无推广位", u"下1"}},
        {"ScriptsAndStylesAreNoEntries",
         PhonePage(u"<script>var a = 1;</script><style>.a{}</style>" + Paid(kSite) + Organic()),
         Outcome::Read,
         {u"上1", u"下无推广位"}},
        {"TablesAreLookedThrough",
         PhonePage(u"<table><tbody><tr><td>" + Paid() + u"</td><td>" + Paid(kSite) +
                   u"</td></tr></tbody></table>"),
         Outcome::Read,
         {u"上2", u"下无推广位"}},
        {"ListByClassWithoutId",
         PhonePage(Paid(kSite), u"<div class=\"se-page results\">"),
         Outcome::Read,
         {u"上1", u"下无推广位"}},
        {"ListByIdWinsOverAnEarlierOneByClass",
         PhonePage(u"</div><div id=\"results\">" + Organic() + Paid(kSite),
                   u"<div class=\"results\">" + Paid(kSite)),
         Outcome::Read,
         {u"上无推广位", u"下1"}},
        {"FirstListByIdCounts",
         PhonePage(Organic() + u"</div><div id=\"results\">" + Paid(kSite),
                   u"<div id=\"results\">"),
         Outcome::Read, kNoListings},
        {"NoListButTheSearchTitle", PhonePage(Paid(kSite), u"<div id=\"result\">"), Outcome::Read,
         kNoListings},
        {"PhoneTitle", u"<title>鲜花 - 百度</title><div>shop.example.cn</div>", Outcome::Read,
         kNoListings},
        {"ListAfterTheDocumentsEnd",
         u"<html><body><p>x</p></body></html>" + PhonePage(Organic() + Paid(kSite)),
         Outcome::Read,
         {u"上无推广位", u"下1"}},
        {"Empty", u"", Outcome::NotResultPage, none},
        {"LoginWall", u"<title>登录百度帐号</title>请登录", Outcome::NotResultPage, none},
        {"ScriptStub", u"<script>var results = [];</script>", Outcome::NotResultPage, none},
        {"OtherClass", u"<p class=\"results-x\">百度</p>", Outcome::NotResultPage, none},
    });
}

// --- Hostile pages: read without a crash, in linear time and bounded memory ---

std::u16string Repeat(std::u16string_view piece, std::size_t times) {
    std::u16string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

TEST(PhoneLayoutHostile, PagesBrokenInEveryWayGetAnAnswer) {
    const std::u16string titled = u"<title>x_百度搜索</title>";
    ExpectReads({
        {"DeepNestingInsideTheList",
         u"<div id=\"results\">" + Repeat(u"<div>", 100'000) + u"<span>广告</span>shop.example.cn",
         Outcome::Read,
         {u"上1", u"下无推广位"}},
        {"SixteenMebibytesOfListOpenings", Repeat(u"<div id=\"results\">", (16 << 20) / 18),
         Outcome::Read, kNoListings},
        {"UnterminatedComment", titled + u"<!-- " + PhonePage(Paid(kSite)), Outcome::Read,
         kNoListings},
        {"UnterminatedScript", titled + u"<script>" + PhonePage(Paid(kSite)), Outcome::Read,
         kNoListings},
        {"NulAndLoneSurrogates",
         PhonePage(Paid(std::u16string(u"\0\xDC00\xD800", 3) + std::u16string(kSite))),
         Outcome::Read,
         {u"上1", u"下无推广位"}},
        {"MisplacedEndTagsUnderDeepNesting",
         testing::MisplacedEndTagsPage(u"<div id=\"results\">" + Paid(kSite)),
         Outcome::Unreadable,
         {}},
    });
}

}  // namespace
}  // namespace slotscope
