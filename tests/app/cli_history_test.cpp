// The run history through slotscope-cli: what each run keeps in slotscope.db, the changes since
// the last run, and history files that cannot be kept, against a real local HTTP server.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/cli_fixture.h"
#include "tests/support/browser.h"
#include "tests/support/bulk_history.h"
#include "tests/support/sqlite_rows.h"

namespace slotscope {
namespace {

using testing::Rows;

constexpr const char* kResults =
    "SELECT run, ord, keyword, left_label, left_slot, right_slot, failed, left_change, left_by, "
    "right_change FROM results ORDER BY run, ord";

TEST_F(CliTest, EveryRunIsKeptWithItsChangesSinceTheLast) {
    {
        Engine first({{u"鲜花", {2, 0}}, {u"kw2", {0, 1}}, {u"kw3", {1, 0}}}, {u"kw4"});
        const Outcome outcome = Run(Against(first, {}), "鲜花\nkw2\nkw3\nkw4\n");
        EXPECT_EQ(outcome.exitStatus, 1) << outcome.err;  // kw4 failed
        EXPECT_EQ(outcome.err.find("since the last run"), std::string::npos) << outcome.err;
    }
    Engine second({{u"鲜花", {1, 0}},
                   {u"kw2", {1, 0}},
                   {u"kw3", {3, 0}},
                   {u"kw4", {2, 0}},
                   {u"kw5", {1, 0}}});
    const Outcome outcome = Run(Against(second, {}), "鲜花\nkw2\nkw3\nkw4\nkw5\n");
    EXPECT_EQ(outcome.exitStatus, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("since the last run, left slots: 1 up, 1 down, 1 gained\n"),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(
        outcome.err.find("运行完毕，信息保存在同目录下的baidu.csv里（比上次：上升1个，下降1个，"
                         "新上1个）"),
        std::string::npos)
        << outcome.err;

    const std::string db = dir.file("slotscope.db");
    EXPECT_EQ(
        Rows(db,
             "SELECT id, site, device, ended, keywords, failed, blocked, version "
             "FROM runs ORDER BY id"),
        (std::vector<std::string>{"1|shop.example.cn|pc|finished|4|1|0|" SLOTSCOPE_VERSION_TEXT,
                                  "2|shop.example.cn|pc|finished|5|0|0|" SLOTSCOPE_VERSION_TEXT}));
    EXPECT_EQ(Rows(db, kResults), (std::vector<std::string>{
                                      "1|1|鲜花|左2|2|-|-|first|-|first",
                                      "1|2|kw2|左无|-|1|-|first|-|first",
                                      "1|3|kw3|左1|1|-|-|first|-|first",
                                      "1|4|kw4|查询失败|-|-|fetch|failed|-|failed",
                                      "2|1|鲜花|左1|1|-|-|up|1|none",
                                      "2|2|kw2|左1|1|-|-|gained|-|lost",
                                      "2|3|kw3|左3|3|-|-|down|2|none",
                                      // No earlier check of kw4 succeeded.
                                      "2|4|kw4|左2|2|-|-|first|-|first",
                                      "2|5|kw5|左1|1|-|-|first|-|first",
                                  }));
    const std::vector<std::string> times =
        Rows(db,
             "SELECT started <= finished AND started GLOB "
             "'2[0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-5][0-9]Z' "
             "FROM runs");
    EXPECT_EQ(times, (std::vector<std::string>{"1", "1"}));
}

// The bytes of an SQLite file made by `sql` in the test's folder.
std::string MakeDatabase(const std::string& path, const char* sql) {
    EXPECT_TRUE(testing::Execute(path, sql)) << sql;
    return ReadFileBytes(path);
}

TEST_F(CliTest, AHistoryThatCannotBeKeptNeverStopsTheRunNorLosesTheFile) {
    Engine engine({{u"kw", {1, 0}}});
    const std::string notADatabase = "my notes, not a database\n" + std::string(5000, 'x');
    const auto Database = [&](const char* name, const char* sql) {
        return MakeDatabase(dir.file(name), sql);
    };
    struct Case {
        const char* name;
        std::string contents;  // what the file holds before the run; empty: no file
        std::string path;
        const char* why;
    };
    const Case cases[] = {
        {"not a database", notADatabase, "notes.db", "file is not a database"},
        {"a folder that is not there", "", "missing/history.db", "cannot be opened"},
        {"another program's database", Database("contacts.db", "CREATE TABLE contacts (name)"),
         "contacts.db", "not a Slotscope history"},
        {"a later version's",
         Database("later.db",
                  "CREATE TABLE future (x); "
                  "PRAGMA application_id = 1399615348; "
                  "PRAGMA user_version = 99"),
         "later.db", "newer version of Slotscope"},
    };
    for (const Case& c : cases) {
        if (!c.contents.empty()) {
            WriteFileBytes(dir.file(c.path), c.contents);
        }
        const Outcome outcome = Run(Against(engine, {"--history", c.path}), "kw\n");
        EXPECT_EQ(outcome.exitStatus, 1) << c.name;
        EXPECT_NE(outcome.err.find(c.why), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_NE(outcome.err.find("（历史记录未保存）"), std::string::npos) << outcome.err;
        EXPECT_EQ(Results(), EncodeGbk(u"kw , shop.example.cn , 左1 , 右无推广位\r\n")) << c.name;
        if (!c.contents.empty()) {
            EXPECT_EQ(ReadFileBytes(dir.file(c.path)), c.contents) << c.name;
            // Reading it back says why as well, and leaves it as it is.
            for (const char* command : {"history", "report"}) {
                const Outcome read =
                    Run({command, "--site", "shop.example.cn", "--history", c.path});
                EXPECT_EQ(read.exitStatus, 1) << c.name;
                EXPECT_NE(read.err.find(c.why), std::string::npos) << c.name << ": " << read.err;
                EXPECT_EQ(ReadFileBytes(dir.file(c.path)), c.contents) << c.name;
            }
        }
    }

    // --no-history keeps none.
    const Outcome none = Run(Against(engine, {"--no-history", "--output", "other.csv"}), "kw\n");
    EXPECT_EQ(none.exitStatus, 0) << none.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("slotscope.db")));
}

TEST_F(CliTest, TwoRunsAtOnceOnOneHistoryKeepAllTheirRows) {
    Engine engine({{u"kw1", {1, 0}}, {u"kw2", {2, 0}}});
    std::string keywords;
    for (int i = 0; i < 40; ++i) {
        keywords += (i % 2 == 0 ? "kw1\n" : "kw2\n");
    }
    WriteFileBytes(dir.file("keywords.txt"), keywords);
    const testing::ProcessId first = Start(Against(
        engine, {"--keywords", "keywords.txt", "--output", "a.csv", "--history", "shared.db"}));
    const testing::ProcessId second = Start(Against(
        engine, {"--keywords", "keywords.txt", "--output", "b.csv", "--history", "shared.db"}));
    EXPECT_EQ(testing::WaitForProgram(first).exitStatus, 0);
    EXPECT_EQ(testing::WaitForProgram(second).exitStatus, 0);
    EXPECT_EQ(Rows(dir.file("shared.db"), "SELECT run, count(*) FROM results GROUP BY run"),
              (std::vector<std::string>{"1|40", "2|40"}));
    EXPECT_EQ(Rows(dir.file("shared.db"), "PRAGMA integrity_check"),
              (std::vector<std::string>{"ok"}));
}

TEST_F(CliTest, AKilledRunKeepsTheRowsOfItsWrittenLines) {
    Engine engine({{u"kw1", {1, 0}}, {u"kw2", {2, 0}}});
    const testing::ProcessId process =
        Start(Against(engine, {"--jobs", "1"}), "kw1\nkw2\nslow\nkw1\n");
    for (int i = 0; i < 200 && engine.searchCount() < 3; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(200ms);  // the slow page is on its way
    testing::KillProgram(process);
    Finish(process);
    EXPECT_EQ(Results(), EncodeGbk(u"kw1 , shop.example.cn , 左1 , 右无推广位\r\n"
                                   u"kw2 , shop.example.cn , 左2 , 右无推广位\r\n"));
    const std::string db = dir.file("slotscope.db");
    EXPECT_EQ(Rows(db, "SELECT ord, keyword FROM results"),
              (std::vector<std::string>{"1|kw1", "2|kw2"}));
    EXPECT_EQ(Rows(db, "SELECT ended, finished FROM runs"),
              (std::vector<std::string>{"interrupted|-"}));
    EXPECT_EQ(Rows(db, "PRAGMA integrity_check"), (std::vector<std::string>{"ok"}));
}

TEST_F(CliTest, ARunKilledWhileWaitingForAnotherRunsLockHoldsNoLineWithoutItsRow) {
    Engine engine({{u"kw1", {1, 0}}, {u"kw2", {2, 0}}});
    const testing::ProcessId process =
        Start(Against(engine, {"--jobs", "1"}), "kw1\nkw2\nslow\nkw1\n");
    for (int i = 0; i < 200 && engine.searchCount() < 3; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    // Another run takes the history while the slow page is on its way, and keeps it.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("slotscope.db").c_str(), &other), SQLITE_OK);
    sqlite3_busy_timeout(other, 5000);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::this_thread::sleep_for(2500ms);  // the page came; the run waits for the history
    testing::KillProgram(process);
    Finish(process);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    const std::string results = Results();
    EXPECT_EQ(Rows(dir.file("slotscope.db"), "SELECT count(*) FROM results"),
              (std::vector<std::string>{
                  std::to_string(std::count(results.begin(), results.end(), '\n'))}))
        << results;
}

}  // namespace
}  // namespace slotscope

namespace slotscope {
namespace {

// The runs' times, which vary, as "T".
// `run` with the time zone `zone` (POSIX's form, which Windows' C library reads too).
template <typename Run>
Outcome InTimeZone(const std::string& zone, const Run& run) {
    testing::SetEnv("TZ", zone);
    Outcome outcome = run();
    testing::UnsetEnv("TZ");
    return outcome;
}

// "2026-12-08T02:11:19Z" eight hours on, as a local time is written: "2026-12-08 10:11:19".
std::string EightHoursOn(const std::string& utc) {
    std::istringstream in(utc);
    std::tm time{};
    in >> std::get_time(&time, "%Y-%m-%dT%H:%M:%SZ");
    EXPECT_FALSE(in.fail()) << utc;
    using namespace std::chrono;
    const sys_seconds later =
        sys_days(year(time.tm_year + 1900) / month(static_cast<unsigned>(time.tm_mon + 1)) /
                 day(static_cast<unsigned>(time.tm_mday))) +
        hours(time.tm_hour + 8) + minutes(time.tm_min) + seconds(time.tm_sec);
    const auto date = floor<days>(later);
    const year_month_day ymd(date);
    const hh_mm_ss clock(later - date);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld:%02ld:%02ld", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), long(clock.hours().count()),
                  long(clock.minutes().count()), long(clock.seconds().count()));
    return text;
}

nlohmann::ordered_json WithoutTimes(nlohmann::ordered_json runs) {
    for (auto& run : runs) {
        EXPECT_TRUE(run["started"].get<std::string>().ends_with("Z")) << run;
        run["started"] = "T";
        run["finished"] = "T";
    }
    return runs;
}

TEST_F(CliTest, TheHistoryReadsBackAsJsonAndCsvWithWhoHoldsTheSlots) {
    Run(Against(Engine({{u"鲜花", {2, 0}}, {u"kw2", {0, 1}}}, {u"kw3"}), {}), "鲜花\nkw2\nkw3\n");
    Run(Against(Engine({{u"鲜花", {1, 0}}, {u"kw2", {0, 0}}, {u"kw3", {3, 0}}}), {}),
        "鲜花\nkw2\nkw3\n");

    // The site in other letter case, with "www." and spaces, finds the same runs.
    const Outcome all = Run({"history", "--site", " www.SHOP.example.cn"});
    ASSERT_EQ(all.exitStatus, 0) << all.err;
    const auto json = nlohmann::ordered_json::parse(all.out);
    EXPECT_EQ(json["site"], "shop.example.cn");
    EXPECT_EQ(WithoutTimes(json["runs"]).dump(),
              R"([{"id":1,"device":"pc","started":"T","finished":"T","ended":"finished",)"
              R"("keywords":3,"failed":1,"blocked":0,"region":null},)"
              R"({"id":2,"device":"pc","started":"T","finished":"T","ended":"finished",)"
              R"("keywords":3,"failed":0,"blocked":0,"region":null}])");
    const std::string results = json["results"].dump();
    // Parts of the results, each joined from several lines.
    // NOLINTBEGIN(bugprone-suspicious-missing-comma)
    const std::vector<std::string> expected = {
        R"({"run":1,"order":1,"keyword":"鲜花","left":"左2","right":"右无推广位","left_slot":2,)"
        R"("right_slot":null,"left_listings":3,"right_listings":0,"failed":null,)"
        R"("failure_reason":null,"left_sites":["other.test","shop.example.cn","other.test"],"right_sites":[],)"
        R"("left_ads":[{"site":"other.test","title":"","text":""},)"
        R"({"site":"shop.example.cn","title":"","text":""},)"
        R"({"site":"other.test","title":"","text":""}],"right_ads":[],)"
        R"("left_change":{"kind":"first"},"right_change":{"kind":"first"},"region":null})",
        R"("right_sites":["shop.example.cn","other.test","other.test"])",
        R"({"run":1,"order":3,"keyword":"kw3","left":"查询失败","right":"查询失败",)"
        R"("left_slot":null,"right_slot":null,"left_listings":null,"right_listings":null,)"
        R"("failed":"fetch","failure_reason":"HTTP status 404","left_sites":null,)"
        R"("right_sites":null,"left_ads":null,"right_ads":null,)"
        R"("left_change":{"kind":"failed"},"right_change":{"kind":"failed"},"region":null})",
        R"("left_change":{"kind":"up","by":1})",
        R"("right":"右无推广位","left_slot":null,"right_slot":null,"left_listings":3,)"
        R"("right_listings":0)",
        R"("right_change":{"kind":"lost"})",
    };
    // NOLINTEND(bugprone-suspicious-missing-comma)
    for (const std::string& part : expected) {
        EXPECT_NE(results.find(part), std::string::npos) << part << "\nin " << results;
    }
    EXPECT_EQ(json["results"].size(), 6U);

    // For people: Chinese names and words, the start in local time (China's here) beside UTC.
    const Outcome last = InTimeZone("CST-8", [&] {
        return Run({"history", "--site", "shop.example.cn", "--runs", "1", "--format=csv"});
    });
    ASSERT_EQ(last.exitStatus, 0) << last.err;
    EXPECT_TRUE(
        last.out.starts_with("\xEF\xBB\xBF运行编号,开始时间,开始时间(UTC),设备,页面,地域,"
                             "序号,关键词,左侧/上方,右侧/下方,"))
        << last.out;
    EXPECT_EQ(std::count(last.out.begin(), last.out.end(), '\n'), 4) << last.out;
    EXPECT_NE(last.out.find(",电脑,电脑,本机,1,鲜花,左1,右无推广位,1,,3,0,"
                            "shop.example.cn; other.test; other.test,,上升1,仍无,,,"
                            "shop.example.cn｜｜; other.test｜｜; other.test｜｜,\n"),
              std::string::npos)
        << last.out;
    const std::string firstRow = last.out.substr(last.out.find('\n') + 1);
    std::istringstream row(firstRow);
    std::vector<std::string> cells(3);
    for (std::string& cell : cells) {
        std::getline(row, cell, ',');
    }
    EXPECT_EQ(cells[1], EightHoursOn(cells[2])) << firstRow;
    EXPECT_EQ(last.out.find(",1,鲜花,左2"), std::string::npos) << "only the last run";
    const Outcome both = Run({"history", "--site", "shop.example.cn", "--format", "csv"});
    EXPECT_NE(both.out.find(",3,kw3,查询失败,查询失败,,,,,,,查询失败,查询失败,连接失败,"
                            "HTTP status 404,,\n"),
              std::string::npos)
        << both.out;
    EXPECT_NE(both.out.find(
                  ",2,kw2,左无,右无推广位,,,3,0,other.test; other.test; other.test,,仍无,掉出,,,"
                  "other.test｜｜; other.test｜｜; other.test｜｜,\n"),
              std::string::npos)
        << both.out;

    const Outcome unknown = Run({"history", "--site", "other.example"});
    EXPECT_EQ(unknown.exitStatus, 1);
    EXPECT_NE(unknown.err.find("no run of other.example"), std::string::npos) << unknown.err;
    EXPECT_EQ(nlohmann::json::parse(unknown.out)["runs"].size(), 0U);
    // These runs were made over this machine's own connection, from no region.
    const Outcome fromRegion = Run({"history", "--site", "shop.example.cn", "--region", "北京"});
    EXPECT_EQ(fromRegion.exitStatus, 1);
    EXPECT_NE(fromRegion.err.find("no run of shop.example.cn from 北京"), std::string::npos)
        << fromRegion.err;
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"history"},
                                                  {"history", "--site", "a", "--runs", "0"},
                                                  {"history", "--site", "a", "--format", "xml"},
                                                  {"report", "--site", "a", "--format", "csv"},
                                                  {"report", "--site", "a", "--runs", "31"},
                                                  {"history", "--site", "a b.cn"},
                                                  {"history", "--site", "a", "--region", "a|b"},
                                                  {"report", "--site", "http://"}}) {
        EXPECT_EQ(Run(wrong).exitStatus, 2) << wrong.back();
    }
}

}  // namespace
}  // namespace slotscope

