// The history as an Excel workbook, read back by openpyxl as a spreadsheet program would.

#include "workbook/site_workbook.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/text_codec.h"
#include "history/history_file.h"
#include "history/history_read.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xlsx_cells.h"
#include "workbook/xlsx_book.h"

namespace slotscope {
namespace {

using Json = nlohmann::json;

// A keyword's check: its labels and the sites in its left (top) and right (bottom) slots.
struct Check {
    std::u16string keyword;
    std::u16string left;
    std::vector<std::string> leftSites;
    std::u16string right = u"右无推广位";
    std::vector<std::string> rightSites = {};
};

void KeepRun(const std::string& path, Device device, std::u16string_view region,
             const std::vector<Check>& checks) {
    HistoryFile history(path, "test");
    history.Begin(u"shop.example.cn", device, region, {});
    int order = 0;
    for (const Check& check : checks) {
        KeywordOutcome outcome;
        outcome.order = ++order;
        outcome.keyword = check.keyword;
        outcome.page = device == Device::Mobile ? PageKind::Phone : PageKind::Desktop;
        outcome.left = check.left;
        outcome.right = check.right;
        outcome.sites = {check.leftSites, check.rightSites};
        for (const std::string& site : check.leftSites) {
            outcome.ads.left.push_back({site, site + "的" + EncodeUtf8(check.keyword), ""});
        }
        history.Record({outcome});
    }
    history.End({});
    ASSERT_EQ(history.problem(), "");
}

// Local time as the history's UTC, so that the cells can be told from the history's times.
WorkbookOptions AsKept() {
    return {.localTime = [](std::string_view utc) {
        std::string shown(utc.substr(0, 19));
        shown[10] = ' ';
        return shown;
    }};
}

Json Date(const std::string& shown) {
    return {{"date", shown}, {"format", "yyyy-mm-dd hh:mm:ss"}};
}

class SiteWorkbookTest : public ::testing::Test {
  protected:
    // Two desktop runs from this machine, then a phone run from 北京.
    void SetUp() override {
        KeepRun(db_, Device::Pc, u"",
                {{u"鲜花", u"左2", {"hua.com", "shop.example.cn"}},
                 {u"绿植", u"左1", {"shop.example.cn"}},
                 {u"=SUM(1)", u"左无", {"hua.com"}}});
        KeepRun(db_, Device::Pc, u"",
                {{u"鲜花", u"左1", {"shop.example.cn", "hua.com"}, u"右无", {"m.shop.example.cn"}},
                 {u"绿植", u"左无", {"hua.com", "rose.cn"}},
                 {u"=SUM(1)", u"左1", {"shop.example.cn", ""}}});
        KeepRun(db_, Device::Mobile, u"北京", {{u"鲜花", u"上无", {"rose.cn"}, u"下无推广位"}});
    }

    // The workbook written beside the history, read back.
    Json Written() {
        const SiteWorkbook workbook =
            WriteSiteWorkbook(db_, "www.shop.example.cn", 0, {}, AsKept());
        EXPECT_EQ(workbook.outcome, SiteWorkbook::Outcome::Written) << workbook.problem;
        EXPECT_EQ(workbook.path, dir_.file("slotscope-shop.example.cn.xlsx"));
        const std::optional<Json> read = testing::ReadWorkbook(workbook.path);
        if (!read) {
            return {};
        }
        EXPECT_FALSE(read->is_discarded());
        return *read;
    }

    std::string Started(int run) const {
        const std::vector<StoredRun> runs =
            HistoryReader::Open(db_).value()->Runs("shop.example.cn", 0).value();
        return AsKept().localTime(runs.at(static_cast<std::size_t>(run - 1)).started);
    }

