#include "core/region_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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

constexpr char kPrefix[] = "http://search.test/s?wd=";
constexpr char kPhonePrefix[] = "http://m.search.test/s?word=";
constexpr std::u16string_view kSite = u"shop.example.cn";

// A search engine as one region sees it: every keyword's page with the site at `left` on the
// left (0: not there), the phone's at the top likewise.
FakeFetcher::Handler RegionEngine(int left) {
    return [left](const std::string& address, std::stop_token) {
        if (address.rfind(kPhonePrefix, 0) == 0) {
            return FetchResult::Page(testing::PhoneListingsPage(kSite, left, 0));
        }
        if (address.rfind(kPrefix, 0) == 0) {
            return FetchResult::Page(testing::ListingsPage(kSite, left, 0, false));
        }
        return FetchResult::Page(u"<html>home</html>");
    };
}

std::vector<std::string> SearchesOf(const FakeFetcher& fetcher) {
    std::vector<std::string> searches;
    for (const std::string& address : fetcher.addresses()) {
        if (address.find("wd=") != std::string::npos ||
            address.find("word=") != std::string::npos) {
            searches.push_back(address);
        }
    }
    return searches;
}

// A history that tells when its run has ended.
class EndWatch final : public RunHistory {
  public:
    void Begin(std::u16string_view /*site*/, Device /*device*/, std::u16string_view region,
               std::stop_token /*stop*/) override {
        region_ = std::u16string(region);
    }
    void Hold() override {}
    void Record(const std::vector<KeywordOutcome>& /*outcomes*/) override {}
    void Revise(const std::vector<KeywordOutcome>& /*outcomes*/) override {}
    void End(const RunSummary& /*summary*/) override {
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }
    std::string problem() const override { return {}; }
    int keptKeywords() const override { return 0; }
    ChangeCounts changes() const override { return {}; }

    bool WaitForEnd() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return ended_; });
    }
    const std::u16string& region() const { return region_; }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
    std::u16string region_;
};

// Fields whose progress may be read while the run writes it.
class LockedFields final : public MemoryRunFields {
  public:
    using MemoryRunFields::MemoryRunFields;
    void SetProgress(const std::u16string& text) override {
        std::lock_guard lock(mutex_);
        progress_.push_back(text);
    }
    std::vector<std::u16string> progress() const {
        std::lock_guard lock(mutex_);
        return progress_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::u16string> progress_;
};

class RegionRunTest : public ::testing::Test {
  protected:
    RunOptions Options(Device device = Device::Pc) const {
        RunOptions options;
        options.resultsPath = dir.file("baidu.csv");
        options.mobileResultsPath = dir.file("baidu_mobile.csv");
        options.device = device;
        options.homePageUrl = "http://home.test/";
        options.searchUrlPrefix = kPrefix;
        options.mobileSearchUrlPrefix = kPhonePrefix;
        return options;
    }
    // The labels of a results file's lines, "左2/右无推广位" each.
    std::vector<std::string> LabelsIn(const std::string& name) const {
        const std::u16string text = DecodeGb18030(ReadFileBytes(dir.file(name)));
        std::vector<std::string> labels;
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = text.find(u"\r\n", start);
            const std::u16string line = text.substr(start, end - start);
            const std::size_t third = line.find(u" , ", line.find(u" , ") + 3);
            std::u16string both = line.substr(third + 3);
            both.replace(both.find(u" , "), 3, u"/");
            labels.push_back(EncodeUtf8(both));
            start = end + 2;
        }
        return labels;
    }

    TempDir dir;
};

struct FilesCase {
    const char* name;
    Device device;
    // Per region (the own connection, 北京, 上海): its file's name and each keyword's labels.
    std::vector<std::pair<std::string, std::vector<std::string>>> files;
};

