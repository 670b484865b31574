// The history read back through a real history file: the report, its bounds over long
// histories, and the spreadsheet export's cells.

#include "history/history_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/text_codec.h"
#include "history/history_export.h"
#include "history/history_file.h"
#include "history/history_report.h"
#include "history/local_time.h"
#include "tests/support/bulk_history.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The rows of the report's tables that a keyword heads: in the keywords' tables and among who
// holds the slots.
std::size_t KeywordRows(const std::string& html, const std::string& keyword) {
    const std::regex row("<td class='kw'><(a|span) class='name'[^>]*>" + keyword + "</(a|span)>");
    return static_cast<std::size_t>(
        std::distance(std::sregex_iterator(html.begin(), html.end(), row), std::sregex_iterator()));
}

// A run of shop.example.cn with keywords checked as `lefts` says: their left labels, by keyword.
void KeepRun(const std::string& path,
             const std::vector<std::pair<std::u16string, std::u16string>>& lefts) {
    HistoryFile history(path, "test");
    history.Begin(u"shop.example.cn", Device::Pc, u"", {});
    int order = 0;
    for (const auto& [keyword, left] : lefts) {
        history.Record({{++order,
                         keyword,
                         PageKind::Desktop,
                         left,
                         u"右无推广位",
                         CheckFailure::None,
                         {{"hua.com", "shop.example.cn"}, {}},
                         {}}});
    }
    history.End({});
}

// The report of a history file, showing at most `unchanged` keywords that did not move, its
// times as the history keeps them.
std::string Report(const std::string& path, const std::string& site = "shop.example.cn",
                   int unchanged = kUnchangedKeywordsShown) {
    ReportOptions options;
    options.unchangedKeywords = unchanged;
    options.localTime = [](std::string_view utc) { return std::string(utc); };
    const std::string output = path + ".html";
    const SiteReport report = WriteSiteReport(path, site, 0, output, options);
    EXPECT_EQ(report.outcome, SiteReport::Outcome::Written) << report.problem;
    return testing::ReadFileBytes(output);
}

TEST(HistoryReportTest, OnlyTheUsersOwnSiteIsHighlightedAndAnUnfinishedRunSaysSo) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    HistoryFile history(path, "test");
    history.Begin(u"www.Shop.cn", Device::Pc, u"", {});
    history.Record({{1,
                     u"kw",
                     PageKind::Desktop,
                     u"左1",
                     u"右无",
                     CheckFailure::None,
                     {{"shop.cn", "m.shop.cn", "myshop.cn", "shop.cn.evil.com"}, {}},
                     {}}});
    // Not ended: the run is still going, or was killed.
    const std::string html = Report(path, "www.Shop.cn");
    EXPECT_NE(html.find("<li><mark>shop.cn</mark></li><li><mark>m.shop.cn</mark></li>"
                        "<li>myshop.cn</li><li>shop.cn.evil.com</li>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("Z，尚未结束或被中断）"), std::string::npos);
}

TEST(HistoryReportTest, AFailedCheckSaysWhatItMetAndWhy) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    HistoryFile history(path, "test");
    history.Begin(u"shop.example.cn", Device::Pc, u"", {});
    const std::vector<std::pair<CheckFailure, std::string>> failures = {
        {CheckFailure::Blocked, "verification page"},
        {CheckFailure::Fetch, "Could not resolve host: <x>"},
        {CheckFailure::Unreadable, "markup broken"},
        {CheckFailure::NotResultPage, "not a result page"},
    };
    int order = 0;
    for (const auto& [failure, reason] : failures) {
        history.Record({{++order,
                         u"kw" + std::u16string(1, static_cast<char16_t>(u'0' + order)),
                         PageKind::Desktop,
                         u"查询失败",
                         u"查询失败",
                         failure,
                         {},
                         reason}});
    }
    history.End({});
    const std::string html = Report(path);
    for (const char* cell : {"<td class='failed' title='verification page'>查询失败（验证页）</td>",
                             "<td class='failed' title='Could not resolve host: &lt;x&gt;'>"
                             "查询失败（连接失败）</td>",
                             "title='markup broken'>查询失败（无法读取）</td>",
                             "title='not a result page'>查询失败（非结果页）</td>"}) {
        EXPECT_NE(html.find(cell), std::string::npos) << cell;
    }
}

