// slotscope-cli's keyword run: its inputs, its connections and histories, what it says on the
// console, and its alerts.
#include "app/cli_run.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <stop_token>
#include <string>
#include <tl/expected.hpp>
#include <utility>
#include <vector>

#include "app/cli_alerts.h"
#include "app/cli_command_line.h"
#include "app/cli_console.h"
#include "app/cli_files.h"
#include "app/cli_history.h"
#include "app/cli_platform.h"
#include "base/text_codec.h"
#include "core/build_config.h"
#include "core/keyword_run.h"
#include "core/region_run.h"
#include "core/run_limits.h"
#include "history/history_file.h"
#include "net/cookie_file.h"
#include "net/page_fetch.h"
#include "page/own_site.h"

namespace slotscope::cli {
namespace {

// "3 up, 1 lost": how the left (or top) slots moved since the last run.
std::string ChangesLine(const ChangeCounts& changes) {
    std::string line;
    for (const auto& [count, name] :
         {std::pair{changes.up, "up"}, std::pair{changes.down, "down"},
          std::pair{changes.gained, "gained"}, std::pair{changes.lost, "lost"}}) {
        if (count > 0) {
            line += (line.empty() ? "" : ", ") + std::to_string(count) + " " + name;
        }
    }
    return line.empty() ? "no slot moved" : line;
}

// "北京: " before what is said of a region's check; nothing for the machine's own connection.
std::string RegionPrefix(std::u16string_view region) {
    return region.empty() ? std::string() : EncodeUtf8(region) + ": ";
}

// What a run reads before it begins: its files' names and the keyword file's bytes; or the
// usage error that stops it first.
struct RunInputs {
    std::string mobileOutput;  // empty: no phone page checked
    std::string historyPath;   // empty: no history kept
    std::string keywordBytes;
    std::vector<Region> regions;         // none: this machine's own connection only
    std::vector<AlertChannel> channels;  // told of the run; none: no alerts
};

// Everything a run reads before it begins but its keywords: its files' names, regions and alert
// channels; or the usage error that stops it first.
tl::expected<RunInputs, std::string> SettledInputs(const Options& options) {
    RunInputs inputs;
    if (options.device != Device::Pc) {
        std::string error;
        inputs.mobileOutput = MobileOutputPath(options, error);
        if (inputs.mobileOutput.empty()) {
            return tl::unexpected(error);
        }
    }
    inputs.historyPath = HistoryPath(options);
    tl::expected<std::vector<Region>, std::string> regions = RegionsOf(options);
    if (!regions) {
        return tl::unexpected(std::move(regions).error());
    }
    inputs.regions = std::move(*regions);
    if (std::string twice = FileNamedTwice(
            FilesOf(options, inputs.mobileOutput, inputs.historyPath, inputs.regions));
        !twice.empty()) {
        return tl::unexpected(std::move(twice));
    }
    if (std::string error = SiteError(options.site); !error.empty()) {
        return tl::unexpected(std::move(error));
    }
    if (!options.notifyPath.empty()) {
        auto channels = ChannelsOf(options.notifyPath);
        if (!channels) {
            return tl::unexpected(std::move(channels).error());
        }
        inputs.channels = std::move(*channels);
        if (inputs.historyPath.empty()) {
            return tl::unexpected(std::string(
                "--notify tells what changed since the last run, which the history keeps: "
                "name one with --history FILE where --output is not a regular file"));
        }
    }
    return inputs;
}

tl::expected<RunInputs, std::string> TakeInputs(const Options& options, Console& console,
                                                RunState& state) {
    tl::expected<RunInputs, std::string> inputs = SettledInputs(options);
    if (!inputs) {
        return inputs;
    }
    // Standard input is read once, for the first run of a watch; the later ones check the same
    // keywords. A file is read afresh for every run.
    if (options.keywordsPath == "-" && state.typedKeywords) {
        inputs->keywordBytes = *state.typedKeywords;
        return inputs;
    }
    if (options.keywordsPath == "-" && InputIsTerminal()) {
        console.Line(std::string("slotscope-cli: reading keywords from the terminal, one per line; "
                                 "end the list with ") +
                     EndOfInputKeys());
    }
    if (std::string error = ReadKeywordBytes(options.keywordsPath, inputs->keywordBytes);
        !error.empty()) {
        return tl::unexpected(std::move(error));
    }
    if (options.keywordsPath == "-") {
        state.typedKeywords = inputs->keywordBytes;
    }
    return inputs;
}

// The page fetch's settings, with the user's Baidu session when --cookies names one; or the
// usage error, which names a line of the file and never what it holds.
tl::expected<FetchSettings, std::string> FetchSettingsOf(const Options& options, Console& console) {
    FetchSettings settings;
    settings.timeout = std::chrono::milliseconds(std::llround(options.timeoutSeconds * 1000));
    if (options.cookiesPath.empty()) {
        return settings;
    }
    std::string text;
    if (std::string error = ReadFileNamed("--cookies", options.cookiesPath, text,
                                          /*regular=*/true, limits::kMaxCookieFileBytes);
        !error.empty()) {
        return tl::unexpected(std::move(error));
    }
    SessionCookies cookies = ReadSessionCookies(
        text, {HostOf(options.searchUrlPrefix), HostOf(options.mobileSearchUrlPrefix)});
    if (!cookies.error.empty()) {
        return tl::unexpected("--cookies '" + options.cookiesPath + "': " + cookies.error);
    }
    if (cookies.leftOut > 0) {
        console.Note("slotscope-cli: --cookies '" + options.cookiesPath +
                     "': " + std::to_string(cookies.leftOut) +
                     (cookies.leftOut == 1 ? " cookie" : " cookies") +
                     " for other sites left out; only the search's own are sent");
    }
    settings.cookies = std::move(cookies.jarLines);
    return settings;
}

// The run as the command line asks for it, saying on the console what it meets on the way.
RunOptions RunOptionsOf(const Options& options, const RunInputs& inputs, Console& console,
                        std::stop_token stop) {
    RunOptions run;
    run.resultsPath = options.outputPath;
    run.mobileResultsPath = inputs.mobileOutput;
    run.device = options.device;
    run.homePageUrl = options.homePageUrl;
    run.searchUrlPrefix = options.searchUrlPrefix;
    run.mobileSearchUrlPrefix = options.mobileSearchUrlPrefix;
    run.lookAhead = options.jobs;
    run.verifyRounds = options.verifyRounds;
    run.verifyPause = std::chrono::milliseconds(std::llround(options.verifyPause * 1000));
    run.onVerifyPause = [&console](std::u16string_view region, int keywords,
                                   std::chrono::milliseconds pause) {
        console.Note("slotscope-cli: " + RegionPrefix(region) + std::to_string(keywords) +
                     (keywords == 1 ? " keyword" : " keywords") +
                     " met a verification page; trying again in " +
                     std::to_string((pause.count() + 999) / 1000) + " s");
    };
    run.delay = options.delay;
    run.stop = std::move(stop);
    // A failed page is named by its keyword; the address follows where the connection failed,
    // as it tells which host or proxy did. The side requests' failures change nothing: unsaid.
    run.onPageFailed = [&console](std::u16string_view region, std::u16string_view keyword,
                                  PageKind page, CheckFailure failure, std::string_view reason,
                                  std::string_view address) {
        std::string line = "slotscope-cli: " + RegionPrefix(region) + EncodeUtf8(keyword) +
                           (page == PageKind::Phone ? " (phone): " : " (desktop): ") +
                           std::string(reason);
        if (failure == CheckFailure::Fetch) {
            line += " (" + WithoutUserInfo(address) + ")";
        }
        console.Note(line);
    };
    return run;
}

// Each region's fetcher, through its own proxies and with its own cookies, and its history; the
// machine's own connection alone where no region is named.
struct RunConnections {
    RunConnections(const FetchSettings& settings, const std::vector<Region>& chosen,
                   const std::string& historyPath) {
        const std::vector<Region> own(1);
        for (const Region& region : chosen.empty() ? own : chosen) {
            FetchSettings regional = settings;
            regional.proxies = region.pool;
            fetchers.push_back(std::make_unique<HttpPageFetcher>(std::move(regional)));
            if (!historyPath.empty()) {
                histories.push_back(std::make_unique<HistoryFile>(historyPath, SLOTSCOPE_VERSION));
            }
            regions.push_back({region.name, fetchers.back().get(),
                               historyPath.empty() ? nullptr : histories.back().get(),
                               !region.direct()});
        }
    }