TEST_F(RegionRunTest, EachRegionWritesItsOwnFilesFromItsOwnConnection) {
    const FilesCase cases[] = {
        {"desktop",
         Device::Pc,
         {{"baidu.csv", {"左1/右无推广位", "左1/右无推广位"}},
          {"baidu_北京.csv", {"左2/右无推广位", "左2/右无推广位"}},
          {"baidu_上海.csv", {"左无/右无推广位", "左无/右无推广位"}}}},
        {"both pages",
         Device::Both,
         {{"baidu.csv", {"左1/右无推广位", "左1/右无推广位"}},
          {"baidu_mobile.csv", {"上1/下无", "上1/下无"}},
          {"baidu_北京.csv", {"左2/右无推广位", "左2/右无推广位"}},
          {"baidu_mobile_北京.csv", {"上2/下无", "上2/下无"}},
          {"baidu_上海.csv", {"左无/右无推广位", "左无/右无推广位"}},
          {"baidu_mobile_上海.csv", {"上无/下无", "上无/下无"}}}},
    };
    for (const FilesCase& each : cases) {
        SCOPED_TRACE(each.name);
        RecordingFields fields(u"鲜花\r\n玫瑰", std::u16string(kSite));
        FakeFetcher own(RegionEngine(1));
        FakeFetcher beijing(RegionEngine(2));
        FakeFetcher shanghai(RegionEngine(0));
        EndWatch ownHistory;
        EndWatch beijingHistory;
        EndWatch shanghaiHistory;
        const RegionsSummary summary = RunRegionsCheck(fields,
                                                       {{u"", &own, &ownHistory},
                                                        {u"北京", &beijing, &beijingHistory},
                                                        {u"上海", &shanghai, &shanghaiHistory}},
                                                       Options(each.device));

        EXPECT_EQ(summary.total.end, RunEnd::Completed);
        EXPECT_EQ(summary.total.checked, 2);
        ASSERT_EQ(summary.regions.size(), 3U);
        for (const auto& [file, labels] : each.files) {
            EXPECT_EQ(LabelsIn(file), labels) << file;
        }
        const int files = static_cast<int>(each.files.size());
        EXPECT_EQ(fields.Status(), u"总词数2运行完毕，信息保存在同目录下的baidu.csv等" +
                                       DecodeUtf8(std::to_string(files)) + u"个文件里");
        // Each region's searches went over its own connection only, one per keyword and page.
        for (const FakeFetcher* fetcher : {&own, &beijing, &shanghai}) {
            EXPECT_EQ(SearchesOf(*fetcher).size(), static_cast<size_t>(files / 3 * 2));
        }
        EXPECT_EQ(ownHistory.region(), u"");
        EXPECT_EQ(beijingHistory.region(), u"北京");
        EXPECT_EQ(shanghaiHistory.region(), u"上海");
    }
}

TEST_F(RegionRunTest, ProgressCountsKeywordsDoneInEveryRegion) {
    LockedFields fields(u"a\r\nb\r\nc", std::u16string(kSite));
    EndWatch fastEnded;
    std::vector<std::u16string> progressWhenSlowBegan;
    bool sawFastEnd = false;
    FakeFetcher fast(RegionEngine(1));
    FakeFetcher slow([&](const std::string& address, std::stop_token stop) {
        if (address.rfind(kPrefix, 0) == 0 && address.back() == 'a') {
            // Not a keyword is done everywhere until the slow region has done it.
            sawFastEnd = fastEnded.WaitForEnd();
            progressWhenSlowBegan = fields.progress();
        }
        return RegionEngine(2)(address, stop);
    });
    const RegionsSummary summary =
        RunRegionsCheck(fields, {{u"快", &fast, &fastEnded}, {u"慢", &slow}}, Options());

    EXPECT_TRUE(sawFastEnd);
    EXPECT_TRUE(progressWhenSlowBegan.empty());
    EXPECT_EQ(fields.progress(), (std::vector<std::u16string>{u"1/3", u"2/3", u"3/3"}));
    EXPECT_EQ(summary.regions[0].summary.checked, 3);
}

TEST_F(RegionRunTest, AFileThatCannotBeOpenedLeavesEveryRegionsFilesAsTheyWere) {
    WriteFileBytes(dir.file("baidu_北京.csv"), "kept\r\n");
    std::filesystem::create_directory(testing::Utf8Path(dir.file("baidu_上海.csv")));
    RecordingFields fields(u"鲜花", std::u16string(kSite));
    FakeFetcher beijing(RegionEngine(2));
    FakeFetcher shanghai(RegionEngine(1));
    const RegionsSummary summary =
        RunRegionsCheck(fields, {{u"北京", &beijing}, {u"上海", &shanghai}}, Options());

    EXPECT_EQ(summary.total.end, RunEnd::ResultsFileUnavailable);
    EXPECT_EQ(ReadFileBytes(dir.file("baidu_北京.csv")), "kept\r\n");
    EXPECT_TRUE(beijing.addresses().empty());
    EXPECT_TRUE(shanghai.addresses().empty());
    EXPECT_EQ(fields.Status(), u"无法创建结果文件baidu_上海.csv，请检查程序所在目录是否可写");
}