// A run of shop.example.cn on one page in which each keyword reads its pair of labels.
struct SideLabels {
    std::u16string keyword;
    std::u16string left;
    std::u16string right;
    bool phone = false;  // on the phone's page of a run of both
};
void KeepSides(const std::string& path, Device device, const std::vector<SideLabels>& labels) {
    HistoryFile history(path, "test");
    history.Begin(u"shop.example.cn", device, u"", {});
    int order = 0;
    for (const SideLabels& keyword : labels) {
        const bool failed = keyword.left == u"查询失败";
        history.Record(
            {{++order,
              keyword.keyword,
              device == Device::Mobile || keyword.phone ? PageKind::Phone : PageKind::Desktop,
              keyword.left,
              keyword.right,
              failed ? CheckFailure::Fetch : CheckFailure::None,
              {},
              {}}});
    }
    history.End({});
}

TEST(HistoryReportTest, TheCountsSayHowEachSideMovedAndHowManyFailed) {
    const struct {
        Device device;
        std::vector<SideLabels> before;
        std::vector<SideLabels> after;
        std::vector<std::string> lines;  // side, up, down, gained, lost; then the failures
    } cases[] = {
        {Device::Pc,
         {{u"a", u"左2", u"右1"}, {u"b", u"左无", u"右无"}, {u"c", u"左1", u"右3"}},
         {{u"a", u"左1", u"右无"}, {u"b", u"左无", u"右2"}, {u"c", u"查询失败", u"查询失败"}},
         {"左侧 1 0 0 0", "右侧 0 0 1 1", "1"}},
        {Device::Pc,
         {{u"a", u"左1", u"右1"}, {u"b", u"左3", u"右2"}},
         {{u"a", u"左无", u"右2"}, {u"b", u"左2", u"右3"}},
         {"左侧 1 0 0 1", "右侧 0 2 0 0", "0"}},
        {Device::Mobile,
         {{u"a", u"上1", u"下2"}, {u"b", u"上无推广位", u"下无"}},
         {{u"a", u"上3", u"下1"}, {u"b", u"上2", u"下无"}},
         {"上方 0 1 1 0", "下方 1 0 0 0", "0"}},
        {Device::Both,
         {{u"a", u"左1", u"右无"}, {u"a", u"上无", u"下无", true}, {u"b", u"上2", u"下无", true}},
         {{u"a", u"左1", u"右1"},
          {u"a", u"上1", u"下无", true},
          {u"b", u"查询失败", u"查询失败", true}},
         {"左侧 0 0 0 0", "右侧 0 0 1 0", "上方 0 0 1 0", "下方 0 0 0 0", "1"}},
    };
    for (const auto& c : cases) {
        testing::TempDir dir;
        const std::string path = dir.file("slotscope.db");
        KeepSides(path, c.device, c.before);
        KeepSides(path, c.device, c.after);
        std::string shown;
        const std::string html = Report(path);
        for (std::size_t at = html.find("<p class='counts'>"); at != std::string::npos;
             at = html.find("<p class='counts'>", at + 1)) {
            std::string line = html.substr(at, html.find("</p>", at) - at);
            // Only the words of the side and the numbers.
            std::string kept;
            for (const std::string_view part : {"<span class='side'>", "<b>"}) {
                for (std::size_t p = line.find(part); p != std::string::npos;
                     p = line.find(part, p + 1)) {
                    const std::size_t from = p + part.size();
                    kept +=
                        (kept.empty() ? "" : " ") + line.substr(from, line.find('<', from) - from);
                }
            }
            shown += kept + "|";
        }
        std::string expected;
        for (const std::string& line : c.lines) {
            expected += line + "|";
        }
        EXPECT_EQ(shown, expected) << html;
    }
}

