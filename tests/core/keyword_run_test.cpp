#include "core/keyword_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "base/text_codec.h"
#include "tests/support/fakes.h"
#include "tests/support/page_generator.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

using testing::FakeFetcher;
using testing::ReadFileBytes;
using testing::RecordingFields;
using testing::TempDir;
using testing::WriteFileBytes;
using namespace std::chrono_literals;
using namespace std::string_literals;

constexpr char kHome[] = "http://home.test/";
constexpr char kPrefix[] = "http://search.test/s?wd=";
constexpr char kSearchHome[] = "http://search.test/";

// The two requests at the start of every run whose answers play no part in the check.
bool IsSideRequest(const std::string& address) {
    return address == kHome || address == kSearchHome;
}
constexpr std::u16string_view kSite = u"shop.example.cn";

std::u16string Num(int n) {
    const std::string s = std::to_string(n);
    return {s.begin(), s.end()};
}

std::u16string ResultPage(int left, int right, bool withRightBlock = false) {
    return testing::ListingsPage(kSite, left, right, withRightBlock);
}

std::string KeywordIn(const std::string& address) {
    return address.rfind(kPrefix, 0) == 0 ? address.substr(sizeof kPrefix - 1) : std::string();
}

// A search engine that knows a page for some percent-encoded keywords and fails the rest.
FakeFetcher::Handler Engine(std::map<std::string, std::u16string> pages) {
    return [pages = std::move(pages)](const std::string& address, std::stop_token) {
        if (IsSideRequest(address)) {
            return FetchResult::Page(u"<html>home</html>");
        }
        const auto found = pages.find(KeywordIn(address));
        if (found == pages.end()) {
            return FetchResult::Failed(FetchFailureKind::Network, "connection refused");
        }
        return FetchResult::Page(found->second);
    };
}

class KeywordRunTest : public ::testing::Test {
  protected:
    RunOptions Options(int lookAhead = 1) const {
        RunOptions options;
        options.resultsPath = resultsPath;
        options.homePageUrl = kHome;
        options.searchUrlPrefix = kPrefix;
        options.lookAhead = lookAhead;
        return options;
    }

    std::string Results() const { return ReadFileBytes(resultsPath); }
    long LineCount() const {
        const std::string results = Results();
        return std::count(results.begin(), results.end(), '\n');
    }

    TempDir dir;
    std::string resultsPath = dir.file("baidu.csv");
};

// --- Entries, progress and the completion caption ---

TEST_F(KeywordRunTest, BlankEntriesAreNotCounted) {
    RecordingFields fields(u"a\r\n\r\nb", std::u16string(kSite));
    FakeFetcher fetcher(Engine({{"a", ResultPage(2, 0)}, {"b", ResultPage(0, 0)}}));
    const RunSummary summary = RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(fields.progress, (std::vector<std::u16string>{u"1/2", u"2/2"}));
    EXPECT_EQ(fields.Status(), u"总词数2运行完毕，信息保存在同目录下的baidu.csv里");
    EXPECT_EQ(summary.end, RunEnd::Completed);
    EXPECT_EQ(summary.keywords, 2);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_EQ(fetcher.addresses(),
              (std::vector<std::string>{kHome, kSearchHome, std::string(kPrefix) + "a",
                                        std::string(kPrefix) + "b"}));
}

TEST_F(KeywordRunTest, ListWithoutKeywordsStartsNothingAndEmptiesNoFile) {
    for (const std::u16string_view list : {u"", u"\r\n\r\n", u" , \u3000\r\n"}) {
        WriteFileBytes(resultsPath, "left over from an earlier run\r\n");
        RecordingFields fields((std::u16string(list)), std::u16string(kSite));
        fields.SetProgress(u"7/9");
        fields.progress.clear();
        FakeFetcher fetcher(Engine({}));
        EXPECT_EQ(RunKeywordCheck(fields, fetcher, Options()).end, RunEnd::NoKeywords);

        EXPECT_TRUE(fetcher.addresses().empty());
        EXPECT_EQ(Results(), "left over from an earlier run\r\n");
        EXPECT_EQ(fields.Progress(), u"7/9");
        EXPECT_EQ(fields.Status(), u"请先填写竞价关键词");
    }
}

TEST_F(KeywordRunTest, ListEndingWithLineBreakCountsItsKeywordsOnly) {
    RecordingFields fields(u"a\r\nb\r\n", std::u16string(kSite));
    FakeFetcher fetcher(Engine({{"a", ResultPage(1, 0)}, {"b", ResultPage(1, 0)}}));
    RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(fields.progress, (std::vector<std::u16string>{u"1/2", u"2/2"}));
    EXPECT_EQ(Results(),
              "a , shop.example.cn , \xD7\xF3"
              "1 , \xD3\xD2\xCE\xDE\xCD\xC6\xB9\xE3\xCE\xBB\r\n"
              "b , shop.example.cn , \xD7\xF3"
              "1 , \xD3\xD2\xCE\xDE\xCD\xC6\xB9\xE3\xCE\xBB\r\n");
}

