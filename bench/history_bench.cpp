// The history's cost beside the check it records: recording one keyword (one committed row in a
// history that already holds many runs) against analysing the real 177 KB result page; the
// file's size per keyword per run; the report over 1,000 keywords × 30 runs against reading
// those rows with one SELECT; and slotscope-cli's memory for the report and the exports of a
// long history.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/text_codec.h"
#include "bench/history_sample.h"
#include "bench/real_page.h"
#include "history/history_file.h"
#include "history/history_report.h"
#include "page/result_page.h"
#include "tests/support/bulk_history.h"
#include "tests/support/child_process.h"
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
            {{"a.example.cn", "shop.example.cn", "flowers.example.com"}, {}},
            {}};
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
        history.Begin(u"shop.example.cn", slotscope::Device::Pc, u"", {});
        for (int k = 1; k <= keywords; ++k) {
            history.Record({Keyword(k)});
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

// A history of 1,000 keywords × 30 runs, made once.
const std::string& ReportHistory() {
    static slotscope::testing::TempDir dir;
    static const std::string path = [] {
        const std::string file = dir.file("slotscope.db");
        const std::string problem = slotscope::bench::FillHistory(file, 1000, 30);
        return problem.empty() ? file : std::string();
    }();
    return path;
}

// Every row of the history, read with one SELECT: the floor any report stands on.
void BM_SelectRows(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(ReportHistory().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT run, page, ord, keyword, failed, left_label, left_slot, "
                       "left_listings, left_sites, left_change, left_by, right_label, right_slot, "
                       "right_listings, right_sites, right_change, right_by FROM results "
                       "ORDER BY run, ord",
                       -1, &statement, nullptr);
    std::int64_t rows = 0;
    for (auto _ : state) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 0; column < 17; ++column) {
                benchmark::DoNotOptimize(sqlite3_column_text(statement, column));
            }
            ++rows;
        }
        sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    state.SetItemsProcessed(rows);
}
BENCHMARK(BM_SelectRows)->Unit(benchmark::kMillisecond);

// The whole report: reading the site's runs and writing the page to a file.
void BM_Report(benchmark::State& state) {
    slotscope::testing::TempDir dir;
    const std::string output = dir.file("report.html");
    for (auto _ : state) {
        const slotscope::SiteReport report =
            slotscope::WriteSiteReport(ReportHistory(), "shop.example.cn", 0, output, {});
        if (report.outcome != slotscope::SiteReport::Outcome::Written) {
            state.SkipWithError(report.problem.c_str());
            return;
        }
    }
    std::error_code ignored;
    state.counters["report_bytes"] =
        static_cast<double>(std::filesystem::file_size(output, ignored));
}
BENCHMARK(BM_Report)->Unit(benchmark::kMillisecond);

// slotscope-cli on a long history (the argument's keywords × 30 runs, one in a hundred moving
// each run): the peak memory of the report and of the 10-run exports, as ratios to the peak of
// the same command on a history of one keyword, and the report's size.
void BM_CliOnALongHistory(benchmark::State& state) {
    const int keywords = static_cast<int>(state.range(0));
    slotscope::testing::TempDir dir;
    const std::string history = dir.file("long.db");
    const std::string small = dir.file("small.db");
    for (const auto& [path, count] : {std::pair{history, keywords}, std::pair{small, 1}}) {
        if (const std::string problem = slotscope::testing::BulkHistory(path, count, 30);
            !problem.empty()) {
            state.SkipWithError(problem.c_str());
            return;
        }
    }
    const auto peakMiB = [&](std::vector<std::string> arguments, const std::string& db) {
        arguments.insert(arguments.end(), {"--site", "shop.example.cn", "--history", db});
        const auto child = slotscope::testing::StartProgram(
            SLOTSCOPE_CLI, arguments,
            {dir.path().string(), "/dev/null", dir.file("out"), dir.file("err"), false});
        const slotscope::testing::ChildEnd end = slotscope::testing::WaitForProgram(child);
        return end.exitStatus == 0 ? static_cast<double>(end.peakResidentKiB) / 1024 : -1.0;
    };
    const std::vector<std::string> report = {"report", "--output", dir.file("report.html")};
    const std::vector<std::string> json = {"history", "--runs", "10"};
    const std::vector<std::string> csv = {"history", "--runs", "10", "--format", "csv"};
    for (auto _ : state) {
        const double reportPeak = peakMiB(report, history);
        std::error_code ignored;
        state.counters["report_MiB"] = reportPeak;
        state.counters["report_bytes"] =
            static_cast<double>(std::filesystem::file_size(dir.file("report.html"), ignored));
        state.counters["report_over_small"] = reportPeak / peakMiB(report, small);
        const double jsonPeak = peakMiB(json, history);
        state.counters["json_MiB"] = jsonPeak;
        state.counters["json_bytes"] =
            static_cast<double>(std::filesystem::file_size(dir.file("out"), ignored));
        state.counters["json_over_small"] = jsonPeak / peakMiB(json, small);
        const double csvPeak = peakMiB(csv, history);
        state.counters["csv_MiB"] = csvPeak;
        state.counters["csv_over_small"] = csvPeak / peakMiB(csv, small);
    }
}
BENCHMARK(BM_CliOnALongHistory)->Arg(20000)->Arg(100000)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
