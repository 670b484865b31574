// Memory of a long run: with an instant fetch returning a 300 KB page, the peak resident memory
// after 10,000 keywords should match that after 1,000 (nothing accumulates per keyword). The
// 1,000-keyword run goes first, so its peak is the baseline the longer run is held against.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "core/keyword_run.h"
#include "tests/support/page_generator.h"

namespace {

double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

class InstantFetcher final : public slotscope::PageFetcher {
  public:
    using PageFetcher::FetchPage;

    slotscope::FetchResult FetchPage(const std::string& /*address*/,
                                     const slotscope::FetchOptions& /*options*/,
                                     std::stop_token /*stop*/) override {
        return slotscope::FetchResult::Page(page_);
    }

  private:
    std::u16string page_ = slotscope::testing::WorstCasePage(300'000);
};

double peakAfterFirstSize = 0;

void BM_KeywordRunMemory(benchmark::State& state) {
    const int keywords = static_cast<int>(state.range(0));
    std::u16string list;
    for (int i = 0; i < keywords; ++i) {
        const std::string word = "keyword " + std::to_string(i) + "\r\n";
        list.append(word.begin(), word.end());
    }
    const auto path = std::filesystem::temp_directory_path() / "slotscope-bench-baidu.csv";
    InstantFetcher fetcher;
    slotscope::RunOptions options;
    options.resultsPath = path.string();
    options.homePageUrl = "http://home.invalid/";
    options.lookAhead = static_cast<int>(state.range(1));

    for (auto _ : state) {
        // Registered for one iteration: the list moves in so it is held once, as in a real run.
        // NOLINTNEXTLINE(bugprone-use-after-move)
        slotscope::MemoryRunFields fields(std::move(list), u"absent.example");
        benchmark::DoNotOptimize(slotscope::RunKeywordCheck(fields, fetcher, options));
    }
    std::filesystem::remove(path);

    const double peak = PeakResidentMiB();
    if (peakAfterFirstSize == 0) {
        peakAfterFirstSize = peak;
    }
    state.counters["peak_rss_MiB"] = peak;
    state.counters["peak_vs_first"] = peak / peakAfterFirstSize;
    state.counters["keywords_per_s"] =
        benchmark::Counter(static_cast<double>(keywords), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_KeywordRunMemory)
    ->Args({1000, 3})
    ->Args({10000, 3})
    ->Args({30000, 3})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // As in the programs: page bodies are served by mmap and given back when freed, instead of
    // glibc raising its threshold and leaving them scattered over per-thread arenas.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
