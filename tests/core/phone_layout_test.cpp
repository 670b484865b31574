// The phone's result page (one list, paid listings on top and at the bottom), read through
// CheckResultPage.

#include <gtest/gtest.h>

#include <string>

#include "core/result_page.h"
#include "core/text_codec.h"
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

// An entry whose only sign is `classes`.
std::u16string Paid(std::u16string_view body = u"other.test",
                    std::u16string_view classes = u"c-result-ad ec_wise_ad") {
    return u"<div class=\"" + std::u16string(classes) + u"\"><h3>" + std::u16string(body) +
           u"</h3></div>";
}

struct PhoneCase {
    const char* name;
    std::u16string page;
    PositionLabels expected;
};

void PrintTo(const PhoneCase& c, std::ostream* out) {
    *out << c.name;
}

class PhoneLayoutTest : public ::testing::TestWithParam<PhoneCase> {};

TEST_P(PhoneLayoutTest, Labels) {
    const PhoneCase& c = GetParam();
    const PageCheck check = CheckResultPage(c.page, kSite, PageKind::Phone);
    EXPECT_EQ(check.outcome, PageCheck::Outcome::Read);
    EXPECT_EQ(check.labels, c.expected) << "page: " << EncodeUtf8(c.page);
}

// Each of the phone's own signs marks a listing; a sign of the desktop does too.
INSTANTIATE_TEST_SUITE_P(
    Signs, PhoneLayoutTest,
    ::testing::Values(
        PhoneCase{"EcWiseAd", PhonePage(Paid(kSite, u"ec_wise_ad")), {u"上1", u"下无推广位"}},
        PhoneCase{
            "EcAdResults", PhonePage(Paid(kSite, u"x ec_ad_results")), {u"上1", u"下无推广位"}},
        PhoneCase{"EcResitem", PhonePage(Paid(kSite, u"ec_resitem\tc")), {u"上1", u"下无推广位"}},
        PhoneCase{"EcWisePp", PhonePage(Paid(kSite, u"ec_wise_pp")), {u"上1", u"下无推广位"}},
        PhoneCase{
            "EcResultInner", PhonePage(Paid(kSite, u"ec-result-inner")), {u"上1", u"下无推广位"}},
        PhoneCase{
            "EcfcTuiguang", PhonePage(Paid(kSite, u"ecfc-tuiguang")), {u"上1", u"下无推广位"}},
        PhoneCase{
            "EcYouxuanCard", PhonePage(Paid(kSite, u"ec_youxuan_card")), {u"上1", u"下无推广位"}},
        PhoneCase{"EcRPrefix", PhonePage(Paid(kSite, u"ec_r_7f3a")), {u"上1", u"下无推广位"}},
        PhoneCase{"DesktopSignInside",
                  PhonePage(u"<div><p data-cmatchid=\"222\">shop.example.cn</p></div>"),
                  {u"上1", u"下无推广位"}},
        PhoneCase{"AdLabel",
                  PhonePage(u"<div>shop.example.cn<span> 广告 </span></div>"),
                  {u"上1", u"下无推广位"}},
        // Class tokens compare whole and in their own case.
        PhoneCase{"TokenInAnotherCase", PhonePage(Paid(kSite, u"EC_WISE_AD")), kNoListings},
        PhoneCase{"TokenAsPartOfAnother", PhonePage(Paid(kSite, u"my-ec_wise_ad ec_wise_ads")),
                  kNoListings},
        PhoneCase{"AdTextInEm", PhonePage(u"<div>shop.example.cn<em>广告</em></div>"),
                  kNoListings}),
    [](const auto& info) { return std::string(info.param.name); });

