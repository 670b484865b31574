#include "page/result_page.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/text_codec.h"
#include "tests/support/page_generator.h"
#include "tests/support/printers.h"

namespace slotscope {
namespace {

std::u16string Num(int n) {
    const std::string s = std::to_string(n);
    return {s.begin(), s.end()};
}

// Page pieces as the result page writes them.
std::u16string TableA(int k, std::u16string_view body) {
    return u"<table id=\"300" + Num(k) + u"\" class=\"result\"><tr><td>" + std::u16string(body) +
           u"</td></tr></table>";
}
std::u16string TableB(int k, std::u16string_view body) {
    return u"<table id=\"400" + Num(k) + u"\" class=\"ec\"><tr><td>" + std::u16string(body) +
           u"</td></tr></table>";
}
std::u16string Right(int j, std::u16string_view body) {
    return u"<div id=\"bdfs" + Num(j) + u"\" class=\"r\">" + std::u16string(body) + u"</div>";
}

constexpr std::u16string_view kSite = u"shop.example.cn";
constexpr std::u16string_view kOther = u"other.example.cn";

std::u16string Listings(std::u16string (*make)(int, std::u16string_view), int from, int to,
                        int siteAt) {
    std::u16string page;
    for (int n = from; n <= to; ++n) {
        page += make(n, n == siteAt ? kSite : kOther);
    }
    return page;
}

struct PageCase {
    const char* name;
    std::u16string page;
    std::u16string website;
    PositionLabels expected;
};

class LabelsTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(LabelsTest, Labels) {
    const PageCase& c = GetParam();
    EXPECT_EQ(AnalyzeResultPage(c.page, c.website), c.expected);
    // The run's one-pass check reads a result page the same way.
    const PageCheck check = CheckResultPage(c.page, c.website, PageKind::Desktop);
    EXPECT_EQ(check.outcome == PageCheck::Outcome::Read, IsResultPage(c.page) == true);
    if (check.outcome == PageCheck::Outcome::Read) {
        EXPECT_EQ(check.labels, c.expected);
    }
}

const std::u16string kHead = u"<html><body><div id=\"wrapper\">";

INSTANTIATE_TEST_SUITE_P(
    Layouts, LabelsTest,
    ::testing::Values(
        PageCase{"NoListingsAtAll",
                 kHead + u"<p>shop.example.cn</p>",
                 u"shop.example.cn",
                 {u"左侧无推广位", u"右无推广位"}},
        PageCase{"EmptyPage", u"", u"shop.example.cn", {u"左侧无推广位", u"右无推广位"}},
        PageCase{"LeftOneWithRightBlock",
                 kHead + Listings(TableA, 1, 3, 1) + Listings(Right, 0, 2, 0),
                 u"shop.example.cn",
                 {u"左1", u"右无"}},
        PageCase{"LeftOneWithoutRightBlock",
                 kHead + Listings(TableA, 1, 3, 1),
                 u"shop.example.cn",
                 {u"左1", u"右无推广位"}},
        PageCase{"LeftTwoNoRight",
                 kHead + Listings(TableA, 1, 4, 2),
                 u"shop.example.cn",
                 {u"左2", u"右无推广位"}},
        PageCase{"LeftTen",
                 kHead + Listings(TableA, 1, 10, 10),
                 u"shop.example.cn",
                 {u"左10", u"右无推广位"}},
        PageCase{"LeftMissing",
                 kHead + Listings(TableA, 1, 10, 0) + Listings(Right, 0, 7, -1),
                 u"shop.example.cn",
                 {u"左无", u"右无"}},
        PageCase{"RightOnlyWithLeftListings",
                 kHead + Listings(TableA, 1, 3, 0) + Listings(Right, 0, 3, 0),
                 u"shop.example.cn",
                 {u"左无", u"右1"}},
        PageCase{"RightOnlyWithoutLeftListings",
                 kHead + Listings(Right, 0, 3, 0),
                 u"shop.example.cn",
                 {u"左侧无推广位", u"右1"}},
        PageCase{"RightFour",
                 kHead + Listings(Right, 0, 5, 3),
                 u"shop.example.cn",
                 {u"左侧无推广位", u"右4"}},
        PageCase{"RightEight",
                 kHead + Listings(Right, 0, 7, 7),
                 u"shop.example.cn",
                 {u"左侧无推广位", u"右8"}},
        PageCase{"RightNineIsNeverExamined",
                 kHead + Listings(Right, 0, 8, 8),
                 u"shop.example.cn",
                 {u"左侧无推广位", u"右无"}},
        // A later left match overrides what the right-hand scan found.
        PageCase{"LeftAndRight",
                 kHead + Listings(TableA, 1, 3, 3) + Listings(Right, 0, 3, 1),
                 u"shop.example.cn",
                 {u"左3", u"右无"}},
        PageCase{"LayoutB",
                 kHead + Listings(TableB, 1, 4, 4),
                 u"shop.example.cn",
                 {u"左4", u"右无推广位"}},
        PageCase{"LayoutBFifthIsNeverExamined",
                 kHead + Listings(TableB, 1, 5, 5),
                 u"shop.example.cn",
                 {u"左无", u"右无推广位"}},
        PageCase{"LayoutAWinsOverB",
                 kHead + Listings(TableB, 1, 2, 1) + Listings(TableA, 1, 2, 0),
                 u"shop.example.cn",
                 {u"左无", u"右无推广位"}},
        PageCase{"LayoutAEleventhIsNeverExamined",
                 kHead + Listings(TableA, 1, 10, 0) +
                     u"<table id=\"30011\"><tr><td>shop.example.cn</td></tr></table>",
                 u"shop.example.cn",
                 {u"左无", u"右无推广位"}},
        // Listing 10 is <table id="30010, never <table id="3010.
        PageCase{"ListingTenMarker",
                 kHead + TableA(1, kOther) +
                     u"<table id=\"3010\"><tr><td>shop.example.cn</td></tr></table>",
                 u"shop.example.cn",
                 {u"左无", u"右无推广位"}},
        // Presence markers need their closing quote and space.
        PageCase{"PresenceMarkerWithoutSpace",
                 kHead + u"<table id=\"3001\"><tr><td>shop.example.cn</td></tr></table>",
                 u"shop.example.cn",
                 {u"左侧无推广位", u"右无推广位"}},
        PageCase{"RightPresenceWithoutSpace",
                 kHead + u"<div id=\"bdfs0\">shop.example.cn</div>",
                 u"shop.example.cn",
                 {u"左侧无推广位", u"右无推广位"}},
        // Case: the website and presence tests ignore ASCII case.
        PageCase{"WebsiteInOtherCase",
                 kHead + Listings(TableA, 1, 2, 2),
                 u"SHOP.Example.CN",
                 {u"左2", u"右无推广位"}},
        PageCase{"PresenceMarkerInOtherCase",
                 kHead + u"<TABLE ID=\"3001\" ><tr><td>x</td></tr></table>" +
                     TableA(2, u"shop.example.cn"),
                 u"shop.example.cn",
                 {u"左2", u"右无推广位"}},
        // A listing marker present only in another case: the cut misses it and starts at
        // position 15 of the page, so the block is the page's opening stretch.
        PageCase{"ListingMarkerOnlyInOtherCase",
                 u"0123456789abcdshop.example.cn</table><TABLE id=\"3001\" >x</table>",
                 u"shop.example.cn",
                 {u"左1", u"右无推广位"}},
        PageCase{"ListingMarkerOtherCaseBlockMisses",
                 u"0123456789abcdefg</table><TABLE id=\"3001\" >shop.example.cn</table>",
                 u"shop.example.cn",
                 {u"左无", u"右无推广位"}},
        // A listing whose end marker is missing gives an empty block.
        PageCase{"ListingWithoutEnd",
                 kHead + u"<table id=\"3001\" class=\"x\">shop.example.cn",
                 u"shop.example.cn",
                 {u"左无", u"右无推广位"}},
        // The empty website is found in the first examined block that is not empty.
        PageCase{"EmptyWebsite", kHead + Listings(TableA, 1, 3, 0), u"", {u"左1", u"右无推广位"}},
        PageCase{"EmptyWebsiteEmptyFirstBlock",
                 kHead + u"<table id=\"3001</table><TABLE id=\"3001\" >" + TableA(2, kOther),
                 u"",
                 {u"左2", u"右无推广位"}},
        // The website is matched exactly as typed, outer spaces included.
        PageCase{"WebsiteWithOuterSpace",
                 kHead + Listings(TableA, 1, 2, 1),
                 u" shop.example.cn",
                 {u"左无", u"右无推广位"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Pages captured from the search engine; their layout carries none of the listing markers.
std::filesystem::path RealPagesDir() {
    return std::filesystem::path(SLOTSCOPE_SHARED_DIR) / "fixtures" / "real-pages";
}

std::u16string ReadRealPage(const std::string& name) {
    std::ifstream in(RealPagesDir() / name, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return DecodeUtf8(bytes);
}

class RealPages : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(RealPagesDir() / GetParam())) {
            GTEST_SKIP() << "real result pages not found at " << RealPagesDir()
                         << " (they come with the shared folder beside the clone)";
        }
    }
};

TEST_P(RealPages, TodaysLayoutHasNoListings) {
    const std::u16string page = ReadRealPage(GetParam());
    ASSERT_GT(page.size(), 1000U);
    EXPECT_EQ(AnalyzeResultPage(page, u"test.test"),
              (PositionLabels{u"左侧无推广位", u"右无推广位"}));
}

TEST_P(RealPages, ListingsInsideARealPageAreFound) {
    // Real markup around the listings: none of its tags may be taken for a listing.
    const std::u16string real = ReadRealPage(GetParam());
    const std::u16string page = real.substr(0, real.size() / 2) + TableA(1, kOther) +
                                TableA(2, kOther) + real.substr(real.size() / 2) +
                                Right(0, kOther) + Right(1, u"Shop.Example.CN");
    EXPECT_EQ(AnalyzeResultPage(page, kSite), (PositionLabels{u"左无", u"右2"}));
}

INSTANTIATE_TEST_SUITE_P(Captured, RealPages,
                         ::testing::Values("baidu_search_results.html",
                                           "baidu_search_no_results.html",
                                           "baidu_search_captcha.html"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

TEST_P(RealPages, OnlyTheVerificationPageIsNoResultPage) {
    EXPECT_EQ(IsResultPage(ReadRealPage(GetParam())),
              std::string(GetParam()) != "baidu_search_captcha.html");
}

TEST(IsResultPage, TellsResultPagesFromOtherAnswers) {
    const struct {
        std::u16string_view page;
        bool result;
    } cases[] = {
        // What a result page shows of itself.
        {u"<TABLE ID=\"3001\" ><tr><td>x</td></tr></table>", true},
        {u"<div id=\"bdfs0\" >x</div>", true},
        {u"<div><div id=\"content_right\"></div></div>", true},
        {u"<head><title>\n  鲜花_百度搜索\u3000</title></head><body>无结果</body>", true},
        {u"<title>百度搜索_鲜花</title>", true},
        {u"<meta charset=\"gb2312\"><title>鲜花 &amp; 花束_百度搜索</title>", true},
        // Answers that only look like one in places.
        {u"", false},
        {u"<html><head><title>登录百度帐号</title></head><body>请登录</body></html>", false},
        {u"<script>var c = 'content_left'; location.replace('/s?wd=1')</script>", false},
        {u"<title>百度搜索</title><p>id=\"content_left\"</p>", false},
        {u"<title>鲜花_百度搜索 更多</title>", false},
        {u"<body>鲜花_百度搜索</body>", false},
        {u"<table id=\"3001\"><tr><td>no space after the quote</td></tr></table>", false},
    };
    for (const auto& [page, result] : cases) {
        EXPECT_EQ(IsResultPage(page), result) << EncodeUtf8(page);
    }
}

TEST(IsResultPage, HostileMarkupGetsAnAnswer) {
    // Misplaced end tags under deep nesting, which cost the parser dearly: with the search's
    // title before them, and without (then the page cannot be told apart: not "no result page").
    const std::u16string page = testing::MisplacedEndTagsPage(u"<title>x_百度搜索</title>");
    EXPECT_EQ(IsResultPage(page), true);
    EXPECT_EQ(IsResultPage(testing::MisplacedEndTagsPage(u"<p>百度搜索</p>")), std::nullopt);
}

TEST(WorstCasePage, AllListingsExaminedWebsiteAbsent) {
    const std::u16string page = testing::WorstCasePage(200'000);
    EXPECT_EQ(AnalyzeResultPage(page, u"absent.example"), (PositionLabels{u"左无", u"右无"}));
    EXPECT_EQ(AnalyzeResultPage(page, u"listing10.test"), (PositionLabels{u"左10", u"右无"}));
    EXPECT_EQ(AnalyzeResultPage(page, u"right7.test"), (PositionLabels{u"左无", u"右8"}));
}

}  // namespace
}  // namespace slotscope
