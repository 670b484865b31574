#include "app/cli_history.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

#include "app/cli_command_line.h"
#include "app/cli_platform.h"
#include "history/history_export.h"
#include "history/history_read.h"
#include "history/history_report.h"
#include "workbook/site_workbook.h"

namespace slotscope::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

}  // namespace

int HistoryCommand(const ReadOptions& options) {
    const auto reader = HistoryReader::Open(options.historyPath);
    const auto runs = reader.and_then([&](const auto& opened) {
        return opened->Runs(options.site, options.runs, options.region);
    });
    if (!runs) {
        WriteError("slotscope-cli: history file " + options.historyPath + ": " + runs.error() +
                   "\n");
        return kExitFailed;
    }
    HistoryReader& history = **reader;
    // Row by row as they are read, however long the history.
    std::FILE* out = BinaryStandardOutput();
    const ExportOut write = [out](std::string_view text) {
        return std::fwrite(text.data(), 1, text.size(), out) == text.size();
    };
    ExportEnd end = options.format == "csv" ? WriteHistoryCsv(history, *runs, write)
                                            : WriteHistoryJson(history, options.site, *runs, write);
    if (end == ExportEnd::Written && std::fflush(out) != 0) {
        end = ExportEnd::WriteFailed;
    }
    if (end == ExportEnd::ReadFailed) {
        WriteError("slotscope-cli: history file " + options.historyPath + ": " + history.problem() +
                   "\n");
        return kExitFailed;
    }
    if (end == ExportEnd::WriteFailed) {
        WriteError("slotscope-cli: the history could not be written to standard output\n");
        return kExitFailed;
    }
    if (runs->empty()) {
        // Still well-formed for a script, but a site spelt otherwise than its runs is no success.
        const std::string from = options.region ? " from " + *options.region : "";
        WriteError("slotscope-cli: no run of " + options.site + from + " in " +
                   options.historyPath + "\n");
        return kExitFailed;
    }
    return kExitOk;
}

int ReportCommand(const ReadOptions& options) {
    const SiteReport report =
        WriteSiteReport(options.historyPath, options.site, options.runs, options.outputPath, {});
    if (report.outcome != SiteReport::Outcome::Written) {
        WriteError("slotscope-cli: " + report.problem + "\n");
        return kExitFailed;
    }
    WriteError("slotscope-cli: report written to " + report.path + "\n");
    return kExitOk;
}

int ExportCommand(const ReadOptions& options) {
    const SiteWorkbook workbook =
        WriteSiteWorkbook(options.historyPath, options.site, options.runs, options.outputPath);
    if (workbook.outcome != SiteWorkbook::Outcome::Written) {
        WriteError("slotscope-cli: " + workbook.problem + "\n");
        return kExitFailed;
    }
    if (workbook.rowsLeftOut > 0) {
        WriteError("slotscope-cli: " + std::to_string(workbook.rowsLeftOut) +
                   " checks of the oldest runs left out: a sheet holds 1048575 rows at most\n");
    }
    WriteError("slotscope-cli: workbook written to " + workbook.path + "\n");
    return kExitOk;
}

}  // namespace slotscope::cli
