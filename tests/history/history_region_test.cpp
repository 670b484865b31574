// Runs made from regions: each region's runs compare only with each other, and are read and
// exported with their region.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text_codec.h"
#include "history/history_export.h"
#include "history/history_file.h"
#include "history/history_read.h"
#include "history/history_report.h"
#include "tests/support/fakes.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

using testing::Rows;

// One run of shop.example.cn from `region` in which `keyword` reads `left`, on the desktop or the
// phone.
void RunFrom(const std::string& path, std::u16string_view region, std::u16string left,
             std::u16string keyword = u"kw1", Device device = Device::Pc) {
    HistoryFile history(path, "test");
    history.Begin(u"shop.example.cn", device, region, {});
    history.Record({{1,
                     std::move(keyword),
                     device == Device::Mobile ? PageKind::Phone : PageKind::Desktop,
                     std::move(left),
                     u"右无",
                     CheckFailure::None,
                     {},
                     {}}});
    history.End({});
    ASSERT_EQ(history.problem(), "");
}

// The report of every run of shop.example.cn in the history at `path`.
std::string ReportOf(const std::string& path) {
    auto reader = HistoryReader::Open(path);
    EXPECT_TRUE(reader) << reader.error();
    const std::vector<StoredRun> runs = (*reader)->Runs("shop.example.cn", 0).value();
    ReportOptions options;
    options.localTime = [](std::string_view utc) { return std::string(utc); };
    std::string html;
    EXPECT_EQ(WriteHistoryReport(**reader, "shop.example.cn", runs, options,
                                 [&](std::string_view text) {
                                     html += text;
                                     return true;
                                 }),
              ExportEnd::Written);
    return html;
}

TEST(HistoryRegionTest, ChangesCompareWithEarlierRunsOfTheSameRegionOnly) {
    const struct {
        std::u16string_view region;
        std::u16string left;
        const char* change;
    } runs[] = {
        {u"", u"左2", "first"},     {u"北京", u"左1", "first"},  {u"", u"左1", "up1"},
        {u"北京", u"左3", "down2"}, {u"上海", u"左无", "first"}, {u"上海", u"左1", "gained"},
    };
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    std::vector<std::string> expected;
    for (const auto& run : runs) {
        RunFrom(path, run.region, run.left);
        expected.push_back(EncodeUtf8(run.region) + "|" + run.change);
    }
    EXPECT_EQ(Rows(path,
                   "SELECT u.region, r.left_change || ifnull(r.left_by, '') FROM results r "
                   "JOIN runs u ON u.id = r.run ORDER BY r.run"),
              expected);
}