TEST(HistoryReportTest, RunsOfTheSameMinuteHaveColumnsOfTheirOwn) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    for (const char16_t* left : {u"左1", u"左2", u"左1"}) {
        KeepSides(path, Device::Pc, {{u"kw", left, u"右无"}});
    }
    ReportOptions options;  // local times, as the user sees them
    const SiteReport report = WriteSiteReport(path, "shop.example.cn", 0, path + ".html", options);
    ASSERT_EQ(report.outcome, SiteReport::Outcome::Written) << report.problem;
    const std::string html = testing::ReadFileBytes(path + ".html");
    const std::regex column(
        "<th class='run'>\\d{4}-\\d\\d-\\d\\d<br>\\d\\d:\\d\\d:\\d\\d"
        "<span class='none'>编号 (\\d+)</span></th>");
    std::vector<std::string> numbers;
    for (auto match = std::sregex_iterator(html.begin(), html.end(), column);
         match != std::sregex_iterator(); ++match) {
        numbers.push_back((*match)[1]);
    }
    // The newest next to the keywords.
    EXPECT_EQ(numbers, (std::vector<std::string>{"3", "2", "1"})) << html;
}

TEST(HistoryReportTest, ChangesLinkToTheirRowsAndKeywordsThatDidNotMoveAreFoldedAway) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    KeepRun(path, {{u"k1", u"左1"}, {u"k2", u"左1"}, {u"k3", u"左1"}});
    // k2 listed twice: one row, one row of who holds its slots.
    KeepRun(path, {{u"k1", u"左1"}, {u"k2", u"左2"}, {u"k3", u"左1"}, {u"k2", u"左2"}});
    const std::string html = Report(path);
    std::set<std::string> ids;
    const std::regex id(" id='([^']*)'");
    for (auto match = std::sregex_iterator(html.begin(), html.end(), id);
         match != std::sregex_iterator(); ++match) {
        EXPECT_TRUE(ids.insert((*match)[1]).second) << "twice: " << (*match)[1];
    }
    const std::regex link(" href='#([^']*)'");
    for (auto match = std::sregex_iterator(html.begin(), html.end(), link);
         match != std::sregex_iterator(); ++match) {
        EXPECT_TRUE(ids.contains((*match)[1])) << "leads nowhere: " << (*match)[1];
    }
    const std::size_t folded = html.find("<details><summary>没有变化的关键词（2 个）</summary>");
    ASSERT_NE(folded, std::string::npos) << html;
    // Each part, in the page's order: 变化 links to the moved keyword's row, above the fold;
    // each row links to who holds its slots.
    std::size_t at = 0;
    for (const std::string& part : {
             std::string("<a class='kw' href='#s1k1'>k2</a>"),
             std::string("<tr id='s1k1'><td class='kw'><a class='name' href='#s1h1'"),
             std::string("<details>"),
             std::string("<tr id='s1k0'><td class='kw'><a class='name' href='#s1h0'"),
             std::string("<tr id='s1k2'>"),
             std::string("</details>"),
             std::string("<tr id='s1h0'>"),
             std::string("<tr id='s1h1'>"),
         }) {
        const std::size_t found = html.find(part, at);
        EXPECT_NE(found, std::string::npos) << part << html;
        at = found == std::string::npos ? at : found;
    }
}

TEST(HistoryReportTest, ARunAloneInTheReportSaysSoOnlyWhenNothingCameBefore) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    KeepSides(path, Device::Pc, {{u"kw", u"左2", u"右无"}});
    ReportOptions options;
    const std::string output = path + ".html";
    ASSERT_EQ(WriteSiteReport(path, "shop.example.cn", 1, output, options).outcome,
              SiteReport::Outcome::Written);
    EXPECT_NE(testing::ReadFileBytes(output).find("只有这一次查询"), std::string::npos);

    // The last run alone, compared with the one before it.
    KeepSides(path, Device::Pc, {{u"kw", u"左1", u"右无"}});
    ASSERT_EQ(WriteSiteReport(path, "shop.example.cn", 1, output, options).outcome,
              SiteReport::Outcome::Written);
    const std::string html = testing::ReadFileBytes(output);
    EXPECT_EQ(html.find("只有这一次查询"), std::string::npos) << html;
    EXPECT_NE(html.find("上升 <b>1</b>"), std::string::npos) << html;
}