TEST_F(KeywordRunTest, LineBreaksOfEverySystemAndAsciiCommasSeparateEntries) {
    // CR LF, LF and a lone CR (an old Mac's file) end a line; spaces and full-width spaces are
    // trimmed, so those entries are blank; the full-width comma stays inside an entry, and so
    // do inner spaces.
    RecordingFields fields(u"a,b\r\nc\nd\re，f\r\n  \u3000 ,\u3000red roses \r鲜花\r",
                           std::u16string(kSite));
    FakeFetcher fetcher(Engine({}));
    const RunSummary summary = RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(fetcher.addresses(),
              (std::vector<std::string>{
                  kHome, kSearchHome, std::string(kPrefix) + "a", std::string(kPrefix) + "b",
                  std::string(kPrefix) + "c", std::string(kPrefix) + "d",
                  std::string(kPrefix) + "e%A3%ACf", std::string(kPrefix) + "red%20roses",
                  std::string(kPrefix) + "%CF%CA%BB%A8"}));
    EXPECT_EQ(summary.keywords, 7);
    EXPECT_EQ(fields.progress.back(), u"7/7");
    const std::string results = Results();
    EXPECT_NE(results.find("\r\nd , shop.example.cn , "), std::string::npos);
    EXPECT_NE(results.find("\r\nred roses , shop.example.cn , "), std::string::npos);
    EXPECT_EQ(std::count(results.begin(), results.end(), '\r'), 7) << "no bare CR in a line";
}

TEST_F(KeywordRunTest, ControlCharactersButTabLeaveTheKeyword) {
    // A UTF-16 file read as bytes brings NULs; the rest of C0, DEL and C1 (a NEL) mean nothing
    // to a search.
    const std::u16string list = u"\0k\0w\0\x01 red\troses\x7F\x1F\u0085\u009F, \x1B "s;
    RecordingFields fields(list, std::u16string(kSite));
    FakeFetcher fetcher(Engine({}));
    const RunSummary summary = RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(
        fetcher.addresses(),
        (std::vector<std::string>{kHome, kSearchHome, std::string(kPrefix) + "kw%20red%09roses"}));
    EXPECT_EQ(summary.keywords, 1);
    EXPECT_EQ(Results().substr(0, 19), "kw red\troses , shop");
}

TEST_F(KeywordRunTest, WebsiteLookedForAsASiteAndWrittenTrimmed) {
    // A site read from a file with CR LF line ends brings its CR, a paste its tab.
    RecordingFields fields(u"a,b", u"\t  shop.example.cn\r");
    std::u16string spaced = ResultPage(0, 0);
    spaced.insert(spaced.find(u"other.test"), u"  shop.example.cn ");
    FakeFetcher fetcher(Engine({{"a", spaced}, {"b", ResultPage(1, 0)}}));
    RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(Results(),
              "a , shop.example.cn , \xD7\xF3"
              "1 , \xD3\xD2\xCE\xDE\xCD\xC6\xB9\xE3\xCE\xBB\r\n"
              "b , shop.example.cn , \xD7\xF3"
              "1 , \xD3\xD2\xCE\xDE\xCD\xC6\xB9\xE3\xCE\xBB\r\n");
}

// --- The results file's bytes ---

TEST_F(KeywordRunTest, LineIsGbkWithCrLf) {
    RecordingFields fields(u"鲜花", std::u16string(kSite));
    FakeFetcher fetcher(Engine({{"%CF%CA%BB%A8", ResultPage(2, 0)}}));
    RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(Results(),
              "\xCF\xCA\xBB\xA8 , shop.example.cn , \xD7\xF3"
              "2 , "
              "\xD3\xD2\xCE\xDE\xCD\xC6\xB9\xE3\xCE\xBB\r\n");
    EXPECT_EQ(fields.LeftLabel(), u"左2");
    EXPECT_EQ(fields.RightLabel(), u"右无推广位");
}

TEST_F(KeywordRunTest, CharacterOutsideGbkIsWrittenAsGb18030) {
    RecordingFields fields(u"花😀", u"shop.example.cn");
    FakeFetcher fetcher(Engine({{"%BB%A8%949%FC6", ResultPage(0, 2)}}));
    RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(Results(),
              "\xBB\xA8\x94\x39\xFC\x36 , shop.example.cn , \xD7\xF3\xCE\xDE , "
              "\xD3\xD2"
              "2\r\n");
}

TEST_F(KeywordRunTest, SecondRunTruncatesTheFile) {
    FakeFetcher fetcher(Engine({{"a", ResultPage(1, 0)}, {"b", ResultPage(3, 0)}}));
    RecordingFields first(u"a\r\nb", std::u16string(kSite));
    RunKeywordCheck(first, fetcher, Options());
    ASSERT_EQ(LineCount(), 2);

    RecordingFields second(u"b", std::u16string(kSite));
    RunKeywordCheck(second, fetcher, Options());
    EXPECT_EQ(Results(),
              "b , shop.example.cn , \xD7\xF3"
              "3 , "
              "\xD3\xD2\xCE\xDE\xCD\xC6\xB9\xE3\xCE\xBB\r\n");
}

TEST_F(KeywordRunTest, EachLineReachesTheFileBeforeTheNextFetch) {
    RecordingFields fields(u"a,b,c", std::u16string(kSite));
    std::vector<std::string> seenBeforeFetch;
    FakeFetcher fetcher([&](const std::string& address, std::stop_token) {
        seenBeforeFetch.push_back(ReadFileBytes(resultsPath));
        return IsSideRequest(address) ? FetchResult::Page(u"")
                                      : FetchResult::Page(ResultPage(1, 0));
    });
    RunKeywordCheck(fields, fetcher, Options());

    ASSERT_EQ(seenBeforeFetch.size(), 5U);
    EXPECT_EQ(std::count(seenBeforeFetch[4].begin(), seenBeforeFetch[4].end(), '\n'), 2);
}

// --- Failures the run must not hide ---

