#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace slotscope {

// A run as the history keeps it. Times are UTC, as "2026-12-08T02:11:19Z".
struct StoredRun {
    long long id = 0;
    std::string device;  // "pc", "mobile" or "both"
    std::string started;
    std::optional<std::string> finished;
    std::string ended;  // "finished", "stopped" or "interrupted"
    int keywords = 0;
    int failed = 0;
    int blocked = 0;
};

// A side's change against the earlier run, as kept: "up" and "down" with `by`, or "same",
// "gained", "lost", "none", "first", "failed".
struct StoredChange {
    std::string kind;
    std::optional<int> by;
};

// One side of a keyword's check: what its line said, and the paid listings seen there (none
// known for a failed check, or a row older than the listings' columns).
struct StoredSide {
    std::string label;
    std::optional<int> slot;
    std::optional<int> listings;
    std::optional<std::vector<std::string>> sites;
    StoredChange change;
};

// A keyword's check in a run, on one page.
struct StoredResult {
    long long run = 0;
    std::string page;  // "pc" or "mobile"
    int order = 0;
    std::string keyword;
    std::optional<std::string> failed;  // "fetch", "blocked" or "unreadable"
    StoredSide left;
    StoredSide right;
};

// The runs of a site, oldest first, and their results by run, then page, then order. All text
// is UTF-8.
struct SiteHistory {
    std::string site;
    std::vector<StoredRun> runs;
    std::vector<StoredResult> results;
};

// A site as the runs keep it, whether asked for with or without "www.", "http://" or spaces
// around it.
std::string BareSite(std::string_view site);

// Reads the last `lastRuns` runs of `site` (0: all; the site compared without regard to ASCII
// case, with or without "www.") from a history file, opened only for reading. Nothing, with
// `problem` set, when the file is missing, is not a Slotscope history, was made by a newer version,
// or cannot be read.
std::optional<SiteHistory> ReadSiteHistory(const std::string& utf8Path, const std::string& site,
                                           int lastRuns, std::string& problem);

}  // namespace slotscope
