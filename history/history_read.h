#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tl/expected.hpp>
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
    std::string region;  // the region it checked from; empty for the machine's own connection
};

// A side's change against the earlier run, as kept: "up" and "down" with `by`, or "same",
// "gained", "lost", "none", "first", "failed".
struct StoredChange {
    std::string kind;
    std::optional<int> by;
};

// A paid listing as kept: the site it shows, its title and its text (UTF-8, as the page showed
// them; see ListingAd).
struct StoredAd {
    std::string site;
    std::string title;
    std::string text;

    friend bool operator==(const StoredAd&, const StoredAd&) = default;
};

// One side of a keyword's check: what its line said, and the paid listings seen there (none
// known for a failed check, or a row older than the listings' columns; `ads` none also for a row
// older than theirs).
struct StoredSide {
    std::string label;
    std::optional<int> slot;
    std::optional<int> listings;
    std::optional<std::vector<std::string>> sites;
    StoredChange change;
    std::optional<std::vector<StoredAd>> ads;
};

// A keyword's check in a run, on one page.
struct StoredResult {
    long long run = 0;
    std::string page;  // "pc" or "mobile"
    int order = 0;
    std::string keyword;
    std::optional<std::string> failed;  // "fetch", "blocked", "unreadable", "not_result_page"
    StoredSide left;
    StoredSide right;
    std::optional<std::string> failureReason;  // why it failed; unknown for older rows
};

// A run's totals for its charts, on the run's own page (the phone's for a phone run, else the
// desktop's): the keywords checked without failure, those of them holding a left (top) slot, the
// sum of those slots and the deepest of them.
struct RunTotals {
    int checked = 0;
    int holding = 0;
    long long slotSum = 0;
    int deepest = 0;
};

// Reads a history file, only for reading and in one snapshot, a row at a time: however long
// the history, only what the caller keeps is held.
class HistoryReader final {
  public:
    // Opens the file; or why not, in English: it is missing, is not a Slotscope history, was
    // made by a newer version, or cannot be read.
    static tl::expected<std::unique_ptr<HistoryReader>, std::string> Open(
        const std::string& utf8Path);
    ~HistoryReader();
    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    // The last `lastRuns` runs of `site` (0: all; the site, as typed or stored, compared as
    // SiteKey gives it: "www.shop.cn" and "http://Shop.cn/" are one), from `region` where one is
    // named, oldest first; or why they could not be read.
    tl::expected<std::vector<StoredRun>, std::string> Runs(
        const std::string& site, int lastRuns, const std::optional<std::string>& region = {});

    // Every result of `runs` (a site's, oldest first, as Runs gives them) by run, then order,
    // then page, desktop first; `each` is handed one at a time and stops the reading by
    // returning false.
    using EachResult = std::function<bool(const StoredResult&)>;
    bool Results(const std::vector<StoredRun>& runs, const EachResult& each);
    // The results of one run, likewise.
    bool ResultsOfRun(long long run, const EachResult& each);
    // A keyword's results on one page in the runs from `firstRun` on, of any site, oldest first.
    bool ResultsOfKeyword(const std::string& page, const std::string& keyword, long long firstRun,
                          const EachResult& each);
    // A keyword's last check on `page` before `run` of `site` that did not fail, from the run's
    // region: the check the run's changes compare with. `each` is handed it where there is one.
    bool CheckBefore(const std::string& site, const StoredRun& run, const std::string& page,
                     const std::string& keyword, const EachResult& each);
    // The keywords (page and keyword) that `runs` of `site` checked but their last did not, the
    // most recently checked first; `each` is handed one at a time. The runs are from one region
    // on one main page (the phone's, or the desktop's), as a report's part shows them.
    bool KeywordsBeforeTheLast(
        const std::string& site, const std::vector<StoredRun>& runs,
        const std::function<bool(const std::string& page, const std::string& keyword)>& each);
    // Each run's totals, by the runs' order.
    std::optional<std::vector<RunTotals>> Totals(const std::vector<StoredRun>& runs);

    // Why a read failed.
    const std::string& problem() const;

  private:
    class Database;
    explicit HistoryReader(std::unique_ptr<Database> database, int version);

    std::unique_ptr<Database> database_;
    int version_;
};

}  // namespace slotscope
