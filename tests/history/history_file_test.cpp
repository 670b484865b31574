// The history file on its own: what the rounds after verification revise, and a file another
// program holds locked.

#include "history/history_file.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <map>
#include <stop_token>
#include <string>
#include <vector>

#include "base/text_codec.h"
#include "history/history_read.h"
#include "history/stored_ads.h"
#include "tests/support/fakes.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

using testing::Rows;

KeywordOutcome Outcome(int order, std::u16string left, CheckFailure failure) {
    return {order,
            u"kw" + std::u16string(1, static_cast<char16_t>(u'0' + order)),
            PageKind::Desktop,
            std::move(left),
            u"右无",
            failure,
            {},
            {}};
}

TEST(HistoryFileTest, TheRoundsAfterVerificationReviseTheRowsAndTheirChanges) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    {
        HistoryFile earlier(path, "test");
        earlier.Begin(u"shop.example.cn", Device::Pc, u"", {});
        earlier.Record({Outcome(1, u"左3", CheckFailure::None)});
        earlier.End({});
    }
    HistoryFile history(path, "test");
    history.Begin(u"shop.example.cn", Device::Pc, u"", {});
    history.Record({Outcome(1, u"查询失败", CheckFailure::Blocked)});
    history.Record({Outcome(2, u"左1", CheckFailure::None)});
    EXPECT_EQ(history.changes().up, 0);
    history.Revise(
        {Outcome(1, u"左2", CheckFailure::None), Outcome(2, u"左1", CheckFailure::None)});
    RunSummary summary;
    summary.keywords = 2;
    history.End(summary);
    EXPECT_EQ(history.problem(), "");
    EXPECT_EQ(Rows(path,
                   "SELECT left_label || ' ' || ifnull(failed, '-') || ' ' || left_change || "
                   "ifnull(left_by, '') FROM results WHERE run = 2 ORDER BY ord"),
              (std::vector<std::string>{"左2 - up1", "左1 - first"}));
    EXPECT_EQ(history.changes().up, 1);
    EXPECT_TRUE(history.changes().compared);
}

TEST(HistoryFileTest, RunsOfOneSiteHoweverSpeltCompareAsOne) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    {
        HistoryFile older(path, "older");
        older.Begin(u"http://www.Huaxian-shop.cn/", Device::Pc, u"", {});
        older.Record({Outcome(1, u"左4", CheckFailure::None)});
        older.End({});
    }
    // As the schema before kept it: the site as typed, no failure reasons.
    ASSERT_TRUE(testing::Execute(path,
                                 "ALTER TABLE results DROP COLUMN failure_reason; "
                                 "ALTER TABLE results DROP COLUMN left_ads; "
                                 "ALTER TABLE results DROP COLUMN right_ads; "
                                 "ALTER TABLE runs DROP COLUMN region; PRAGMA user_version = 2"));
    // Found under any spelling before a run has stored it anew.
    for (const char* site : {"huaxian-shop.cn", "www.huaxian-shop.cn", "HTTPS://huaxian-shop.cn"}) {
        const auto reader = HistoryReader::Open(path);
        ASSERT_TRUE(reader) << reader.error();
        EXPECT_EQ((*reader)->Runs(site, 0).value_or(std::vector<StoredRun>{}).size(), 1U) << site;
    }

    HistoryFile history(path, "test");
    history.Begin(u"huaxian-shop.cn", Device::Pc, u"", {});
    history.Record({Outcome(1, u"左无", CheckFailure::None)});
    history.End({});
    EXPECT_EQ(history.problem(), "");
    EXPECT_EQ(history.changes().lost, 1);
    EXPECT_EQ(Rows(path, "SELECT DISTINCT site FROM runs"),
              (std::vector<std::string>{"huaxian-shop.cn"}));
    EXPECT_EQ(Rows(path, "PRAGMA user_version"),
              std::vector<std::string>{std::to_string(HistoryFile::kSchemaVersion)});
}

TEST(HistoryFileTest, EachPaidListingIsKeptWithItsTitleAndText) {
    const std::vector<ListingAd> shown = {{"a.cn", "鲜花 \"速递\"", "同城；配送"}, {"", "", ""}};
    const std::vector<StoredAd> kept = {{"a.cn", "鲜花 \"速递\"", "同城；配送"}, {"", "", ""}};
    const struct {
        const char* name;
        CheckFailure failure;
        std::vector<std::string> sites;
        std::optional<std::vector<StoredAd>> ads;
    } cases[] = {
        {"read", CheckFailure::None, {"a.cn", ""}, kept},
        {"failed: none known", CheckFailure::Fetch, {"a.cn", ""}, std::nullopt},
        {"sites given without titles: none known", CheckFailure::None, {"a.cn"}, std::nullopt},
    };
    for (const auto& c : cases) {
        testing::TempDir dir;
        const std::string path = dir.file("slotscope.db");
        HistoryFile history(path, "test");
        history.Begin(u"shop.example.cn", Device::Pc, u"", {});
        KeywordOutcome outcome = Outcome(1, u"左无", c.failure);
        outcome.sites.left = c.sites;
        outcome.ads.left = shown;
        history.Record({outcome});
        history.End({});
        const auto reader = HistoryReader::Open(path);
        ASSERT_TRUE(reader) << reader.error();
        std::vector<StoredResult> results;
        (*reader)->ResultsOfRun(history.RunId(), [&](const StoredResult& result) {
            results.push_back(result);
            return true;
        });
        ASSERT_EQ(results.size(), 1U) << c.name;
        EXPECT_EQ(results[0].left.ads, c.ads) << c.name;
        // The right side showed no listing: known to show none where the page was read.
        EXPECT_EQ(results[0].right.ads.has_value(), c.failure == CheckFailure::None) << c.name;
    }
}