TEST_F(KeywordRunTest, FailedFetchIsReportedNotFilledWithThePreviousPage) {
    RecordingFields fields(u"a,b,c", std::u16string(kSite));
    FakeFetcher fetcher(Engine({{"a", ResultPage(1, 0)}, {"c", ResultPage(0, 0)}}));
    const RunSummary summary = RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(
        Results(),
        "a , shop.example.cn , \xD7\xF3"
        "1 , \xD3\xD2\xCE\xDE\xCD\xC6\xB9\xE3\xCE\xBB\r\n"
        "b , shop.example.cn , \xB2\xE9\xD1\xAF\xCA\xA7\xB0\xDC , "
        "\xB2\xE9\xD1\xAF\xCA\xA7\xB0\xDC\r\n"
        "c , shop.example.cn , \xD7\xF3\xCE\xDE , \xD3\xD2\xCE\xDE\xCD\xC6\xB9\xE3\xCE\xBB\r\n");
    EXPECT_EQ(summary.failed, 1);
    EXPECT_EQ(
        fields.Status(),
        u"总词数3运行完毕，信息保存在同目录下的baidu.csv里，其中1个词查询失败（连接失败1个）");
    const auto& w = fields.writes;
    EXPECT_NE(std::find(w.begin(), w.end(), u"left=查询失败"), w.end());
    EXPECT_NE(std::find(w.begin(), w.end(), u"right=查询失败"), w.end());
}

TEST_F(KeywordRunTest, SearchesComeFromTheSearchHomePageAfterSideRequests) {
    RecordingFields fields(u"a,b", std::u16string(kSite));
    FakeFetcher fetcher(Engine({{"a", ResultPage(1, 0)}, {"b", ResultPage(2, 0)}}));
    RunKeywordCheck(fields, fetcher, Options());

    const auto requests = fetcher.requests();
    ASSERT_EQ(requests.size(), 4U);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const bool side = i < 2;
        EXPECT_EQ(requests[i].address, side ? (i == 0 ? kHome : kSearchHome)
                                            : std::string(kPrefix) + (i == 2 ? "a" : "b"));
        EXPECT_EQ(requests[i].options.sideRequest, side) << requests[i].address;
        EXPECT_EQ(requests[i].options.referer, side ? "" : kSearchHome) << requests[i].address;
    }
}

TEST_F(KeywordRunTest, FailureCaptionCountsTheFailuresByWhatTheyMet) {
    RecordingFields fields(u"a,b,c,d", std::u16string(kSite));
    FakeFetcher fetcher([](const std::string& address, std::stop_token) {
        const std::string keyword = KeywordIn(address);
        if (keyword == "a" || keyword == "c") {
            return FetchResult::Failed(FetchFailureKind::Blocked, "verification page");
        }
        if (keyword == "b") {
            return FetchResult::Failed(FetchFailureKind::Timeout, "timed out");
        }
        return FetchResult::Page(ResultPage(1, 0));
    });
    const RunSummary summary = RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(summary.failed, 3);
    EXPECT_EQ(summary.blocked, 2);
    EXPECT_EQ(summary.fetchFailed, 1);
    EXPECT_EQ(fields.Status(),
              u"总词数4运行完毕，信息保存在同目录下的baidu.csv里，其中3个词查询失败"
              u"（验证页2个，连接失败1个），请稍后再试");
}

TEST_F(KeywordRunTest, PagesThatCheckNothingAreFailedKeywords) {
    // Ten thousand end tags that close nothing, under thousands of open elements: the parser
    // would work for hours on a page that size, so the page is given up.
    const std::u16string hostile = testing::MisplacedEndTagsPage(u"<div id=\"content_left\">");
    // An empty answer and a login wall check nothing either.
    RecordingFields fields(u"a,b,c,d", std::u16string(kSite));
    FakeFetcher fetcher(Engine({{"a", hostile},
                                {"b", u""},
                                {"c", u"<title>登录</title><div>请登录后查看</div>"},
                                {"d", ResultPage(2, 0)}}));
    RunOptions options = Options(3);
    std::vector<std::string> rejected;
    options.onPageFailed = [&](std::u16string_view /*region*/, std::u16string_view keyword,
                               PageKind page, CheckFailure, std::string_view reason,
                               std::string_view) {
        rejected.push_back(EncodeUtf8(keyword) + (page == PageKind::Desktop ? ": " : " (phone): ") +
                           std::string(reason));
    };
    const RunSummary summary = RunKeywordCheck(fields, fetcher, options);

    EXPECT_EQ(rejected, (std::vector<std::string>{
                            "a: the result page could not be read (markup broken beyond any "
                            "real page)",
                            "b: not a result page", "c: not a result page"}));
    EXPECT_EQ(summary.failed, 3);
    EXPECT_EQ(summary.blocked, 0);
    EXPECT_EQ(summary.notResultPages, 2);
    EXPECT_EQ(summary.unreadable, 1);
    const std::string failed =
        " , shop.example.cn , \xB2\xE9\xD1\xAF\xCA\xA7\xB0\xDC , "
        "\xB2\xE9\xD1\xAF\xCA\xA7\xB0\xDC\r\n";
    EXPECT_EQ(Results(), "a" + failed + "b" + failed + "c" + failed +
                             "d , shop.example.cn , \xD7\xF3"
                             "2 , \xD3\xD2\xCE\xDE\xCD\xC6\xB9\xE3\xCE\xBB\r\n");
    EXPECT_EQ(fields.Status(),
              u"总词数4运行完毕，信息保存在同目录下的baidu.csv里，其中3个词查询失败"
              u"（非结果页2个，无法读取1个）");
}