namespace slotscope {
namespace {

TEST_F(CliTest, ALongHistoryIsReadBackInLittleMemory) {
    // 20,000 keywords × 10 runs, 200 of them moving in each run.
    ASSERT_EQ(testing::BulkHistory(dir.file("slotscope.db"), 20000, 10), "");
    // A started program's peak counts this one's memory as it was at the start, so all three
    // run before any output is read.
    const auto peakMiB = [&](std::vector<std::string> arguments, const std::string& output) {
        arguments.insert(arguments.end(), {"--site", "shop.example.cn"});
        const testing::ChildEnd end = testing::WaitForProgram(testing::StartProgram(
            SLOTSCOPE_CLI, arguments,
            {dir.path().string(), "/dev/null", dir.file(output), dir.file("stderr"), false}));
        EXPECT_EQ(end.exitStatus, 0) << ReadFileBytes(dir.file("stderr"));
        return end.peakResidentKiB / 1024;
    };
    // Every keyword of every run, written as it is read; the report: the 200 that moved, a
    // thousand that did not, and a note of the rest.
    const long json = peakMiB({"history"}, "json");
    const long csv = peakMiB({"history", "--format", "csv"}, "csv");
    const long report = peakMiB({"report"}, "report.out");
    if (!kUnderAddressSanitizer) {
        // All of it held at once would take hundreds of MiB.
        EXPECT_LT(json, 64) << "MiB";
        EXPECT_LT(csv, 64) << "MiB";
        EXPECT_LT(report, 64) << "MiB";
    }
    const std::string out = ReadFileBytes(dir.file("json"));
    EXPECT_TRUE(out.starts_with("{\"site\":\"shop.example.cn\",\"runs\":[{\"id\":1,"));
    EXPECT_TRUE(out.ends_with("}]}\n"));
    std::size_t results = 0;
    for (std::size_t at = out.find("{\"run\":"); at != std::string::npos;
         at = out.find("{\"run\":", at + 1)) {
        ++results;
    }
    EXPECT_EQ(results, 200000U);
    const std::string rows = ReadFileBytes(dir.file("csv"));
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 200001);
    const std::string html = ReadFileBytes(dir.file("slotscope-report.html"));
    EXPECT_LT(html.size(), 5U * 1024 * 1024);
    EXPECT_NE(html.find("另有 18800 个关键词未列出"), std::string::npos);
}

TEST_F(CliTest, TheReportReadsInABrowserWithEveryTextEscaped) {
    if (testing::Chromium().empty()) {
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps installs it)";
    }
    const std::string hostile = "<img src=x onerror=alert(1)>";
    Run(Against(Engine({{u"鲜花", {2, 0}}, {DecodeUtf8(hostile), {1, 0}}}), {}),
        "鲜花\n" + hostile + "\n");
    Run(Against(Engine({{u"鲜花", {1, 0}}, {DecodeUtf8(hostile), {0, 0}}}), {}),
        "鲜花\n" + hostile + "\n");
    // The report never takes the history's place.
    const Outcome over = Run({"report", "--site", "shop.example.cn", "--output", "./slotscope.db"});
    EXPECT_EQ(over.exitStatus, 1);
    EXPECT_NE(over.err.find("would replace the history"), std::string::npos) << over.err;
    // A link planted where the report used to be written first leads nowhere it writes.
    WriteFileBytes(dir.file("victim"), "precious");
    std::error_code noLinks;
    std::filesystem::create_symlink(dir.file("victim"), dir.file("slotscope-report.html.partial"),
                                    noLinks);
    const Outcome written = Run({"report", "--site", "shop.example.cn"});
    ASSERT_EQ(written.exitStatus, 0) << written.err;
    EXPECT_EQ(ReadFileBytes(dir.file("victim")), "precious");
    const std::string html = ReadFileBytes(dir.file("slotscope-report.html"));
    // Nothing is loaded from anywhere, and nothing needs a script.
    for (const char* outside : {"<script", "src=\"", "src='", "url(", "@import"}) {
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    }
    // Its links lead within the page only.
    for (std::size_t link = html.find("href="); link != std::string::npos;
         link = html.find("href=", link + 1)) {
        EXPECT_EQ(html.compare(link, 7, "href='#"), 0) << html.substr(link, 40);
    }

