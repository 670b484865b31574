#pragma once

#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

#include "core/fetch_ahead.h"
#include "core/page_fetcher.h"
#include "core/run_fields.h"
#include "core/run_limits.h"
#include "core/search_address.h"
#include "core/slot_change.h"

namespace slotscope {

class RunHistory;

// The label both sides get for a keyword whose page could not be fetched.
inline constexpr std::u16string_view kFetchFailedLabel = u"查询失败";

// How a keyword's check failed on one page.
enum class CheckFailure {
    None,
    Fetch,          // the page could not be fetched
    Blocked,        // a verification page came instead
    Unreadable,     // the page came but could not be read (markup broken beyond any real page)
    NotResultPage,  // the page came but was no result page (an empty answer, a login wall)
};

// Which result pages a run checks for every keyword.
enum class Device {
    Pc,      // the desktop page, into the results file
    Mobile,  // the phone page, into the phone's results file
    Both,    // both pages, into both files
};

struct RunOptions {
    std::string resultsPath;        // the results file, created or truncated by every run
    std::string mobileResultsPath;  // the phone's results file, likewise
    Device device = Device::Pc;
    // Where the pages are fetched from, as the history keeps it: a region's name, or empty for
    // the machine's own connection.
    std::u16string region;
    std::string homePageUrl{HomePageUrl};
    std::string searchUrlPrefix{SearchUrlPrefix};
    std::string mobileSearchUrlPrefix{MobileSearchUrlPrefix};
    // Pages held at once, the one being analysed included; the fewest, 1, is one at a time.
    int lookAhead = limits::kFewestPagesAtOnce;
    Pacing delay;  // a pause before each search request on each connection
    // Once a page meets a verification page, the rest of the first pass is fetched one page at
    // a time; off where the fetcher slows down only the proxy that met it (a region's pool).
    bool oneAtATimeAfterVerification = true;
    // Keywords that met a verification page are checked again after the rest, one page at a
    // time, up to this many rounds, the first after verifyPause and each later one after twice
    // the pause before it. The results files are then rewritten with the final lines.
    int verifyRounds = limits::kVerifyRoundsUnlessAsked;
    std::chrono::milliseconds verifyPause = limits::kVerifyPause;
    // Told when a round's pause begins: the run's region, how many keywords wait, and for how
    // long.
    std::function<void(std::u16string_view region, int keywords, std::chrono::milliseconds pause)>
        onVerifyPause;
    // Told after each keyword's lines are written: how many keywords are done.
    std::function<void(int checked)> onChecked;
    // Where the run keeps its outcomes beyond the results files; none: nowhere.
    RunHistory* history = nullptr;
    std::stop_token stop;  // ends the run after the keyword under way, keeping finished lines
    // Told of each page of a keyword that failed: the run's region, what the page met, and why
    // (in English, for a log line), with the page's address.
    std::function<void(std::u16string_view region, std::u16string_view keyword, PageKind page,
                       CheckFailure failure, std::string_view reason, std::string_view address)>
        onPageFailed;
};

enum class RunEnd {
    Completed,               // every entry was handled
    Stopped,                 // a stop request ended the run early
    NoWebsite,               // the website field was blank; nothing was fetched or written
    BadWebsite,              // the website field names no host (see SiteToCheck); likewise
    NoKeywords,              // the list holds no keyword; likewise
    ResultsFileUnavailable,  // the results file could not be created; nothing was fetched
    ResultsFileInUse,        // another program (Excel) holds the results file; nothing was fetched
    Aborted,  // something failed that no keyword accounts for (memory ran out); lines are kept
};

struct RunSummary {
    RunEnd end = RunEnd::Completed;
    int keywords = 0;  // non-blank entries in the list
    int checked = 0;   // keywords whose lines were written (or attempted, when writes failed)
    int failed = 0;    // keywords with a page that could not be fetched or read
    // Of those, by what they met: a verification page on any page, else a failed fetch, else a
    // page that was no result page, else one that could not be read.
    int blocked = 0;
    int fetchFailed = 0;
    int notResultPages = 0;
    int unreadable = 0;
    bool writeFailed = false;
    std::string unopenedPath;    // the results file that could not be opened, if any
    std::u16string abortReason;  // why the run was aborted, as the status text says it
    std::string historyProblem;  // why the history was not (all) kept; empty when it was
    int historyKeywords = 0;     // the keywords whose rows the history holds
    ChangeCounts changes;        // the first page's left or top sides against earlier runs
};

// Checks every keyword of the list: fetches its result pages (the desktop's, the phone's or both,
// by options.device), stores each page's position labels in the label fields in turn, writes its
// line to that page's results file and updates the progress text, which counts keywords; at the
// end writes the status text. A run opens all its files before it empties any, and fetches
// nothing unless all opened. The keyword list and the website are read once, when the run starts.
// A page that is no result page (see IsResultPage) is a failed keyword. Pages are fetched up to
// options.lookAhead ahead, but every entry is analysed, written and reported strictly in list
// order, so the output does not depend on how fetches overlap. Nothing is thrown: a failure of the
// run itself ends it as Aborted, keeping every finished line, with the reason in the status text.
RunSummary RunKeywordCheck(RunFields& fields, PageFetcher& fetcher, const RunOptions& options);

// What a caught exception says to the user, for a status text: "内存不足" for memory running out.
std::u16string DescribeFailure(const std::exception_ptr& failure);

// Walks the entries of a keyword list in order, as views into the list: every line break (CR LF,
// LF or a lone CR, as Windows, Linux and old Macs end lines) and every ASCII comma separates two
// entries. An empty list has no entries. Walking instead of splitting keeps a long list from
// being held twice.
class KeywordEntries final {
  public:
    explicit KeywordEntries(std::u16string_view keywordList)
        : list_(keywordList), done_(keywordList.empty()) {}

    // The next entry, untrimmed; false after the last.
    bool Next(std::u16string_view& entry);

  private:
    std::u16string_view list_;
    std::size_t position_ = 0;
    bool done_;
};

// The keyword an entry stands for: without control characters other than tab (C0, DEL and C1: a
// NUL from a file read in the wrong encoding, a stray CR, a NEL), which no search means and no
// results line may hold, and trimmed of spaces. Empty for a blank entry.
std::u16string KeywordOf(std::u16string_view entry);
// The same into `keyword`, whose room is used again: a long list's walks allocate little.
void KeywordOf(std::u16string_view entry, std::u16string& keyword);

// The text with every line break as CR LF: a bare LF or a lone CR becomes CR LF, CR LF stays.
// Text from a file or an editor that ends lines otherwise reaches the run this way.
std::u16string WithCrLfLineBreaks(std::u16string_view text);

// Removes spaces (U+0020) and full-width spaces (U+3000) from both ends.
std::u16string_view TrimSpaces(std::u16string_view text);

}  // namespace slotscope