TEST_F(KeywordRunTest, FailureOfTheRunItselfAbortsItKeepingFinishedLines) {
    // Memory running out in a fetch, on a worker thread, whatever the look-ahead.
    for (const int lookAhead : {1, 3}) {
        RecordingFields fields(u"a,b,c", std::u16string(kSite));
        FakeFetcher fetcher([](const std::string& address, std::stop_token) {
            if (KeywordIn(address) == "b") {
                throw std::bad_alloc();
            }
            return FetchResult::Page(ResultPage(1, 0));
        });
        const RunSummary summary = RunKeywordCheck(fields, fetcher, Options(lookAhead));

        EXPECT_EQ(summary.end, RunEnd::Aborted);
        EXPECT_EQ(fields.Status(),
                  u"运行中止（内存不足），已完成1/3，信息保存在同目录下的baidu.csv里");
        EXPECT_EQ(LineCount(), 1) << "look-ahead " << lookAhead;
    }
}

TEST_F(KeywordRunTest, FirstKeywordFailingDoesNotAnalyseTheHomePage) {
    RecordingFields fields(u"a", std::u16string(kSite));
    FakeFetcher fetcher([](const std::string& address, std::stop_token) {
        return IsSideRequest(address) ? FetchResult::Page(ResultPage(1, 0))
                                      : FetchResult::Failed(FetchFailureKind::Timeout, "timed out");
    });
    RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(fields.LeftLabel(), u"查询失败");
    EXPECT_EQ(fields.RightLabel(), u"查询失败");
}

TEST_F(KeywordRunTest, FailedHomePageRequestIsIgnored) {
    RecordingFields fields(u"a", std::u16string(kSite));
    FakeFetcher fetcher([](const std::string& address, std::stop_token) {
        return IsSideRequest(address) ? FetchResult::Failed(FetchFailureKind::Network, "no route")
                                      : FetchResult::Page(ResultPage(3, 0));
    });
    const RunSummary summary = RunKeywordCheck(fields, fetcher, Options());

    EXPECT_EQ(summary.end, RunEnd::Completed);
    EXPECT_EQ(fields.LeftLabel(), u"左3");
    EXPECT_EQ(fields.Status(), u"总词数1运行完毕，信息保存在同目录下的baidu.csv里");
}

TEST_F(KeywordRunTest, ResultsFileThatCannotBeCreatedStopsBeforeAnyRequest) {
    RecordingFields fields(u"a,b", std::u16string(kSite));
    FakeFetcher fetcher(Engine({{"a", ResultPage(1, 0)}}));
    RunOptions options = Options();
    options.resultsPath = dir.file("missing-directory/baidu.csv");
    const RunSummary summary = RunKeywordCheck(fields, fetcher, options);

    EXPECT_EQ(summary.end, RunEnd::ResultsFileUnavailable);
    EXPECT_EQ(fields.Status(), u"无法创建结果文件baidu.csv，请检查程序所在目录是否可写");
    EXPECT_TRUE(fetcher.addresses().empty());  // not even the home page
    EXPECT_TRUE(fields.progress.empty());
}

// Fields that ask the run to stop once the progress text reaches a value.
class StoppingFields final : public MemoryRunFields {
  public:
    StoppingFields(std::u16string list, std::u16string stopAt)
        : MemoryRunFields(std::move(list), std::u16string(kSite)), stopAt_(std::move(stopAt)) {}
    void SetProgress(const std::u16string& text) override {
        MemoryRunFields::SetProgress(text);
        if (text == stopAt_) {
            stop.request_stop();
        }
    }
    std::stop_source stop;

  private:
    std::u16string stopAt_;
};

TEST_F(KeywordRunTest, FailedWritesAreReportedAndTheRunGoesOn) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "/dev/full, which fails every write as a full disk does, is missing";
    }
    RecordingFields fields(u"a,b,c", std::u16string(kSite));
    FakeFetcher fetcher(Engine({{"a", ResultPage(1, 0)}, {"c", ResultPage(2, 0)}}));
    RunOptions options = Options();
    options.resultsPath = "/dev/full";
    const RunSummary summary = RunKeywordCheck(fields, fetcher, options);

    EXPECT_TRUE(summary.writeFailed);
    EXPECT_EQ(summary.checked, 3);
    EXPECT_EQ(fields.progress.back(), u"3/3");
    EXPECT_EQ(fields.Status(),
              u"总词数3运行完毕，但写入full时出错，结果不完整，其中1个词查询失败（连接失败1个）");

    RecordingFields noFailures(u"a", std::u16string(kSite));
    RunKeywordCheck(noFailures, fetcher, options);
    EXPECT_EQ(noFailures.Status(), u"总词数1运行完毕，但写入full时出错，结果不完整");

    // A stop does not hide it either.
    StoppingFields stopped(u"a,c", u"1/2");
    options.stop = stopped.stop.get_token();
    RunKeywordCheck(stopped, fetcher, options);
    EXPECT_EQ(stopped.Status(), u"运行已停止，已完成1/2，但写入full时出错，结果不完整");
}

TEST_F(KeywordRunTest, BlankWebsiteDoesNotStartTheRun) {
    WriteFileBytes(resultsPath, "earlier results\r\n");
    for (const std::u16string website : {u"", u"   ", u"\u3000 "}) {
        RecordingFields fields(u"a,b", website);
        FakeFetcher fetcher(Engine({{"a", ResultPage(1, 0)}}));
        const RunSummary summary = RunKeywordCheck(fields, fetcher, Options());

        EXPECT_EQ(summary.end, RunEnd::NoWebsite);
        EXPECT_EQ(fields.Status(), u"请先填写查看网址");
        EXPECT_TRUE(fetcher.addresses().empty());
        EXPECT_TRUE(fields.progress.empty());
    }
    EXPECT_EQ(Results(), "earlier results\r\n");
}

// --- Stopping ---

