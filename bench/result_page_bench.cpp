// The analysis on a 1 MB page in its worst case, beside the plain step-by-step version and beside
// a single find over the page for a marker that is not there (the floor for any analysis that
// reads the whole page once). Compare the three times of one run.
#include <benchmark/benchmark.h>

#include <string>

#include "core/result_page.h"
#include "tests/support/page_generator.h"
#include "tests/support/reference_analysis.h"

namespace {

const std::u16string& Page() {
    static const std::u16string page = slotscope::testing::WorstCasePage(1'000'000);
    return page;
}

constexpr std::u16string_view kAbsentSite = u"absent.example";

void BM_AnalyzeResultPage(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(slotscope::AnalyzeResultPage(Page(), kAbsentSite));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Page().size() * 2));
}
BENCHMARK(BM_AnalyzeResultPage)->Unit(benchmark::kMicrosecond);

void BM_ReferenceAnalysis(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            slotscope::testing::ReferenceAnalyzeResultPage(Page(), kAbsentSite));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Page().size() * 2));
}
BENCHMARK(BM_ReferenceAnalysis)->Unit(benchmark::kMicrosecond);

void BM_FindAbsentMarker(benchmark::State& state) {
    const std::u16string_view page = Page();
    // 17 characters, like the layout markers, and absent from the page.
    constexpr std::u16string_view marker = u"<table id=\"5001\" ";
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.find(marker));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size() * 2));
}
BENCHMARK(BM_FindAbsentMarker)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