// Where the list is, and how its paid listings fall into the top and bottom blocks.
INSTANTIATE_TEST_SUITE_P(
    Blocks, PhoneLayoutTest,
    ::testing::Values(
        PhoneCase{"TopNumberedInOrder",
                  PhonePage(Paid() + Paid(kSite) + Organic()),
                  {u"上2", u"下无推广位"}},
        PhoneCase{"FoundOnTopBottomOnlySaysItHasListings",
                  PhonePage(Paid(kSite) + Organic() + Paid(kSite)),
                  {u"上1", u"下无"}},
        PhoneCase{
            "BottomNumberedFromOne",
            PhonePage(Paid() + Organic(kSite) + Organic() + Paid() + Paid(u"SHOP.example.cn")),
            {u"上无", u"下2"}},
        PhoneCase{"AmongTheOrganicResultsIsBottom",
                  PhonePage(Organic() + Paid(kSite) + Organic()),
                  {u"上无推广位", u"下1"}},
        PhoneCase{"WebsiteInAnAttribute",
                  PhonePage(Organic() + u"<div class=\"ec_resitem\" data-lp=\"https://m.shop."
                                        u"example.cn/lp\"><h3>花</h3></div>"),
                  {u"上无推广位", u"下1"}},
        PhoneCase{"TablesAreLookedThrough",
                  PhonePage(u"<table><tbody><tr><td>" + Paid() + u"</td><td>" + Paid(kSite) +
                            u"</td></tr></tbody></table>"),
                  {u"上2", u"下无推广位"}},
        PhoneCase{"ListByClassWithoutId",
                  PhonePage(Paid(kSite), u"<div class=\"se-page results\">"),
                  {u"上1", u"下无推广位"}},
        PhoneCase{"ListByIdWinsOverAnEarlierOneByClass",
                  PhonePage(u"</div><div id=\"results\">" + Organic() + Paid(kSite),
                            u"<div class=\"results\">" + Paid(kSite)),
                  {u"上无推广位", u"下1"}},
        PhoneCase{"FirstListByIdCounts",
                  PhonePage(Organic() + u"</div><div id=\"results\">" + Paid(kSite),
                            u"<div id=\"results\">"),
                  kNoListings},
        PhoneCase{"NoListButTheSearchTitle", PhonePage(Paid(kSite), u"<div id=\"result\">"),
                  kNoListings},
        PhoneCase{"PhoneTitle",
                  u"<title>鲜花 - 百度</title><div class=\"c-result\">shop.example.cn</div>",
                  kNoListings}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PhoneLayout, TellsResultPagesFromOtherAnswers) {
    for (const std::u16string_view page :
         {std::u16string_view(u""), std::u16string_view(u"<title>登录百度帐号</title>请登录"),
          std::u16string_view(u"<script>var results = [];</script>"),
          std::u16string_view(u"<p class=\"results-x\">百度</p>")}) {
        EXPECT_EQ(CheckResultPage(page, kSite, PageKind::Phone).outcome,
                  PageCheck::Outcome::NotResultPage)
            << EncodeUtf8(page);
    }
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
    const struct {
        const char* name;
        std::u16string page;
        PageCheck::Outcome outcome;
        PositionLabels labels;
    } cases[] = {
        {"DeepNestingInsideTheList",
         u"<div id=\"results\">" + Repeat(u"<div>", 100'000) + u"<span>广告</span>shop.example.cn",
         PageCheck::Outcome::Read,
         {u"上1", u"下无推广位"}},
        {"SixteenMebibytesOfListOpenings", Repeat(u"<div id=\"results\">", (16 << 20) / 18),
         PageCheck::Outcome::Read, kNoListings},
        {"UnterminatedComment", u"<title>x_百度搜索</title><!-- " + PhonePage(Paid(kSite)),
         PageCheck::Outcome::Read, kNoListings},
        {"UnterminatedScript", u"<title>x_百度搜索</title><script>" + PhonePage(Paid(kSite)),
         PageCheck::Outcome::Read, kNoListings},
        {"NulAndLoneSurrogates",
         PhonePage(Paid(std::u16string(u"\0\xDC00\xD800", 3) + std::u16string(kSite))),
         PageCheck::Outcome::Read,
         {u"上1", u"下无推广位"}},
        {"MisplacedEndTagsUnderDeepNesting",
         testing::MisplacedEndTagsPage(u"<div id=\"results\">" + Paid(kSite)),
         PageCheck::Outcome::Unreadable,
         {}},
    };
    for (const auto& c : cases) {
        const PageCheck check = CheckResultPage(c.page, kSite, PageKind::Phone);
        EXPECT_EQ(check.outcome, c.outcome) << c.name;
        EXPECT_EQ(check.labels, c.labels) << c.name;
    }
}

}  // namespace
}  // namespace slotscope