    testing::TempDir dir_;
    std::string db_ = dir_.file("slotscope.db");
};

TEST_F(SiteWorkbookTest, EachSheetHasItsHeaderInViewAndAFilterOverItsRows) {
    const Json book = Written();
    if (book.is_null()) {
        GTEST_SKIP() << testing::kNoOpenpyxl;
    }
    EXPECT_EQ(book["sheets"], Json({"最新", "历史", "竞争对手"}));
    const struct {
        const char* sheet;
        const char* filter;
        Json header;
    } sheets[] = {
        {"最新",
         "A1:M5",
         {"关键词", "页面", "地域", "查询时间", "左侧/上方", "左侧变化", "左侧位次", "左侧网站",
          "右侧/下方", "右侧变化", "右侧位次", "右侧网站", "查询失败"}},
        {"历史",
         "A1:M8",
         {"运行编号", "开始时间", "页面", "地域", "关键词", "左侧/上方", "右侧/下方", "左侧位次",
          "右侧位次", "左侧变化", "右侧变化", "查询失败", "失败原因"}},
        {"竞争对手", "A1:E3", {"网站", "最新上榜词数", "全部上榜词数", "最好位次", "最新广告标题"}},
    };
    for (const auto& expected : sheets) {
        const Json& sheet = book[expected.sheet];
        EXPECT_EQ(sheet["rows"][0], expected.header) << expected.sheet;
        EXPECT_EQ(sheet["freeze"], "A2") << expected.sheet;
        EXPECT_EQ(sheet["filter"], expected.filter) << expected.sheet;
    }
    // Chinese text counts twice: 最新上榜词数 is six characters wide twice over, and more.
    EXPECT_GE(book["竞争对手"]["widths"]["B"].get<double>(), 12);
    EXPECT_GE(book["最新"]["widths"]["H"].get<double>(),
              std::string_view("shop.example.cn; hua.com").size());
}

TEST_F(SiteWorkbookTest, TheLatestChecksShowEachMoveMarkedByArrowAndColour) {
    const Json book = Written();
    if (book.is_null()) {
        GTEST_SKIP() << testing::kNoOpenpyxl;
    }
    const Json& latest = book["最新"];
    const Json rows = {
        {"鲜花", "电脑", "本机", Date(Started(2)), "左1", "↑1", 1, "shop.example.cn; hua.com",
         "右无", "仍无", nullptr, "m.shop.example.cn", nullptr},
        {"绿植", "电脑", "本机", Date(Started(2)), "左无", "掉出", nullptr, "hua.com; rose.cn",
         "右无推广位", "仍无", nullptr, nullptr, nullptr},
        // A keyword that looks like a formula is text.
        {"=SUM(1)", "电脑", "本机", Date(Started(2)), "左1", "新上", 1,
         "shop.example.cn; （未显示网址）", "右无推广位", "仍无", nullptr, nullptr, nullptr},
        {"鲜花", "手机", "北京", Date(Started(3)), "上无", "首次", nullptr, "rose.cn", "下无推广位",
         "首次", nullptr, nullptr, nullptr},
    };
    EXPECT_EQ(Json(std::vector<Json>(latest["rows"].begin() + 1, latest["rows"].end())), rows);
    EXPECT_EQ(latest["fills"], Json({{"F2", "FFC6EFCE"}, {"F3", "FFFFC7CE"}, {"F4", "FFC6EFCE"}}));
}

TEST_F(SiteWorkbookTest, TheHistoryListsEveryCheckLatestRunFirstWithItsStartAsADate) {
    const Json book = Written();
    if (book.is_null()) {
        GTEST_SKIP() << testing::kNoOpenpyxl;
    }
    const Json& rows = book["历史"]["rows"];
    ASSERT_EQ(rows.size(), 8U);
    EXPECT_EQ(rows[1], Json({3, Date(Started(3)), "手机", "北京", "鲜花", "上无", "下无推广位",
                             nullptr, nullptr, "首次", "首次", nullptr, nullptr}));
    EXPECT_EQ(rows[7], Json({1, Date(Started(1)), "电脑", "本机", "=SUM(1)", "左无", "右无推广位",
                             nullptr, nullptr, "首次", "首次", nullptr, nullptr}));
    EXPECT_EQ(rows[3][9], "掉出");
}

TEST_F(SiteWorkbookTest, CompetitorsAreEveryOtherSiteInTheSlots) {
    const Json book = Written();
    if (book.is_null()) {
        GTEST_SKIP() << testing::kNoOpenpyxl;
    }
    // Never the user's own site, nor a host of its own; hua.com held 2 keywords in the latest
    // checks, 3 in all; rose.cn's best is the phone's top 1. The title is the latest run's.
    EXPECT_EQ(book["竞争对手"]["rows"],
              Json({{"网站", "最新上榜词数", "全部上榜词数", "最好位次", "最新广告标题"},
                    {"hua.com", 2, 3, "左1", "hua.com的鲜花"},
                    {"rose.cn", 2, 2, "上1", "rose.cn的鲜花"}}));
}

TEST_F(SiteWorkbookTest, AWorkbookThatCannotBeWrittenLeavesEveryFileAsItWas) {
    std::filesystem::create_directory(testing::Utf8Path(dir_.file("folder.xlsx")));
    const struct {
        const char* name;
        std::string history;
        std::string site;
        std::string output;
        SiteWorkbook::Outcome outcome;
        const char* problem;
    } cases[] = {
        {"no history yet", dir_.file("none.db"), "shop.example.cn", "",
         SiteWorkbook::Outcome::NoHistory, "no history yet"},
        {"another site's", db_, "other.cn", "", SiteWorkbook::Outcome::NoHistory,
         "no run of other.cn"},
        {"onto the history", db_, "shop.example.cn", db_, SiteWorkbook::Outcome::Failed,
         "would replace the history file"},
        {"onto a folder", db_, "shop.example.cn", dir_.file("folder.xlsx"),
         SiteWorkbook::Outcome::Failed, "could not be written to"},
    };
    const std::string history = testing::ReadFileBytes(db_);
    for (const auto& c : cases) {
        const SiteWorkbook workbook = WriteSiteWorkbook(c.history, c.site, 0, c.output);
        EXPECT_EQ(workbook.outcome, c.outcome) << c.name;
        EXPECT_NE(workbook.problem.find(c.problem), std::string::npos)
            << c.name << ": " << workbook.problem;
    }
    EXPECT_EQ(testing::ReadFileBytes(db_), history);
    EXPECT_TRUE(std::filesystem::is_directory(testing::Utf8Path(dir_.file("folder.xlsx"))));
    // Nothing left beside them.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2);
}

TEST(XlsxBookTest, ChineseTextIsTwiceAsWideAsLatin) {
    const struct {
        std::string text;
        int width;
    } cases[] = {{"", 0},       {"hua.com", 7}, {"鲜花", 4},
                 {"左1 ↑1", 6}, {"（无）", 6},  {"\xF0\xA0\x80\x80", 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
    }
}

}  // namespace
}  // namespace slotscope
