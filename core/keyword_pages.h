#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/keyword_run.h"
#include "core/page_fetcher.h"
#include "core/run_fields.h"
#include "core/run_history.h"
#include "page/page_kind.h"
#include "page/result_page.h"

namespace slotscope {

// How one page of a keyword came out.
struct PageOutcome {
    PageKind page = PageKind::Desktop;
    // Where the website stands, as the page gave it; once shown, as the label fields held it.
    // Nothing where the check failed: the fields show kFetchFailedLabel for such a page.
    PositionLabels labels;
    ShownSites sites;  // none where the check failed
    ShownAds ads;      // likewise
    CheckFailure failure = CheckFailure::None;
    std::string reason;  // why it failed, in English for a log line; empty where it did not

    bool read() const { return failure == CheckFailure::None; }
};

// A keyword of the run and how each of its pages came out, in the run's order of pages.
struct KeywordPages {
    std::u16string keyword;
    int order = 0;  // among the run's keywords, from 1
    std::vector<PageOutcome> pages;

    // What the keyword counts as among the failures (see kFailureCounts); None when every
    // page was read.
    CheckFailure Failure() const;
    bool blocked() const { return Failure() == CheckFailure::Blocked; }
    // The page's outcome as its line in the results file says it.
    KeywordOutcome Outcome(std::size_t page) const;
};

// What a fetched page gives for a keyword: its labels and the sites its paid listings show, or
// how the check failed on it, which is told to options.onPageFailed.
PageOutcome ReadPage(const FetchResult& fetched, const PageRequest& request,
                     std::u16string_view keyword, std::u16string_view site,
                     const RunOptions& options);

// Shows each page's labels in the label fields in turn (kFetchFailedLabel for a page that
// failed) and keeps them as the fields hold them, for its line.
void ShowLabels(RunFields& fields, KeywordPages& keyword);

}  // namespace slotscope