TEST(HistoryFileTest, ListingsKeptOddlyReadAsWellAsTheyCan) {
    const struct {
        std::optional<std::string> column;
        std::optional<std::vector<StoredAd>> ads;
    } cases[] = {
        {R"([{"site":"a.cn","title":null,"text":5}])", std::vector<StoredAd>{{"a.cn", "", ""}}},
        {R"([{"title":"t","more":[1]}])", std::vector<StoredAd>{{"", "t", ""}}},
        {R"([1])", std::nullopt},
        {R"({"site":"a.cn"})", std::nullopt},
        {"not json", std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitAds(c.column), c.ads) << c.column.value_or("null");
    }
}

TEST(HistoryFileTest, AFileLockedPastTheWaitIsGivenUpAndLeftAsItIs) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    {
        HistoryFile first(path, "test");
        first.Begin(u"shop.example.cn", Device::Pc, u"", {});
        first.End({});
    }
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    HistoryFile locked(path, "test", std::chrono::milliseconds(100));
    locked.Begin(u"shop.example.cn", Device::Pc, u"", {});
    locked.Record({Outcome(1, u"左1", CheckFailure::None)});
    locked.End({});
    EXPECT_NE(locked.problem().find("locked"), std::string::npos) << locked.problem();

    // A run asked to stop does not sit out the wait (a minute here).
    std::stop_source stop;
    stop.request_stop();
    HistoryFile stopped(path, "test", std::chrono::minutes(1));
    const auto started = std::chrono::steady_clock::now();
    stopped.Begin(u"shop.example.cn", Device::Pc, u"", stop.get_token());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_FALSE(stopped.problem().empty());

    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(Rows(path, "SELECT count(*) FROM runs"), (std::vector<std::string>{"1"}));
    EXPECT_EQ(Rows(path, "PRAGMA integrity_check"), (std::vector<std::string>{"ok"}));
}

TEST(HistoryFileTest, ARunWhoseHistoryStoppedMidWaySaysHowMuchItKept) {
    const struct {
        const char* lockedAt;  // the search before which another run takes the history
        int kept;
        std::u16string_view caption;
        const char* problem;
    } cases[] = {
        {"wd=c", 2, u"（历史记录只保存了前2个词）", "database is locked"},
        // b met a verification page; its second try is the round after it.
        {"wd=b#2", 4, u"（历史记录未完整保存）", "were not revised"},
    };
    for (const auto& c : cases) {
        testing::TempDir dir;
        const std::string path = dir.file("slotscope.db");
        sqlite3* other = nullptr;
        std::map<std::string, int> tries;
        testing::FakeFetcher fetcher([&](const std::string& address, std::stop_token) {
            const int tried = ++tries[address];
            if (address + (tried > 1 ? "#" + std::to_string(tried) : "") ==
                "http://search.test/s?" + std::string(c.lockedAt)) {
                sqlite3_open(path.c_str(), &other);
                sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            }
            if (address.ends_with("wd=b") && tried == 1) {
                return FetchResult::Failed(FetchFailureKind::Blocked, "verification page");
            }
            return FetchResult::Page(u"<title>x_百度搜索</title><div id=\"content_left\"></div>");
        });
        testing::RecordingFields fields(u"a\r\nb\r\nc\r\nd", u"shop.example.cn");
        HistoryFile history(path, "test", std::chrono::milliseconds(100));
        RunOptions options;
        options.resultsPath = dir.file("baidu.csv");
        options.homePageUrl = "http://home.test/";
        options.searchUrlPrefix = "http://search.test/s?wd=";
        options.history = &history;
        options.verifyRounds = 1;
        options.verifyPause = std::chrono::milliseconds(1);
        const RunSummary summary = RunKeywordCheck(fields, fetcher, options);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        EXPECT_EQ(summary.historyKeywords, c.kept) << c.lockedAt;
        EXPECT_TRUE(fields.Status().ends_with(c.caption)) << EncodeUtf8(fields.Status());
        EXPECT_NE(summary.historyProblem.find(c.problem), std::string::npos)
            << summary.historyProblem;
    }
}

}  // namespace
}  // namespace slotscope
