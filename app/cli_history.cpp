#include "app/cli_history.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>

#include "app/cli_options.h"
#include "app/cli_platform.h"
#include "history/history_export.h"
#include "history/history_read.h"
#include "history/history_report.h"

namespace slotscope::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct ReadOptions {
    std::string site;
    std::string historyPath = "slotscope.db";
    int runs = 0;  // 0: all
    std::string format = "json";
    std::string outputPath;  // the report's; empty: beside the history
    bool help = false;
};

// Reads a subcommand's options; `report` takes --output, `history` --format.
bool Parse(const std::vector<std::string>& arguments, bool report, ReadOptions& options,
           std::string& error) {
    bool siteGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const std::size_t equals = name.find('=');
            name.starts_with("--") && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        const bool known = name == "--site" || name == "--history" || name == "--runs" ||
                           (report ? name == "--output" : name == "--format");
        if (!known) {
            error = "unknown option '" + arguments[i] + "'";
            return false;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = arguments[++i];
        }
        if (name == "--site") {
            options.site = *value;
            siteGiven = true;
        } else if (name == "--history") {
            options.historyPath = *value;
        } else if (name == "--output") {
            options.outputPath = *value;
        } else if (name == "--format") {
            if (*value != "json" && *value != "csv") {
                error = "--format must be json or csv, not '" + *value + "'";
                return false;
            }
            options.format = *value;
        } else {
            const std::string_view text = *value;
            const auto [end, failure] =
                std::from_chars(text.data(), text.data() + text.size(), options.runs);
            const int most = report ? kReportRuns : std::numeric_limits<int>::max();
            if (failure != std::errc() || end != text.data() + text.size() || options.runs < 1 ||
                options.runs > most) {
                error = report
                            ? "--runs for a report must be a whole number from 1 to " +
                                  std::to_string(kReportRuns) +
                                  " (slotscope-cli history exports every run), not '" + *value + "'"
                            : "--runs must be a whole number of at least 1, not '" + *value + "'";
                return false;
            }
        }
        if ((name == "--history" || name == "--output") && value->empty()) {
            error = "option " + name + " needs a file name";
            return false;
        }
    }
    if (!options.help && (!siteGiven || options.site.empty())) {
        error = "--site is required";
        return false;
    }
    if (!options.help) {
        error = SiteError(options.site);
    }
    return error.empty();
}

int UsageError(const std::string& error) {
    std::string line = "slotscope-cli: " + error + "\nTry 'slotscope-cli --help'.\n";
    WriteError(line);
    return kExitUsage;
}

// Reads a subcommand's options; the exit code where the program ends here (a usage error, or
// --help printed).
std::optional<int> ReadOptionsOrExit(const std::vector<std::string>& arguments, bool report,
                                     ReadOptions& options) {
    std::string error;
    if (!Parse(arguments, report, options, error)) {
        return UsageError(error);
    }
    if (options.help) {
        std::fputs(SubcommandUsageText(), stdout);
        return kExitOk;
    }
    return std::nullopt;
}

}  // namespace

const char* SubcommandUsageText() {
    return "\n"
           "Reading the history:\n"
           "  slotscope-cli history --site SITE [--history FILE] [--runs N]\n"
           "                        [--format json|csv]\n"
           "      prints the last N runs of SITE (default: all) with every keyword's labels,\n"
           "      slots, paid listings, shown sites and changes; CSV is UTF-8 with a BOM\n"
           "  slotscope-cli report --site SITE [--history FILE] [--runs N] [--output FILE]\n"
           "      writes an HTML report of the last N runs (1 to 30, default 30) to FILE\n"
           "      (default: slotscope-report.html beside the history file): every keyword that\n"
           "      moved in the latest run and up to 1000 that did not\n"
           "  --history FILE defaults to slotscope.db here.\n";
}

int HistoryCommand(const std::vector<std::string>& arguments) {
    ReadOptions options;
    if (const std::optional<int> done = ReadOptionsOrExit(arguments, false, options)) {
        return *done;
    }
    std::string problem;
    const std::unique_ptr<HistoryReader> reader = HistoryReader::Open(options.historyPath, problem);
    const std::optional<std::vector<StoredRun>> runs =
        reader != nullptr ? reader->Runs(options.site, options.runs) : std::nullopt;
    if (!runs) {
        WriteError("slotscope-cli: history file " + options.historyPath + ": " +
                   (reader != nullptr ? reader->problem() : problem) + "\n");
        return kExitFailed;
    }
    // Row by row as they are read, however long the history.
    std::FILE* out = BinaryStandardOutput();
    const ExportOut write = [out](std::string_view text) {
        return std::fwrite(text.data(), 1, text.size(), out) == text.size();
    };
    ExportEnd end = options.format == "csv" ? WriteHistoryCsv(*reader, *runs, write)
                                            : WriteHistoryJson(*reader, options.site, *runs, write);
    if (end == ExportEnd::Written && std::fflush(out) != 0) {
        end = ExportEnd::WriteFailed;
    }
    if (end == ExportEnd::ReadFailed) {
        WriteError("slotscope-cli: history file " + options.historyPath + ": " + reader->problem() +
                   "\n");
        return kExitFailed;
    }
    if (end == ExportEnd::WriteFailed) {
        WriteError("slotscope-cli: the history could not be written to standard output\n");
        return kExitFailed;
    }
    if (runs->empty()) {
        // Still well-formed for a script, but a site spelt otherwise than its runs is no success.
        WriteError("slotscope-cli: no run of " + options.site + " in " + options.historyPath +
                   "\n");
        return kExitFailed;
    }
    return kExitOk;
}

int ReportCommand(const std::vector<std::string>& arguments) {
    ReadOptions options;
    if (const std::optional<int> done = ReadOptionsOrExit(arguments, true, options)) {
        return *done;
    }
    const SiteReport report =
        WriteSiteReport(options.historyPath, options.site, options.runs, options.outputPath, {});
    if (report.outcome != SiteReport::Outcome::Written) {
        WriteError("slotscope-cli: " + report.problem + "\n");
        return kExitFailed;
    }
    WriteError("slotscope-cli: report written to " + report.path + "\n");
    return kExitOk;
}

}  // namespace slotscope::cli