TEST(HistoryReportTest, LocalTimesAreReadFromWellFormedUtcTimesOnly) {
    EXPECT_TRUE(std::regex_match(LocalTimeText("2026-12-08T02:11:19Z"),
                                 std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d")));
    EXPECT_TRUE(std::regex_match(LocalTimeText("2026-12-08T02:11:19Z", TimeShown::Seconds),
                                 std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:19")));
    for (const char* kept : {"2026-12-31T-1:00:00Z", "2026-13-01T00:00:00Z", "2026-02-30T00:00:00Z",
                             "2026-12-31T24:00:00Z", "2026-12-31 00:00:00", "2026-12-31T00:00:00",
                             "+026-12-31T00:00:00Z", "=cmd", ""}) {
        EXPECT_EQ(LocalTimeText(kept, TimeShown::Seconds), kept);
    }
}

TEST(HistoryReportTest, EveryTextFromAPageAKeywordOrTheClockIsEscaped) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    const std::string hostile = "<i'\"&>";
    const std::string escaped = "&lt;i&#39;&quot;&amp;&gt;";
    HistoryFile history(path, "test");
    history.Begin(u"shop.example.cn", Device::Pc, u"", {});
    history.Record({{1,
                     u"k" + DecodeUtf8(hostile),
                     PageKind::Desktop,
                     u"左1",
                     u"右" + DecodeUtf8(hostile),
                     CheckFailure::None,
                     {{"s" + hostile}, {}},
                     {},
                     {{{"s" + hostile, "h" + hostile, "x" + hostile}}, {}}}});
    history.Record({{2,
                     u"kw2",
                     PageKind::Desktop,
                     u"查询失败",
                     u"查询失败",
                     CheckFailure::Fetch,
                     {},
                     "r" + hostile}});
    history.End({});
    ReportOptions options;
    options.localTime = [&](std::string_view utc) { return "t" + hostile + std::string(utc); };
    ASSERT_EQ(WriteSiteReport(path, "shop.example.cn", 0, path + ".html", options).outcome,
              SiteReport::Outcome::Written);
    const std::string html = testing::ReadFileBytes(path + ".html");
    EXPECT_EQ(html.find(hostile), std::string::npos) << html;
    for (const std::string& part : {
             "<span class='name'>k" + escaped + "</span>",   // a keyword
             "<br>右" + escaped + "</td>",                   // a page's label
             "<li>s" + escaped + "<span",                    // a site on a page
             "<span class='ad' title='x" + escaped + "'>h",  // its ad's text and title
             "'>h" + escaped + "</span>",
             " title='r" + escaped + "'>",   // why a check failed
             "<th class='run'>t" + escaped,  // the clock
             "（t" + escaped,
         }) {
        EXPECT_NE(html.find(part), std::string::npos) << part;
    }
}

TEST(HistoryReportBoundsTest, EveryKeywordThatMovedAndAtMostSoManyOthersAreShown) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    KeepRun(path, {{u"k1", u"左1"},
                   {u"k2", u"左1"},
                   {u"k3", u"左1"},
                   {u"k4", u"左1"},
                   {u"k5", u"左1"},
                   {u"k6", u"左1"},
                   {u"old", u"左1"}});
    // k4 moves, k6 is lost; "old" is not checked again.
    KeepRun(path, {{u"k1", u"左1"},
                   {u"k2", u"左1"},
                   {u"k3", u"左1"},
                   {u"k4", u"左2"},
                   {u"k5", u"左1"},
                   {u"k6", u"左无"}});
    const struct {
        std::vector<const char*> shown;
        int unchanged;
        int leftOut;
    } cases[] = {
        {{"k4", "k6"}, 0, 5},
        {{"k1", "k4", "k6"}, 1, 4},
        // Five did not change: one short of them, all of them, one more.
        {{"k1", "k2", "k3", "k4", "k5", "k6"}, 4, 1},
        {{"k1", "k2", "k3", "k4", "k5", "k6", "old"}, 5, 0},
        {{"k1", "k2", "k3", "k4", "k5", "k6", "old"}, 6, 0},
    };
    for (const auto& c : cases) {
        const std::string html = Report(path, "shop.example.cn", c.unchanged);
        for (const char* keyword : {"k1", "k2", "k3", "k4", "k5", "k6", "old"}) {
            const bool shown = std::find(c.shown.begin(), c.shown.end(),
                                         std::string_view(keyword)) != c.shown.end();
            // In the table and among who holds the slots (but "old", which the last run did not
            // check), or in neither.
            EXPECT_EQ(KeywordRows(html, keyword),
                      shown ? (keyword == std::string("old") ? 1U : 2U) : 0U)
                << c.unchanged << " " << keyword;
        }
        const std::string note = "另有 " + std::to_string(c.leftOut) + " 个关键词";
        EXPECT_EQ(html.find(note) != std::string::npos, c.leftOut > 0) << c.unchanged << html;
        EXPECT_EQ(html.find("--format csv 导出") != std::string::npos, c.leftOut > 0);
    }
}

TEST(HistoryReportBoundsTest, AReportCoversTheLastThirtyRunsAtMost) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    ASSERT_EQ(testing::BulkHistory(path, 2, kReportRuns + 2), "");
    const std::string html = Report(path);
    EXPECT_NE(html.find("共 30 次查询"), std::string::npos);
    // Each keyword's line has a dot per run; the charts a point per run.
    const std::size_t row = html.find("'>鲜花速递1</a>");
    ASSERT_NE(row, std::string::npos);
    const std::string line = html.substr(row, html.find("</tr>", row) - row);
    EXPECT_EQ(Count(line, "h0"), 30U) << line;
    EXPECT_EQ(Count(html, "<circle"), 2U * 30U);
    // The one before the first covered is left out of the report, not just of the table.
    EXPECT_EQ(html.find("2026-12-02T02:00:00Z"), std::string::npos);
}

TEST(HistoryExportTest, NoCellOfTheSpreadsheetIsAFormula) {
    const struct {
        const char* text;
        const char* cell;
    } cases[] = {
        {"=HYPERLINK(\"http://evil.example/\")", "\"'=HYPERLINK(\"\"http://evil.example/\"\")\""},
        {"=cmd|' /C calc'!A0", "'=cmd|' /C calc'!A0"},
        {"+1", "'+1"},
        {"-evil.cn", "'-evil.cn"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"鲜花=玫瑰", "鲜花=玫瑰"},
        {"a,b", "\"a,b\""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CsvField(c.text), c.cell) << c.text;
    }

    // Through the export: a keyword, and a site a page made start with a hyphen.
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    HistoryFile history(path, "test");
    history.Begin(u"shop.example.cn", Device::Pc, u"", {});
    history.Record({{1,
                     u"=cmd|' /C calc'!A0",
                     PageKind::Desktop,
                     u"左无",
                     u"右无推广位",
                     CheckFailure::None,
                     {{"-evil.cn"}, {}},
                     {}}});
    history.End({});
    const auto reader = HistoryReader::Open(path);
    ASSERT_TRUE(reader) << reader.error();
    const auto runs = (*reader)->Runs("shop.example.cn", 0);
    ASSERT_TRUE(runs.has_value());
    std::string csv;
    EXPECT_EQ(WriteHistoryCsv(**reader, *runs,
                              [&](std::string_view text) {
                                  csv += text;
                                  return true;
                              }),
              ExportEnd::Written);
    EXPECT_NE(csv.find(",电脑,电脑,本机,1,'=cmd|' /C "
                       "calc'!A0,左无,右无推广位,,,1,0,'-evil.cn,,首次,首次,,,,\r\n"),
              std::string::npos)
        << csv;
}

TEST(HistoryExportTest, WordsOfANewerVersionGoOutAsTheyAreKept) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    KeepSides(path, Device::Pc, {{u"kw", u"查询失败", u"查询失败"}});
    // What a later version may write: a page and a failure this one has no word for.
    ASSERT_TRUE(testing::Execute(path,
                                 "UPDATE runs SET device = 'tablet'; UPDATE results SET "
                                 "page = '=tablet', failed = 'timeout'"));
    const auto reader = HistoryReader::Open(path);
    ASSERT_TRUE(reader) << reader.error();
    const auto runs = (*reader)->Runs("shop.example.cn", 0);
    ASSERT_TRUE(runs.has_value());
    std::string csv;
    EXPECT_EQ(WriteHistoryCsv(**reader, *runs,
                              [&](std::string_view text) {
                                  csv += text;
                                  return true;
                              }),
              ExportEnd::Written);
    EXPECT_NE(
        csv.find(",tablet,'=tablet,本机,1,kw,查询失败,查询失败,,,,,,,查询失败,查询失败,timeout,"),
        std::string::npos)
        << csv;
}

}  // namespace
}  // namespace slotscope