TEST_F(KeywordRunTest, StopKeepsFinishedLinesWhateverTheLookAhead) {
    for (const int lookAhead : {1, 4}) {
        StoppingFields fields(u"a,,b,c,d,e", u"2/5");
        FakeFetcher fetcher([](const std::string&, std::stop_token) {
            return FetchResult::Page(ResultPage(1, 0));
        });
        RunOptions options = Options(lookAhead);
        options.stop = fields.stop.get_token();
        const RunSummary summary = RunKeywordCheck(fields, fetcher, options);

        EXPECT_EQ(summary.end, RunEnd::Stopped);
        EXPECT_EQ(fields.Status(), u"运行已停止，已完成2/5，信息保存在同目录下的baidu.csv里")
            << "look-ahead " << lookAhead;
        EXPECT_EQ(LineCount(), 2);
        EXPECT_EQ(fields.Progress(), u"2/5");
    }
}

TEST_F(KeywordRunTest, StopInterruptsAFetchUnderWay) {
    std::stop_source stop;
    MemoryRunFields fields(u"a,b,c", std::u16string(kSite));
    FakeFetcher fetcher([&](const std::string& address, std::stop_token token) {
        if (address != std::string(kPrefix) + "b") {
            return FetchResult::Page(ResultPage(1, 0));
        }
        // A transfer that only a stop request ends.
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        wake.wait_for(lock, token, 30s, [] { return false; });
        return FetchResult::Failed(FetchFailureKind::Stopped, "stopped");
    });
    RunOptions options = Options(2);
    options.stop = stop.get_token();
    std::jthread stopper([&] {
        std::this_thread::sleep_for(100ms);
        stop.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    const RunSummary summary = RunKeywordCheck(fields, fetcher, options);

    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_EQ(summary.end, RunEnd::Stopped);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_EQ(fields.Status(), u"运行已停止，已完成1/3，信息保存在同目录下的baidu.csv里");
    EXPECT_EQ(LineCount(), 1);
}

// --- Fetching ahead: results in list order whatever order fetches complete in ---

struct RunRecord {
    std::string results;
    std::vector<std::u16string> writes;
};

std::u16string PageForKeyword(int i) {
    // A spread of outcomes, so that reordering would show in the lines.
    return i % 5 == 4 ? ResultPage(0, 0, true) : ResultPage(i % 4, i % 3, i % 2 == 0);
}

std::u16string KeywordList(int count) {
    std::u16string list;
    for (int i = 0; i < count; ++i) {
        list += (i % 7 == 3 ? u"\r\n  \r\n" : u"\r\n") + (u"kw" + Num(i));
    }
    return list;
}

int KeywordNumber(const std::string& address) {
    return std::stoi(KeywordIn(address).substr(2));
}

TEST_F(KeywordRunTest, OutOfOrderCompletionGivesTheSameOutput) {
    constexpr int kKeywords = 40;
    std::mutex mutex;
    std::vector<int> completionOrder;
    int inFlight = 0;
    int maxInFlight = 0;

    const auto run = [&](int lookAhead) {
        completionOrder.clear();
        maxInFlight = 0;
        RecordingFields fields(KeywordList(kKeywords), std::u16string(kSite));
        FakeFetcher fetcher([&](const std::string& address, std::stop_token) {
            if (IsSideRequest(address)) {
                return FetchResult::Page(u"");
            }
            const int i = KeywordNumber(address);
            {
                std::lock_guard lock(mutex);
                maxInFlight = std::max(maxInFlight, ++inFlight);
            }
            // Later keywords of a window tend to finish first.
            std::this_thread::sleep_for(std::chrono::milliseconds((7 * (kKeywords - i)) % 11));
            std::lock_guard lock(mutex);
            --inFlight;
            completionOrder.push_back(i);
            return i % 9 == 5 ? FetchResult::Failed(FetchFailureKind::HttpStatus, "500")
                              : FetchResult::Page(PageForKeyword(i));
        });
        RunKeywordCheck(fields, fetcher, Options(lookAhead));
        return RunRecord{Results(), fields.writes};
    };

    const RunRecord sequential = run(1);
    EXPECT_EQ(maxInFlight, 1);
    for (const int lookAhead : {2, 4, 8}) {
        const RunRecord ahead = run(lookAhead);
        EXPECT_FALSE(std::is_sorted(completionOrder.begin(), completionOrder.end()))
            << "fetches were expected to complete out of order";
        EXPECT_LE(maxInFlight, lookAhead);
        EXPECT_GT(maxInFlight, 1);
        EXPECT_EQ(ahead.results, sequential.results) << "look-ahead " << lookAhead;
        EXPECT_EQ(ahead.writes, sequential.writes) << "look-ahead " << lookAhead;
    }
    EXPECT_EQ(std::count(sequential.results.begin(), sequential.results.end(), '\n'), kKeywords);
}

TEST_F(KeywordRunTest, ReverseCompletionWithinTheWindow) {
    // With three pages in flight, kw2 completes first, then kw1, then kw0.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<bool> done(3, false);
    RecordingFields fields(u"kw0,kw1,kw2", std::u16string(kSite));
    FakeFetcher fetcher([&](const std::string& address, std::stop_token) {
        if (IsSideRequest(address)) {
            return FetchResult::Page(u"");
        }
        const int i = KeywordNumber(address);
        std::unique_lock lock(mutex);
        const bool inTurn =
            changed.wait_for(lock, 10s, [&] { return i == 2 || done[static_cast<size_t>(i) + 1]; });
        done[static_cast<size_t>(i)] = true;
        changed.notify_all();
        return inTurn ? FetchResult::Page(ResultPage(i + 1, 0))
                      : FetchResult::Failed(FetchFailureKind::Timeout, "never in turn");
    });
    RunKeywordCheck(fields, fetcher, Options(3));

    EXPECT_EQ(fields.writes,
              (std::vector<std::u16string>{
                  u"left=左1", u"right=右无推广位", u"progress=1/3", u"left=左2",
                  u"right=右无推广位", u"progress=2/3", u"left=左3", u"right=右无推广位",
                  u"progress=3/3", u"status=总词数3运行完毕，信息保存在同目录下的baidu.csv里"}));
}

TEST_F(KeywordRunTest, AfterABlockedPageTheRestIsFetchedOneAtATime) {
    std::mutex mutex;
    std::condition_variable changed;
    int inFlight = 0;
    int started = 0;
    std::vector<int> inFlightAtStart(12, -1);
    RecordingFields fields(KeywordList(12), std::u16string(kSite));
    FakeFetcher fetcher([&](const std::string& address, std::stop_token) {
        if (IsSideRequest(address)) {
            return FetchResult::Page(u"");
        }
        const int i = KeywordNumber(address);
        std::unique_lock lock(mutex);
        inFlightAtStart[static_cast<size_t>(i)] = ++inFlight;
        ++started;
        changed.notify_all();
        if (i < 4) {
            // The first window finishes only once it is all under way.
            changed.wait_for(lock, 10s, [&] { return started >= 4; });
        }
        --inFlight;
        return i == 0 ? FetchResult::Failed(FetchFailureKind::Blocked, "verification page")
                      : FetchResult::Page(ResultPage(1, 0));
    });
    const RunSummary summary = RunKeywordCheck(fields, fetcher, Options(4));

    EXPECT_EQ(summary.failed, 1);
    EXPECT_EQ(summary.blocked, 1);
    EXPECT_EQ(fields.Status(),
              u"总词数12运行完毕，信息保存在同目录下的baidu.csv里，其中1个词查询失败"
              u"（验证页1个），请稍后再试");
    EXPECT_EQ(*std::max_element(inFlightAtStart.begin(), inFlightAtStart.begin() + 4), 4);
    for (size_t i = 4; i < inFlightAtStart.size(); ++i) {
        EXPECT_EQ(inFlightAtStart[i], 1) << "kw" << i;
    }
}

TEST_F(KeywordRunTest, DelayPausesBeforeEverySearchAndAStopEndsThePause) {
    using Clock = std::chrono::steady_clock;
    std::mutex mutex;
    std::vector<Clock::time_point> times;  // of every request
    FakeFetcher fetcher([&](const std::string&, std::stop_token) {
        std::lock_guard lock(mutex);
        times.push_back(Clock::now());
        return FetchResult::Page(ResultPage(1, 0));
    });
    RecordingFields fields(u"a,b,c", std::u16string(kSite));
    RunOptions options = Options(1);
    options.delay = {100ms, 150ms};
    RunKeywordCheck(fields, fetcher, options);
    ASSERT_EQ(times.size(), 5U);  // the two home pages, then three searches
    for (std::size_t i = 2; i < times.size(); ++i) {
        EXPECT_GE(times[i] - times[i - 1], 100ms) << "search " << i - 1;
    }

    // A pause of a minute, cut short by a stop.
    std::stop_source stop;
    options.delay = {60s, 60s};
    options.stop = stop.get_token();
    std::jthread stopper([&] {
        std::this_thread::sleep_for(100ms);
        stop.request_stop();
    });
    const auto start = Clock::now();
    EXPECT_EQ(RunKeywordCheck(fields, fetcher, options).end, RunEnd::Stopped);
    EXPECT_LT(Clock::now() - start, 5s);
}

TEST_F(KeywordRunTest, KeywordsThatMetVerificationAreTriedAgainAndTheFileRewrittenInOrder) {
    // b gets through on its second try, c on its third, d never.
    std::mutex mutex;
    std::map<std::string, int> tries;
    FakeFetcher fetcher([&](const std::string& address, std::stop_token) {
        const std::string keyword = KeywordIn(address);
        std::lock_guard lock(mutex);
        const int tried = ++tries[keyword];
        if ((keyword == "b" && tried < 2) || (keyword == "c" && tried < 3) || keyword == "d") {
            return FetchResult::Failed(FetchFailureKind::Blocked, "verification page");
        }
        return FetchResult::Page(ResultPage(keyword == "c" ? 2 : 0, 0));
    });
    RecordingFields fields(u"a,b,c,d,e", std::u16string(kSite));
    RunOptions options = Options(3);
    // Through a link, which stays one, to the file it names, where the system lets tests link.
    std::error_code noLinks;
    std::filesystem::create_symlink(dir.file("target.csv"), resultsPath, noLinks);
    // A link planted where a replacement could be expected leads nowhere the run writes.
    WriteFileBytes(dir.file("victim"), "precious");
    std::filesystem::create_symlink(dir.file("victim"), dir.file("target.csv.new"), noLinks);
    options.verifyRounds = 2;
    options.verifyPause = 10ms;
    std::vector<int> waiting;
    options.onVerifyPause = [&](std::u16string_view /*region*/, int keywords,
                                std::chrono::milliseconds) { waiting.push_back(keywords); };
    const RunSummary summary = RunKeywordCheck(fields, fetcher, options);

    EXPECT_EQ(waiting, (std::vector<int>{3, 2}));
    EXPECT_EQ(tries, (std::map<std::string, int>{
                         {"", 2}, {"a", 1}, {"b", 2}, {"c", 3}, {"d", 3}, {"e", 1}}));
    EXPECT_NE(std::find(fields.writes.begin(), fields.writes.end(), u"status=等待1秒后重试3个词"),
              fields.writes.end());
    EXPECT_EQ(DecodeGb18030(Results()),
              u"a , shop.example.cn , 左无 , 右无推广位\r\n"
              u"b , shop.example.cn , 左无 , 右无推广位\r\n"
              u"c , shop.example.cn , 左2 , 右无推广位\r\n"
              u"d , shop.example.cn , 查询失败 , 查询失败\r\n"
              u"e , shop.example.cn , 左无 , 右无推广位\r\n");
    EXPECT_EQ(summary.failed, 1);
    EXPECT_EQ(summary.blocked, 1);
    EXPECT_EQ(fields.Status(),
              u"总词数5运行完毕，信息保存在同目录下的baidu.csv里，其中1个词查询"
              u"失败（验证页1个），请稍后再试");
    EXPECT_EQ(std::filesystem::is_symlink(resultsPath), !noLinks);
    EXPECT_EQ(ReadFileBytes(dir.file("victim")), "precious");
    // Nothing is left beside the file.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected =
        noLinks ? std::vector<std::string>{"baidu.csv", "victim"}
                : std::vector<std::string>{"baidu.csv", "target.csv", "target.csv.new", "victim"};
    EXPECT_EQ(names, expected);
}

// --- The phone's page ---

namespace devices {

constexpr char kPhonePrefix[] = "http://m.search.test/s?word=";
constexpr char kPhoneHome[] = "http://m.search.test/";

std::u16string PhonePage(std::u16string_view top) {
    return u"<title>x_百度搜索</title><div id=\"results\"><div class=\"ec_wise_ad\">" +
           std::u16string(top) + u"</div><div class=\"c-result\">organic</div></div>";
}

// The desktop page "左2"/"右无推广位" for every keyword; the phone page, "上1"/"下无推广位", for
// keywords sent to it in UTF-8; `fail` answers instead where it gives a failure.
FakeFetcher::Handler TwoPageEngine(
    std::function<std::optional<FetchResult>(const std::string& address)> fail = {}) {
    return [fail = std::move(fail)](const std::string& address, std::stop_token) {
        if (fail) {
            if (std::optional<FetchResult> failure = fail(address)) {
                return std::move(*failure);
            }
        }
        if (address.starts_with(kPhonePrefix)) {
            return FetchResult::Page(PhonePage(address.ends_with("%E8%8A%B1") ? kSite : u"x"));
        }
        return FetchResult::Page(ResultPage(2, 0));
    };
}

}  // namespace devices

class DeviceRunTest : public KeywordRunTest {
  protected:
    RunOptions Options(Device device, int lookAhead = 3) const {
        RunOptions options = KeywordRunTest::Options(lookAhead);
        options.device = device;
        options.mobileResultsPath = mobilePath;
        options.mobileSearchUrlPrefix = devices::kPhonePrefix;
        return options;
    }

    std::string mobilePath = dir.file("baidu_mobile.csv");
};

TEST_F(DeviceRunTest, BothPagesOfEveryKeywordGoToTheirOwnFiles) {
    RecordingFields fields(u"花,b", std::u16string(kSite));
    FakeFetcher fetcher(devices::TwoPageEngine());
    // One page at a time, so that the requests come in the order they are made.
    const RunSummary summary = RunKeywordCheck(fields, fetcher, Options(Device::Both, 1));

    EXPECT_EQ(summary.end, RunEnd::Completed);
    EXPECT_EQ(fields.progress, (std::vector<std::u16string>{u"1/2", u"2/2"}));
    EXPECT_EQ(fields.Status(),
              u"总词数2运行完毕，信息保存在同目录下的baidu.csv和baidu_mobile.csv里");
    EXPECT_EQ(
        DecodeGb18030(Results()),
        u"花 , shop.example.cn , 左2 , 右无推广位\r\nb , shop.example.cn , 左2 , 右无推广位\r\n");
    EXPECT_EQ(
        DecodeGb18030(ReadFileBytes(mobilePath)),
        u"花 , shop.example.cn , 上1 , 下无推广位\r\nb , shop.example.cn , 上无 , 下无推广位\r\n");

    // The desktop search in GBK, the phone's in UTF-8, each from its own home page, which is
    // requested once, as the phone.
    std::vector<std::string> searches;
    for (const FakeFetcher::Request& request : fetcher.requests()) {
        const bool phone = request.options.page == PageKind::Phone;
        EXPECT_EQ(phone, request.address.starts_with("http://m.")) << request.address;
        if (request.options.sideRequest) {
            continue;
        }
        EXPECT_EQ(request.options.referer, phone ? devices::kPhoneHome : kSearchHome);
        searches.push_back(request.address);
    }
    EXPECT_EQ(fetcher.requests()[2].address, devices::kPhoneHome);
    EXPECT_EQ(searches,
              (std::vector<std::string>{
                  std::string(kPrefix) + "%BB%A8", std::string(devices::kPhonePrefix) + "%E8%8A%B1",
                  std::string(kPrefix) + "b", std::string(devices::kPhonePrefix) + "b"}));
}

TEST_F(DeviceRunTest, AKeywordFailingOnEitherPageCountsOnce) {
    RecordingFields fields(u"a,b,c", std::u16string(kSite));
    FakeFetcher fetcher(devices::TwoPageEngine([](const std::string& address) {
        std::optional<FetchResult> failure;
        if (address.ends_with("word=a")) {
            failure = FetchResult::Failed(FetchFailureKind::Blocked, "verification page");
        } else if (address.ends_with("=b")) {
            failure = FetchResult::Failed(FetchFailureKind::Network, "connection refused");
        }
        return failure;
    }));
    const RunSummary summary = RunKeywordCheck(fields, fetcher, Options(Device::Both));

    EXPECT_EQ(summary.failed, 2);
    EXPECT_EQ(summary.blocked, 1);
    EXPECT_EQ(fields.Status(),
              u"总词数3运行完毕，信息保存在同目录下的baidu.csv和baidu_mobile.csv"
              u"里，其中2个词查询失败（验证页1个，连接失败1个），请稍后再试");
    EXPECT_EQ(DecodeGb18030(ReadFileBytes(mobilePath)),
              u"a , shop.example.cn , 查询失败 , 查询失败\r\n"
              u"b , shop.example.cn , 查询失败 , 查询失败\r\n"
              u"c , shop.example.cn , 上无 , 下无推广位\r\n");
    EXPECT_EQ(LineCount(), 3);
}

TEST_F(DeviceRunTest, OnlyTheChosenPagesAreFetchedAndWritten) {
    for (const Device device : {Device::Pc, Device::Mobile}) {
        WriteFileBytes(mobilePath, "kept\r\n");
        WriteFileBytes(resultsPath, "kept\r\n");
        RecordingFields fields(u"a", std::u16string(kSite));
        FakeFetcher fetcher(devices::TwoPageEngine());
        RunKeywordCheck(fields, fetcher, Options(device));

        const bool phone = device == Device::Mobile;
        EXPECT_EQ(fetcher.requests().back().options.page,
                  phone ? PageKind::Phone : PageKind::Desktop);
        EXPECT_EQ(Results() == "kept\r\n", phone);
        EXPECT_EQ(ReadFileBytes(mobilePath) == "kept\r\n", !phone);
        EXPECT_EQ(fields.Status(), phone
                                       ? u"总词数1运行完毕，信息保存在同目录下的baidu_mobile.csv里"
                                       : u"总词数1运行完毕，信息保存在同目录下的baidu.csv里");
    }
}

TEST_F(DeviceRunTest, AFileThatCannotBeOpenedLeavesTheOtherAsItWas) {
    WriteFileBytes(resultsPath, "an earlier run\r\n");
    RecordingFields fields(u"a", std::u16string(kSite));
    FakeFetcher fetcher(devices::TwoPageEngine());
    RunOptions options = Options(Device::Both);
    options.mobileResultsPath = dir.file("missing-directory/baidu_mobile.csv");
    const RunSummary summary = RunKeywordCheck(fields, fetcher, options);

    EXPECT_EQ(summary.end, RunEnd::ResultsFileUnavailable);
    EXPECT_EQ(summary.unopenedPath, options.mobileResultsPath);
    EXPECT_EQ(fields.Status(), u"无法创建结果文件baidu_mobile.csv，请检查程序所在目录是否可写");
    EXPECT_EQ(Results(), "an earlier run\r\n");
    EXPECT_TRUE(fetcher.addresses().empty());
}

TEST_F(DeviceRunTest, OnlyTheBlockedPageIsTriedAgain) {
    // a's desktop page meets a verification page once; its phone page is fine from the start.
    std::atomic<int> desktopTries = 0;
    FakeFetcher fetcher(devices::TwoPageEngine([&](const std::string& address) {
        std::optional<FetchResult> failure;
        if (address.ends_with("wd=a") && ++desktopTries == 1) {
            failure = FetchResult::Failed(FetchFailureKind::Blocked, "verification page");
        }
        return failure;
    }));
    WriteFileBytes(mobilePath, "");
    RecordingFields fields(u"a", std::u16string(kSite));
    RunOptions options = Options(Device::Both, 1);
    options.verifyRounds = 1;
    options.verifyPause = 1ms;
    const RunSummary summary = RunKeywordCheck(fields, fetcher, options);

    EXPECT_EQ(summary.failed, 0);
    EXPECT_EQ(desktopTries, 2);
    const std::vector<FakeFetcher::Request> requests = fetcher.requests();
    const auto phoneSearches = std::count_if(
        requests.begin(), requests.end(),
        [](const FakeFetcher::Request& r) { return r.address.starts_with(devices::kPhonePrefix); });
    EXPECT_EQ(phoneSearches, 1);
    EXPECT_EQ(DecodeGb18030(Results()), u"a , shop.example.cn , 左2 , 右无推广位\r\n");
    EXPECT_EQ(DecodeGb18030(ReadFileBytes(mobilePath)),
              u"a , shop.example.cn , 上无 , 下无推广位\r\n");
}

TEST_F(DeviceRunTest, AStopBetweenAKeywordsPagesWritesNeitherLine) {
    std::stop_source stop;
    RecordingFields fields(u"a,b,c", std::u16string(kSite));
    FakeFetcher fetcher(devices::TwoPageEngine([&stop](const std::string& address) {
        std::optional<FetchResult> failure;
        if (address.ends_with("word=b")) {
            stop.request_stop();
            failure = FetchResult::Failed(FetchFailureKind::Stopped, "stopped");
        }
        return failure;
    }));
    RunOptions options = Options(Device::Both, 1);
    options.stop = stop.get_token();
    const RunSummary summary = RunKeywordCheck(fields, fetcher, options);

    EXPECT_EQ(summary.end, RunEnd::Stopped);
    EXPECT_EQ(fields.Status(),
              u"运行已停止，已完成1/3，信息保存在同目录下的baidu.csv和baidu_mobile.csv里");
    EXPECT_EQ(LineCount(), 1);
    EXPECT_EQ(DecodeGb18030(ReadFileBytes(mobilePath)),
              u"a , shop.example.cn , 上无 , 下无推广位\r\n");
}

}  // namespace
}  // namespace slotscope
