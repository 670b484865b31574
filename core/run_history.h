#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/keyword_run.h"
#include "page/page_kind.h"
#include "page/result_page.h"

namespace slotscope {

// A keyword's outcome on one page, as its line in the results file says it.
struct KeywordOutcome {
    int order = 0;  // its place among the run's keywords, from 1
    std::u16string keyword;
    PageKind page = PageKind::Desktop;
    std::u16string left;  // the labels as written
    std::u16string right;
    CheckFailure failure = CheckFailure::None;
    ShownSites sites;           // none where the check failed
    std::string failureReason;  // why it failed, in English for a log line; empty where it did not
    ShownAds ads = {};          // each paid listing's site, title and text; none where it failed
};

// What a run keeps of itself beyond its results files. The run calls it on its own thread, in
// order: Begin once its files are open; for each keyword Hold before its lines are written and
// Record after; Revise after the files were rewritten by the rounds after verification; End
// last. A history that cannot be kept never stops the run: it says why through problem().
class RunHistory {
  public:
    virtual ~RunHistory() = default;
    // A run of `site` on `device` from `region` (empty for the machine's own connection). A stop
    // request ends any wait for the history at once.
    virtual void Begin(std::u16string_view site, Device device, std::u16string_view region,
                       std::stop_token stop) = 0;
    // Takes the history for the keyword whose lines are about to be written, waiting here for
    // another run that holds it, so that its rows follow the lines at once: a run killed between
    // the two loses no more than a commit's time.
    virtual void Hold() = 0;
    // A keyword's rows, one per page, kept together (in what Hold took, where it did).
    virtual void Record(const std::vector<KeywordOutcome>& outcomes) = 0;
    virtual void Revise(const std::vector<KeywordOutcome>& outcomes) = 0;
    virtual void End(const RunSummary& summary) = 0;
    // Why the run's history was not (all) kept, in English for a log line; empty when it was.
    virtual std::string problem() const = 0;
    // The keywords of the run whose rows the history holds.
    virtual int keptKeywords() const = 0;
    // The left (desktop) or top (phone) sides' changes against earlier runs, as recorded.
    virtual ChangeCounts changes() const = 0;
    // The run's row in the history once begun, for what reads it back (the alerts); 0 where the
    // history keeps none.
    virtual long long RunId() const { return 0; }

  protected:
    RunHistory() = default;
    RunHistory(const RunHistory&) = default;
    RunHistory& operator=(const RunHistory&) = default;
};

}  // namespace slotscope
