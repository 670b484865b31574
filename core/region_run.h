#pragma once

// A run over regions: every keyword checked as a searcher in each region sees it, each region
// through its own connections, side by side.

#include <string>
#include <vector>

#include "core/keyword_run.h"
#include "core/page_fetcher.h"
#include "core/run_history.h"

namespace slotscope {

// A place the pages are fetched from.
struct RunRegion {
    std::u16string name;  // empty for the machine's own connection
    // Its fetcher, which never sends a request of this region over another's connection.
    PageFetcher* fetcher = nullptr;
    RunHistory* history = nullptr;  // where its run is kept; none: nowhere
    // The fetcher slows down a proxy that met a verification page itself, so the run need not
    // slow down the whole region (see RunOptions::oneAtATimeAfterVerification).
    bool pool = false;
};

// How each region's run ended, in the regions' order.
struct RegionOutcome {
    std::u16string name;
    RunSummary summary;
    // Its results files' names, and those whose writes failed.
    std::vector<std::u16string> files;
    std::vector<std::u16string> failedFiles;
};

struct RegionsSummary {
    // The run as a whole: its end, the keywords, those done in every region (checked), and
    // the failures of all regions together.
    RunSummary total;
    std::vector<RegionOutcome> regions;
};

// Checks every keyword in every region at once, each region's run as RunKeywordCheck's with
// the region's fetcher and history, into its own results files: those of `options` where the
// region is the machine's own connection, else named after them (RegionResultsPath). Every
// region's files are opened before any is emptied. The progress text counts the keywords done
// in every region; the status text at the end says how each region fared. `options.history`
// plays no part: each region names its own.
RegionsSummary RunRegionsCheck(RunFields& fields, const std::vector<RunRegion>& regions,
                               const RunOptions& options);

}  // namespace slotscope