    // The runs' rows in the history, those that have one.
    std::vector<long long> RunIds() const {
        std::vector<long long> ids;
        for (const auto& history : histories) {
            if (history->RunId() != 0) {
                ids.push_back(history->RunId());
            }
        }
        return ids;
    }

    std::vector<std::unique_ptr<HttpPageFetcher>> fetchers;
    std::vector<std::unique_ptr<HistoryFile>> histories;
    std::vector<RunRegion> regions;
};

// Why the run wrote nothing, where it ended before checking.
void SayWhyNothingWasChecked(const RunSummary& summary, const Options& options, Console& console) {
    if (summary.end == RunEnd::NoKeywords) {
        console.Line("slotscope-cli: no keywords in " + (options.keywordsPath == "-"
                                                             ? std::string("standard input")
                                                             : "'" + options.keywordsPath + "'"));
    } else if (summary.end == RunEnd::ResultsFileUnavailable) {
        console.Line("slotscope-cli: cannot create the results file '" + summary.unopenedPath +
                     "'");
    } else if (summary.end == RunEnd::ResultsFileInUse) {
        console.Line("slotscope-cli: cannot write the results file '" + summary.unopenedPath +
                     "': another program (such as Excel) has it open; close it and try again");
    }
}

// What became of a region's history, or how its slots moved since its last run.
void SayWhatTheHistoryHolds(const RegionOutcome& region, const Options& options, Console& console) {
    const RunSummary& summary = region.summary;
    const std::string prefix = "slotscope-cli: " + RegionPrefix(region.name);
    if (!summary.historyProblem.empty()) {
        // Every keyword's row may be there though the rounds' revisions or the end are not: the
        // problem then says which.
        const int kept = summary.historyKeywords;
        console.Line(prefix + summary.historyProblem +
                     (kept <= 0 ? "; this run was not kept in it"
                      : kept < summary.checked
                          ? "; it holds this run's first " + std::to_string(kept) + " of " +
                                std::to_string(summary.checked) + " keywords"
                          : ""));
    } else if (summary.changes.compared) {
        console.Line(prefix + "since the last run, " +
                     (options.device == Device::Mobile ? "top" : "left") +
                     " slots: " + ChangesLine(summary.changes));
    }
}

int ExitCodeOf(const RunSummary& summary) {
    switch (summary.end) {
        case RunEnd::Completed:
            return summary.failed > 0 || summary.writeFailed || !summary.historyProblem.empty()
                       ? kExitSomeFailed
                       : kExitOk;
        case RunEnd::Stopped:
            return kExitStopped;
        case RunEnd::NoWebsite:
        case RunEnd::BadWebsite:
        case RunEnd::NoKeywords:
        case RunEnd::ResultsFileUnavailable:
        case RunEnd::ResultsFileInUse:
            return kExitUsage;
        case RunEnd::Aborted:
            return kExitSomeFailed;
    }
    return kExitSomeFailed;
}

}  // namespace

int RunOnce(const Options& options, const std::stop_token& stop, Console& console,
            RunState& state) {
    tl::expected<RunInputs, std::string> inputs = TakeInputs(options, console, state);
    if (!inputs) {
        console.Line("slotscope-cli: " + inputs.error());
        return kExitUsage;
    }
    ConsoleFields fields(KeywordListFromBytes(inputs->keywordBytes), DecodeUtf8(options.site),
                         console);
    inputs->keywordBytes = std::string();

    const tl::expected<FetchSettings, std::string> settings = FetchSettingsOf(options, console);
    if (!settings) {
        console.Line("slotscope-cli: " + settings.error());
        return kExitUsage;
    }
    const RunOptions run = RunOptionsOf(options, *inputs, console, stop);
    RunConnections connections(*settings, inputs->regions, inputs->historyPath);
    const RegionsSummary summary = RunRegionsCheck(fields, connections.regions, run);

    SayWhyNothingWasChecked(summary.total, options, console);
    for (const RegionOutcome& region : summary.regions) {
        SayWhatTheHistoryHolds(region, options, console);
    }
    console.Line(EncodeUtf8(fields.Status()));
    const int exit = ExitCodeOf(summary.total);
    // A run that finished is told; one stopped, or ended before it checked, is not.
    const bool told = summary.total.end != RunEnd::Completed || inputs->channels.empty() ||
                      TellOfRuns(inputs->channels, options.alert, inputs->historyPath, options.site,
                                 connections.RunIds(), console, stop);
    if (stop.stop_requested()) {
        return kExitStopped;  // a stop while the alerts went out
    }
    return told || exit != kExitOk ? exit : kExitSomeFailed;
}

std::string RunOptionsError(const Options& options) {
    if (tl::expected<RunInputs, std::string> inputs = SettledInputs(options); !inputs) {
        return inputs.error();
    }
    std::string bytes;
    return options.keywordsPath == "-" ? std::string()
                                       : ReadKeywordBytes(options.keywordsPath, bytes);
}

}  // namespace slotscope::cli
