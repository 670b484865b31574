// The history's cost beside the check it records: recording one keyword (one committed row in a
// history that already holds many runs) against analysing the real 177 KB result page; and the
// file's size per keyword per run.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "bench/real_page.h"
#include "core/result_page.h"
#include "core/text_codec.h"
#include "history/history_file.h"
#include "tests/support/temp_dir.h"

namespace {

void BM_AnalyseRealPage(benchmark::State& state) {
    if (RealPage().empty()) {
        state.SkipWithError("page not found (the shared fixtures are beside the clone)");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(slotscope::CheckResultPage(RealPage(), u"shop.example.cn",
                                                            slotscope::PageKind::Desktop));
    }
}
BENCHMARK(BM_AnalyseRealPage)->Unit(benchmark::kMicrosecond);

slotscope::KeywordOutcome Keyword(int order) {
    return {order,
            u"鲜花速递" + slotscope::DecodeUtf8(std::to_string(order)),
            slotscope::PageKind::Desktop,
            u"左" + slotscope::DecodeUtf8(std::to_string(order % 5)),
            u"右无推广位",
            slotscope::CheckFailure::None,
            {{"a.example.cn", "shop.example.cn", "flowers.example.com"}, {}}};
}

// Records runs of `keywords` keywords into a fresh history; the counters give the time per
// keyword and the file's bytes per keyword per run.
void BM_RecordKeyword(benchmark::State& state) {
    const int keywords = 1000;
    slotscope::testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    int runs = 0;
    for (auto _ : state) {
        slotscope::HistoryFile history(path, "bench");
        history.Begin(u"shop.example.cn", slotscope::Device::Pc, {});
        for (int k = 1; k <= keywords; ++k) {
            history.Record(Keyword(k));
        }
        history.End({});
        ++runs;
        if (!history.problem().empty()) {
            state.SkipWithError(history.problem().c_str());
            return;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(runs) * keywords);
    std::error_code ignored;
    const auto bytes = std::filesystem::file_size(path, ignored);
    state.counters["bytes_per_keyword_run"] =
        static_cast<double>(bytes) / (static_cast<double>(runs) * keywords);
}
BENCHMARK(BM_RecordKeyword)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
