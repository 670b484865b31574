// Result pages in the column layout (content_left, content_right), read through
// AnalyzeResultPage.

#include "page/column_layout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/text_codec.h"
#include "page/own_site.h"
#include "page/result_page.h"
#include "tests/support/page_generator.h"
#include "tests/support/printers.h"

namespace slotscope {
namespace {

using testing::ColumnPage;

constexpr std::u16string_view kSite = u"shop.example.cn";
const PositionLabels kNoListings{u"左侧无推广位", u"右无推广位"};

// An organic result, as today's pages write one.
std::u16string Organic(std::u16string_view body) {
    return u"<div class=\"result c-container\" mu=\"http://organic.test/\"><h3><a "
           u"href=\"/link?url=abc\">" +
           std::u16string(body) + u"</a></h3></div>";
}

// A result entry whose only sign (if any) is `markup`, with `body` beside it.
std::u16string Entry(std::u16string_view markup, std::u16string_view body = u"other.test") {
    return u"<div class=\"result c-container\">" + std::u16string(markup) + u"<p>" +
           std::u16string(body) + u"</p></div>";
}

std::u16string Paid(std::u16string_view body) {
    return Entry(u"<span data-tuiguang=\"3\">广告</span>", body);
}

struct ColumnCase {
    const char* name;
    std::u16string page;
    PositionLabels expected;
};

void PrintTo(const ColumnCase& c, std::ostream* out) {
    *out << c.name;
}

class ColumnLayoutTest : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(ColumnLayoutTest, Labels) {
    const ColumnCase& c = GetParam();
    EXPECT_EQ(AnalyzeResultPage(c.page, kSite), c.expected) << "page: " << EncodeUtf8(c.page);
}

// Each sign of a paid listing makes the entry holding the website "左1"; each thing that only
// looks like one leaves the column without paid listings.
INSTANTIATE_TEST_SUITE_P(
    Signs, ColumnLayoutTest,
    ::testing::Values(
        ColumnCase{"DataTuiguang",
                   ColumnPage(Entry(u"<span data-tuiguang>x</span>", kSite)),
                   {u"左1", u"右无推广位"}},
        ColumnCase{"DataTuiguangInUpperCase",
                   ColumnPage(Entry(u"<i DATA-TUIGUANG=\"1\"></i>", kSite)),
                   {u"左1", u"右无推广位"}},
        ColumnCase{"DataLandurlOnTheEntryHoldsTheWebsite",
                   ColumnPage(u"<div data-landurl=\"http://www.SHOP.example.cn/a\">花</div>"),
                   {u"左1", u"右无推广位"}},
        ColumnCase{"ClassEcTuiguang",
                   ColumnPage(Entry(u"<span class=\"c-gap ec-tuiguang ecfc\">x</span>", kSite)),
                   {u"左1", u"右无推广位"}},
        ColumnCase{"ClassEcUnderscoreTuiguangPrefix",
                   ColumnPage(Entry(u"<div class=\"\tec_tuiguang_pplink\"></div>", kSite)),
                   {u"左1", u"右无推广位"}},
        ColumnCase{
            "AdClickAddress",
            ColumnPage(Entry(u"<a href=\"http://www.baidu.com/baidu.php?url=K1\">t</a>", kSite)),
            {u"左1", u"右无推广位"}},
        ColumnCase{"RelativeAdClickAddress",
                   ColumnPage(Entry(u"<a href=\"/baidu.php?url=K1\">t</a>", kSite)),
                   {u"左1", u"右无推广位"}},
        ColumnCase{"AdLabelInSpan",
                   ColumnPage(Entry(u"<span>广告</span>", kSite)),
                   {u"左1", u"右无推广位"}},
        ColumnCase{"AdLabelWithWhiteSpaceAround",
                   ColumnPage(Entry(u"<a href=\"#\">\n\u00A0\u3000商业推广 \t</a>", kSite)),
                   {u"左1", u"右无推广位"}},
        ColumnCase{"AdLabelSplitOverElementsAndReferences",
                   ColumnPage(Entry(u"<span> <b>&#24191;</b><!-- x -->告</span>", kSite)),
                   {u"左1", u"右无推广位"}},
        // The signs 2026 pages print, often without any "广告" in the markup.
        ColumnCase{"Cmatchid2026",
                   ColumnPage(Entry(u"<div CMATCHID=\"222\"></div>", kSite) +
                              Entry(u"<i data-cmatchid></i>", kSite)),
                   {u"左1", u"右无推广位"}},
        ColumnCase{"PlaceidAndBidword2026",
                   ColumnPage(Entry(u"<p data-placeid=\"8812\"></p>") +
                              Entry(u"<p data-bidword=\"花\"></p>", kSite)),
                   {u"左2", u"右无推广位"}},
        ColumnCase{"ClassPrefixes2026",
                   ColumnPage(Entry(u"<div class=\"EC_result_x\"></div>") +
                              Entry(u"<div class=\"c ec-pc-huanxin-grid\"></div>", kSite)),
                   {u"左2", u"右无推广位"}},
        ColumnCase{"EntryItselfIsTheLabel",
                   ColumnPage(u"<span>广告</span>" + Organic(kSite)),
                   {u"左无", u"右无推广位"}},
        // What is not a sign.
        ColumnCase{"QueryHighlightedInOrganicResult",
                   ColumnPage(Organic(u"<em>广告</em> shop.example.cn")), kNoListings},
        ColumnCase{"LabelInComment", ColumnPage(Entry(u"<!-- <span>广告</span> -->", kSite)),
                   kNoListings},
        ColumnCase{
            "LabelInScript",
            ColumnPage(Entry(u"<script>document.write('<span>广告</span>')</script>", kSite)),
            kNoListings},
        ColumnCase{"LabelAsPlainText", ColumnPage(Entry(u"广告", kSite)), kNoListings},
        ColumnCase{"LabelInOtherElement", ColumnPage(Entry(u"<b>广告</b>", kSite)), kNoListings},
        ColumnCase{"LabelWithMoreText", ColumnPage(Entry(u"<span>广告 1</span>", kSite)),
                   kNoListings},
        ColumnCase{"LabelWithInnerSpace", ColumnPage(Entry(u"<span>广 告</span>", kSite)),
                   kNoListings},
        ColumnCase{"AttributeNameOnlyBeginsWithDataTuiguang",
                   ColumnPage(Entry(u"<span data-tuiguang-id=\"1\"></span>", kSite)), kNoListings},
        ColumnCase{"ClassPrefixInAnotherCase",
                   ColumnPage(Entry(u"<div class=\"ec_result EC-PC-HUANXIN\"></div>", kSite)),
                   kNoListings},
        ColumnCase{"ClassOnlyContainsEcTuiguang",
                   ColumnPage(Entry(u"<span class=\"x-ec-tuiguang c_ec_tuiguang\"></span>", kSite)),
                   kNoListings},
        ColumnCase{
            "OrganicLinkAddress",
            ColumnPage(Entry(u"<a href=\"http://www.baidu.com/link?url=baidu.php\">t</a>", kSite)),
            kNoListings},
        ColumnCase{"AdClickAddressOutsideALink",
                   ColumnPage(Entry(u"<div href=\"/baidu.php?url=K1\"></div>", kSite)),
                   kNoListings},
        ColumnCase{"AdClickAddressWithoutQuery",
                   ColumnPage(Entry(u"<a href=\"http://www.baidu.com/baidu.php\">t</a>", kSite)),
                   kNoListings}),
    [](const auto& info) { return std::string(info.param.name); });

std::u16string Repeat(std::u16string_view piece, int times) {
    std::u16string text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ColumnLayoutTest,
    ::testing::Values(
        ColumnCase{"TopAndBottomListingsAreNumberedInOrder",
                   ColumnPage(Paid(u"a.test") + Paid(u"b.test") + Organic(kSite) +
                              Organic(u"c.test") + Paid(u"d.test") +
                              Paid(u"www.<b>shop</b>."
                                   u"Example.cn")),
                   {u"左4", u"右无推广位"}},
        ColumnCase{"NoUpperLimit",
                   ColumnPage(Repeat(Paid(u"a.test"), 11) + Paid(kSite)),
                   {u"左12", u"右无推广位"}},
        ColumnCase{"LeftWinsOverRight",
                   ColumnPage(Paid(u"a.test") + Paid(kSite), Paid(kSite)),
                   {u"左2", u"右无"}},
        ColumnCase{"RightOnlyWithLeftListings",
                   ColumnPage(Paid(u"a.test"), Paid(u"b.test") + Paid(kSite)),
                   {u"左无", u"右2"}},
        ColumnCase{"RightWithoutTheWebsite",
                   ColumnPage(Organic(kSite), Paid(u"b.test")),
                   {u"左侧无推广位", u"右无"}},
        ColumnCase{"TableWrappedRightColumn",
                   ColumnPage(u"", u"<table><tbody><tr><td>" + Paid(u"a.test") + u"</td><td>" +
                                       Paid(kSite) + u"</td></tr></tbody></table>"),
                   {u"左侧无推广位", u"右2"}},
        ColumnCase{"TableInsideAnEntryIsNotLookedThrough",
                   ColumnPage(u"<div><table><tr><td>" + Paid(u"a") + Paid(kSite) +
                              u"</td></tr></table></div>"),
                   {u"左1", u"右无推广位"}},
        ColumnCase{"WebsiteInScriptOfAListingIsNotText",
                   ColumnPage(Paid(u"<script>var u='shop.example.cn'</script>")),
                   {u"左无", u"右无推广位"}},
        ColumnCase{"FirstColumnCounts",
                   u"<div id=\"content_left\">" + Organic(u"x") + u"</div>" +
                       u"<div id=\"content_left\">" + Paid(kSite) + u"</div>",
                   kNoListings},
        ColumnCase{"IdMustBeExact",
                   u"<div id=\"content_left \">" + Paid(kSite) +
                       u"</div><div id=\"Content_Left\">" + Paid(kSite) + u"</div>",
                   kNoListings},
        ColumnCase{"CharsetDeclarationDoesNotDecodeAgain",
                   u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                   u"charset=gb2312\"></head><body>" +
                       ColumnPage(Entry(u"<span>商业推广</span>", kSite)),
                   {u"左1", u"右无推广位"}},
        // Markup after the document's end tags is still the page's, as browsers read it.
        ColumnCase{"ColumnsAfterTheDocumentsEnd",
                   u"<html><body><p>x</p></body></html>" + ColumnPage(Paid(kSite)),
                   {u"左1", u"右无推广位"}},
        ColumnCase{"ListingsAfterTheBodysEnd",
                   u"<div id=\"content_left\">" + Paid(u"a.test") + u"</div></BODY >" +
                       u"<div id=\"content_right\">" + Paid(kSite) + u"</div></html>",
                   {u"左无", u"右1"}},
        ColumnCase{"EndTagsOnlyNamedLikeTheDocumentsAreKept",
                   u"<html><body><div id=\"content_left\"><bodyx></bodyx></htmlx>" + Paid(kSite) +
                       u"</div></body></html>",
                   {u"左1", u"右无推广位"}},
        ColumnCase{
            "ColumnsAfterACommentPastTheDocumentsEnd",
            u"<html><body><p>x</p></body></html>\n<!-- served -->\n" + ColumnPage(Paid(kSite)),
            {u"左1", u"右无推广位"}},
        ColumnCase{"ColumnsAfterAnInstructionPastTheDocumentsEnd",
                   u"<html><body><p>x</p></body></html><?x?>" + ColumnPage(Paid(kSite)),
                   {u"左1", u"右无推广位"}},
        ColumnCase{
            "ColumnsAfterEveryOneOfManyDocumentEnds",
            u"<html><body><p>x</p></body></html></html><p>y</p></html>" + ColumnPage(Paid(kSite)),
            {u"左1", u"右无推广位"}},
        ColumnCase{"NulAndLoneSurrogatesDoNotEndThePage",
                   ColumnPage(std::u16string(u"\0\xD800<p>x</p>", 10) + Paid(kSite)),
                   {u"左1", u"右无推广位"}},
        // The table layout's markers decide the rules, even beside columns.
        ColumnCase{
            "TableLayoutWinsOverColumns",
            u"<table id=\"3001\" ><tr><td>other.test</td></tr></table>" + ColumnPage(Paid(kSite)),
            {u"左无", u"右无推广位"}},
        ColumnCase{"RightBlockMarkerWinsOverColumns",
                   u"<DIV ID=\"bdfs0\" >other.test</div>" + ColumnPage(Paid(kSite)),
                   {u"左侧无推广位", u"右无"}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Pages from the shared fixtures ---

std::filesystem::path FixturesDir() {
    return std::filesystem::path(SLOTSCOPE_SHARED_DIR) / "fixtures";
}

std::u16string ReadPage(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return DecodeUtf8(
        std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

// A folder of constructed pages and their expected labels (expected.tsv: file, website, the
// two labels), read as a page of its kind.
struct FixtureFolder {
    const char* folder;
    PageKind kind;
    int pages;
    std::size_t minimumSize;  // each page's, in characters: the pages are not cut short
};

class FixturePages : public ::testing::TestWithParam<FixtureFolder> {};

TEST_P(FixturePages, GiveTheirExpectedLabels) {
    const auto dir = FixturesDir() / GetParam().folder;
    std::ifstream expected(dir / "expected.tsv");
    if (!expected) {
        GTEST_SKIP() << "the pages are not found at " << dir
                     << " (they come with the shared folder beside the clone)";
    }
    std::string line;
    std::getline(expected, line);  // header
    int pages = 0;
    while (std::getline(expected, line)) {
        std::istringstream fields(line);
        std::vector<std::string> columns(4);
        for (std::string& column : columns) {
            std::getline(fields, column, '\t');
        }
        const std::u16string page = ReadPage(dir / columns[0]);
        ASSERT_GT(page.size(), GetParam().minimumSize) << columns[0];
        // The website as the user types it, checked as the run checks it.
        const PageCheck check =
            CheckResultPage(page, SiteToCheck(DecodeUtf8(columns[1])).site, GetParam().kind);
        EXPECT_EQ(check.outcome, PageCheck::Outcome::Read) << columns[0];
        EXPECT_EQ(check.labels, (PositionLabels{DecodeUtf8(columns[2]), DecodeUtf8(columns[3])}))
            << columns[0];
        // Who holds the slots, where the pages' display addresses say it.
        const std::map<std::string, ShownSites> sites = {
            {"today_top3_site2.html",
             {{"meiguihua.com", "huaxian-shop.cn", "flower.example.net"}, {}}},
            {"today_2026_signs.html", {{"hua.com", "bjhua.cn", "huaxian-shop.cn"}, {}}},
            {"mobile_top_and_bottom.html",
             {{"xianhua-kuaidi.com"}, {"bjhua.cn", "huaxian-shop.cn"}}},
        };
        if (const auto found = sites.find(columns[0]); found != sites.end()) {
            EXPECT_EQ(check.sites, found->second) << columns[0];
        }
        // Each listing's site, title and text, read in the same pass: every paid listing of
        // these pages has a title, and its text never repeats its shown address.
        for (const auto& [ads, shown] : {std::pair{&check.ads.left, &check.sites.left},
                                         std::pair{&check.ads.right, &check.sites.right}}) {
            ASSERT_EQ(ads->size(), shown->size()) << columns[0];
            for (std::size_t i = 0; i < ads->size(); ++i) {
                EXPECT_EQ((*ads)[i].site, (*shown)[i]) << columns[0];
                EXPECT_FALSE((*ads)[i].title.empty()) << columns[0] << " listing " << i + 1;
                if (!(*shown)[i].empty()) {
                    EXPECT_EQ((*ads)[i].text.find((*shown)[i]), std::string::npos) << columns[0];
                }
            }
        }
        ++pages;
    }
    EXPECT_EQ(pages, GetParam().pages);
}

INSTANTIATE_TEST_SUITE_P(
    Shared, FixturePages,
    ::testing::Values(FixtureFolder{"today-pages", PageKind::Desktop, 6, 100'000},
                      FixtureFolder{"today-2026", PageKind::Desktop, 1, 100'000},
                      FixtureFolder{"site-rule", PageKind::Desktop, 1, 100'000},
                      FixtureFolder{"mobile-pages", PageKind::Phone, 6, 1000}),
    [](const auto& info) {
        std::string name = info.param.folder;
        std::erase(name, '-');
        return name;
    });

TEST(ColumnLayoutFixtures, RealPagesHaveNoPaidListingsWhateverTheWebsite) {
    const auto dir = FixturesDir() / "real-pages";
    if (!std::filesystem::exists(dir / "baidu_search_results.html")) {
        GTEST_SKIP() << "real result pages not found at " << dir;
    }
    for (const char* file : {"baidu_search_results.html", "baidu_search_no_results.html"}) {
        const std::u16string page = ReadPage(dir / file);
        // test.test is in every organic result's address; the others in their text.
        for (const std::u16string_view site : {u"test.test", u"Baidu", u"translate", u"www"}) {
            EXPECT_EQ(AnalyzeResultPage(page, site), kNoListings) << file;
        }
    }
}

// --- Hostile pages: read without a crash, in linear time and bounded memory ---

TEST(ColumnLayoutHostile, DeepNestingInsideTheColumnIsOneEntry) {
    const std::u16string page = u"<div id=\"content_left\">" + Repeat(u"<div>", 100'000) +
                                u"<span>广告</span>shop.example.cn";
    EXPECT_EQ(AnalyzeResultPage(page, kSite), (PositionLabels{u"左1", u"右无推广位"}));
}

TEST(ColumnLayoutHostile, SixteenMebibytesOfColumnOpenings) {
    std::u16string page;
    while (page.size() < std::size_t{16} << 20) {
        page += u"<div id=\"content_left\">";
    }
    EXPECT_EQ(AnalyzeResultPage(page, kSite), kNoListings);
}

TEST(ColumnLayoutHostile, UnterminatedCommentOrScriptHidesTheColumns) {
    for (const std::u16string_view opening : {u"<!-- ", u"<script>", u"<style>"}) {
        const std::u16string page =
            u"<html><body>" + std::u16string(opening) + ColumnPage(Paid(kSite), Paid(kSite));
        EXPECT_EQ(AnalyzeResultPage(page, kSite), kNoListings) << EncodeUtf8(opening);
    }
}

TEST(ColumnLayoutHostile, MisplacedEndTagsUnderDeepNestingAreGivenUp) {
    // The parser looks through every open element for each end tag that matches none: this page
    // would take hours. It is reported unreadable instead of partly read.
    const std::u16string page = u"<div id=\"content_left\">" + Paid(kSite) +
                                Repeat(u"<b>", 500'000) + Repeat(u"</i>", 3'000'000);
    EXPECT_EQ(AnalyzeResultPage(page, kSite), std::nullopt);
}

}  // namespace
}  // namespace slotscope