    std::string why;
    const std::string dom =
        testing::LoadedPage(dir.file("slotscope-report.html"), dir, 1366, 900, why);
    ASSERT_NE(dom.find("</table>"), std::string::npos) << dom << why;
    EXPECT_NE(dom.find("title=\"谁占了推广位\">&lt;img src=x onerror=alert(1)&gt;</a>"),
              std::string::npos)
        << dom;
    EXPECT_EQ(dom.find("<img"), std::string::npos);
    // The keyword's two runs: the change marked by arrow and colour; the slot's line; the
    // latest run's listings, the user's own highlighted.
    // The keyword's row: its line, then the runs, the newest first.
    EXPECT_NE(dom.find("鲜花</a><svg"), std::string::npos) << dom;
    EXPECT_NE(dom.find("</svg></td><td>左1<span class=\"mark up\" title=\"上升\">↑1</span><br>"
                       "右无推广位</td><td>左2<br>右无推广位</td></tr>"),
              std::string::npos)
        << dom;
    EXPECT_NE(dom.find("左无<span class=\"mark lost\" title=\"掉出\">↓出</span>"),
              std::string::npos);
    EXPECT_NE(dom.find("<ol><li><mark>shop.example.cn</mark></li><li>other.test</li>"
                       "<li>other.test</li></ol>"),
              std::string::npos);
    EXPECT_NE(dom.find("<span class=\"up\">上升 <b>1</b></span>"), std::string::npos);
    EXPECT_NE(dom.find("<span class=\"lost\">掉出 <b>1</b></span>"), std::string::npos);
}

}  // namespace
}  // namespace slotscope