TEST(HistoryRegionTest, RunsAreReadAndExportedWithTheirRegion) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    RunFrom(path, u"", u"左2");
    RunFrom(path, u"北京", u"左1");
    auto reader = HistoryReader::Open(path);
    ASSERT_TRUE(reader) << reader.error();
    const struct {
        std::optional<std::string> region;
        std::vector<long long> runs;
    } filters[] = {{std::nullopt, {1, 2}}, {"北京", {2}}, {"", {1}}, {"上海", {}}};
    for (const auto& filter : filters) {
        const auto runs = (*reader)->Runs("shop.example.cn", 0, filter.region);
        ASSERT_TRUE(runs) << runs.error();
        std::vector<long long> ids;
        for (const StoredRun& run : *runs) {
            ids.push_back(run.id);
        }
        EXPECT_EQ(ids, filter.runs) << filter.region.value_or("(any)");
    }

    const std::vector<StoredRun> runs = (*reader)->Runs("shop.example.cn", 0).value();
    std::string json;
    std::string csv;
    ASSERT_EQ(WriteHistoryJson(**reader, "shop.example.cn", runs,
                               [&](std::string_view text) {
                                   json += text;
                                   return true;
                               }),
              ExportEnd::Written);
    ASSERT_EQ(WriteHistoryCsv(**reader, runs,
                              [&](std::string_view text) {
                                  csv += text;
                                  return true;
                              }),
              ExportEnd::Written);
    // Null for the machine's own connection, the name for a region: on the run and each result.
    for (const char* part : {R"("blocked":0,"region":null})", R"("blocked":0,"region":"北京"})",
                             R"("right_change":{"kind":"first"},"region":null})",
                             R"("right_change":{"kind":"first"},"region":"北京"})"}) {
        EXPECT_NE(json.find(part), std::string::npos) << part << "\nin " << json;
    }
    EXPECT_NE(csv.find(",电脑,电脑,本机,1,kw1,左2,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",电脑,电脑,北京,1,kw1,左1,"), std::string::npos) << csv;
}

TEST(HistoryRegionTest, TheReportShowsEachRegionAndPageApart) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    // 北京's runs before its last span the own connection's, whose keyword is not 北京's.
    RunFrom(path, u"北京", u"左3", u"bj");
    RunFrom(path, u"", u"左2");
    RunFrom(path, u"", u"左1");
    RunFrom(path, u"北京", u"左3", u"bj");
    RunFrom(path, u"", u"上2", u"phone", Device::Mobile);
    RunFrom(path, u"北京", u"左3", u"bj");
    const std::string html = ReportOf(path);

    const std::vector<std::string> headings = {"地域：本机（电脑）", "地域：本机（手机）",
                                               "地域：北京（电脑）"};
    std::vector<std::size_t> at;
    for (const std::string& heading : headings) {
        at.push_back(html.find(heading));
        ASSERT_NE(at.back(), std::string::npos) << heading;
    }
    ASSERT_TRUE(std::is_sorted(at.begin(), at.end()));
    const std::string ownDesktop = html.substr(at[0], at[1] - at[0]);
    const std::string ownPhone = html.substr(at[1], at[2] - at[1]);
    const std::string beijing = html.substr(at[2]);
    // Each part's runs, keywords, counts and charts are its own.
    EXPECT_NE(ownDesktop.find("共 2 次查询"), std::string::npos) << ownDesktop;
    EXPECT_NE(ownDesktop.find("上升 <b>1</b>"), std::string::npos) << ownDesktop;
    EXPECT_EQ(ownDesktop.find("bj"), std::string::npos) << ownDesktop;
    EXPECT_NE(ownPhone.find("共 1 次查询"), std::string::npos) << ownPhone;
    // The phone's part speaks of its top and bottom blocks, never of a left or right side.
    for (const char* words :
         {"占到上方推广位", "平均上方位置", "上方位置走势", ">上方</span>", ">下方</span>"}) {
        EXPECT_NE(ownPhone.find(words), std::string::npos) << words;
        EXPECT_EQ(ownDesktop.find(words), std::string::npos) << words;
    }
    EXPECT_EQ(ownPhone.find("左侧"), std::string::npos) << ownPhone;
    EXPECT_EQ(ownPhone.find("kw1"), std::string::npos) << ownPhone;
    EXPECT_NE(beijing.find("共 3 次查询"), std::string::npos) << beijing;
    EXPECT_NE(beijing.find("上升 <b>0</b>"), std::string::npos) << beijing;
    EXPECT_EQ(beijing.find("kw1"), std::string::npos) << beijing;
    for (const std::string* part : {&ownDesktop, &ownPhone, &beijing}) {
        EXPECT_NE(part->find("<h2>每次查询</h2>"), std::string::npos);
    }
}

TEST(HistoryRegionTest, AReportOfOnePlaceAndPageHasNoPartHeadings) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    RunFrom(path, u"北京", u"左3");
    RunFrom(path, u"北京", u"左1");
    EXPECT_EQ(ReportOf(path).find("地域："), std::string::npos);
}

TEST(HistoryRegionTest, TheRunsRegionIsKept) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    testing::FakeFetcher fetcher([](const std::string&, std::stop_token) {
        return FetchResult::Page(u"<title>x_百度搜索</title><div id=\"content_left\"></div>");
    });
    testing::RecordingFields fields(u"a", u"shop.example.cn");
    HistoryFile history(path, "test");
    RunOptions options;
    options.resultsPath = dir.file("baidu_广州-天河.csv");
    options.homePageUrl = "http://home.test/";
    options.searchUrlPrefix = "http://search.test/s?wd=";
    options.history = &history;
    options.region = u"广州-天河";
    RunKeywordCheck(fields, fetcher, options);
    EXPECT_EQ(history.problem(), "");
    EXPECT_EQ(Rows(path, "SELECT region FROM runs"), std::vector<std::string>{"广州-天河"});
}

}  // namespace
}  // namespace slotscope
