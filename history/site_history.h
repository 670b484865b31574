#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <vector>

#include "history/history_read.h"

namespace slotscope {

// A site's history opened for a file written from it (the report, the workbook).
struct SiteHistory {
    std::unique_ptr<HistoryReader> reader;
    std::vector<StoredRun> runs;  // every run of the site, oldest first
};

// Why there is nothing to write from a site's history.
struct NoSiteHistory {
    bool none = false;    // no history file yet, or no run of the site in it
    std::string problem;  // in English
};

// Opens the history at `utf8HistoryPath` and reads every run of `site`, for a `what` ("report",
// "workbook") to be written at `utf8OutputPath`; refused where that would replace the history
// file or one of its side files.
tl::expected<SiteHistory, NoSiteHistory> OpenSiteHistory(const std::string& utf8HistoryPath,
                                                         const std::string& site,
                                                         const std::string& utf8OutputPath,
                                                         std::string_view what);

// A file named `name` in the history file's folder.
std::string FileBeside(const std::string& utf8HistoryPath, std::string_view name);

}  // namespace slotscope
