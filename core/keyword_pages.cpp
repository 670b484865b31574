#include "core/keyword_pages.h"

#include <algorithm>

#include "core/failure_counts.h"

namespace slotscope {

CheckFailure KeywordPages::Failure() const {
    for (const FailureCount& counted : kFailureCounts) {
        if (std::any_of(pages.begin(), pages.end(),
                        [&](const PageOutcome& page) { return page.failure == counted.kind; })) {
            return counted.kind;
        }
    }
    return CheckFailure::None;
}

KeywordOutcome KeywordPages::Outcome(std::size_t page) const {
    const PageOutcome& outcome = pages[page];
    return {
        order,           keyword,       outcome.page,   outcome.labels.left, outcome.labels.right,
        outcome.failure, outcome.sites, outcome.reason, outcome.ads};
}

PageOutcome ReadPage(const FetchResult& fetched, const PageRequest& request,
                     std::u16string_view keyword, std::u16string_view site,
                     const RunOptions& options) {
    PageOutcome outcome;
    outcome.page = request.options.page;
    if (!fetched.ok()) {
        outcome.failure = fetched.failure().kind == FetchFailureKind::Blocked
                              ? CheckFailure::Blocked
                              : CheckFailure::Fetch;
        outcome.reason = fetched.failure().reason;
    } else {
        PageCheck check =
            fetched.input().empty()
                ? CheckResultPage(fetched.body(), site, request.options.page)
                : CheckResultPage(fetched.body(), fetched.input(), site, request.options.page);
        switch (check.outcome) {
            case PageCheck::Outcome::Read:
                outcome.labels = std::move(check.labels);
                outcome.sites = std::move(check.sites);
                outcome.ads = std::move(check.ads);
                return outcome;
            case PageCheck::Outcome::NotResultPage:
                // An empty answer, a login wall or a script stub: nothing was checked.
                outcome.failure = CheckFailure::NotResultPage;
                outcome.reason = "not a result page";
                break;
            case PageCheck::Outcome::Unreadable:
                outcome.failure = CheckFailure::Unreadable;
                outcome.reason =
                    "the result page could not be read (markup broken beyond any real page)";
                break;
        }
    }
    if (options.onPageFailed) {
        options.onPageFailed(options.region, keyword, outcome.page, outcome.failure, outcome.reason,
                             request.address);
    }
    return outcome;
}

void ShowLabels(RunFields& fields, KeywordPages& keyword) {
    for (PageOutcome& page : keyword.pages) {
        // The previous page must not stand in for one that failed.
        const bool read = page.read();
        fields.SetLeftLabel(read ? page.labels.left : std::u16string(kFetchFailedLabel));
        fields.SetRightLabel(read ? page.labels.right : std::u16string(kFetchFailedLabel));
        page.labels = {std::u16string(TrimSpaces(fields.LeftLabel())),
                       std::u16string(TrimSpaces(fields.RightLabel()))};
    }
}

}  // namespace slotscope