TEST_F(RegionRunTest, AStopEndsEveryRegion) {
    RecordingFields fields(u"a\r\nb\r\nc", std::u16string(kSite));
    std::stop_source stop;
    // 北京 would go on to its end but for the stop; 上海 stops the run at its second keyword.
    FakeFetcher beijing([&](const std::string& address, std::stop_token token) {
        if (address.rfind(kPrefix, 0) == 0 && address.back() == 'c') {
            std::mutex mutex;
            std::condition_variable_any stopped;
            std::unique_lock lock(mutex);
            stopped.wait_for(lock, token, 10s, [] { return false; });
            return FetchResult::Failed(FetchFailureKind::Stopped, "stopped");
        }
        return RegionEngine(2)(address, token);
    });
    FakeFetcher shanghai([&](const std::string& address, std::stop_token token) {
        if (address.rfind(kPrefix, 0) == 0 && address.back() == 'b') {
            stop.request_stop();
            return FetchResult::Failed(FetchFailureKind::Stopped, "stopped");
        }
        return RegionEngine(1)(address, token);
    });
    RunOptions options = Options();
    options.stop = stop.get_token();
    const RegionsSummary summary =
        RunRegionsCheck(fields, {{u"北京", &beijing}, {u"上海", &shanghai}}, options);

    EXPECT_EQ(summary.total.end, RunEnd::Stopped);
    EXPECT_EQ(summary.regions[0].summary.end, RunEnd::Stopped);
    EXPECT_EQ(summary.regions[1].summary.checked, 1);
    EXPECT_EQ(LabelsIn("baidu_上海.csv"), (std::vector<std::string>{"左1/右无推广位"}));
    const int everywhere = std::min(summary.regions[0].summary.checked, 1);
    EXPECT_EQ(summary.total.checked, everywhere);
    EXPECT_EQ(fields.Status(), u"运行已停止，已完成" + DecodeUtf8(std::to_string(everywhere)) +
                                   u"/3，信息保存在同目录下的baidu_北京.csv等2个文件里");
}

TEST_F(RegionRunTest, APoolKeepsItsPagesAtOnceAfterAVerificationPage) {
    // The pool's fetcher slows down the proxy that met the page; the rest of the region goes on
    // at its pages at once.
    std::mutex mutex;
    std::condition_variable changed;
    int inFlight = 0;
    int started = 0;
    int most = 0;
    RecordingFields fields(u"k0\r\nk1\r\nk2\r\nk3\r\nk4\r\nk5\r\nk6\r\nk7", std::u16string(kSite));
    FakeFetcher pool([&](const std::string& address, std::stop_token) {
        if (address.rfind(kPrefix, 0) != 0) {
            return FetchResult::Page(u"");
        }
        const int i = address.back() - '0';
        std::unique_lock lock(mutex);
        ++inFlight;
        ++started;
        if (i >= 4) {
            most = std::max(most, inFlight);
        }
        changed.notify_all();
        // Each half finishes only once it is all under way.
        changed.wait_for(lock, 5s, [&] { return started >= (i < 4 ? 4 : 8); });
        --inFlight;
        return i == 0 ? FetchResult::Failed(FetchFailureKind::Blocked, "verification page")
                      : FetchResult::Page(testing::ListingsPage(kSite, 1, 0, false));
    });
    RunOptions options = Options();
    options.lookAhead = 4;
    const RegionsSummary summary =
        RunRegionsCheck(fields, {{u"北京", &pool, nullptr, /*pool=*/true}}, options);

    EXPECT_EQ(summary.total.blocked, 1);
    EXPECT_EQ(most, 4);
}

}  // namespace
}  // namespace slotscope
