#pragma once

#include <array>

#include "core/keyword_run.h"

namespace slotscope {

// A kind of failure and the summary's count of the keywords that failed so.
struct FailureCount {
    CheckFailure kind = CheckFailure::None;
    int RunSummary::*count = nullptr;
};

// The failures a run counts, from the one that weighs most: a keyword whose pages failed in
// several ways counts as the first of them, and the captions name them in this order.
inline constexpr std::array<FailureCount, 4> kFailureCounts{{
    {CheckFailure::Blocked, &RunSummary::blocked},
    {CheckFailure::Fetch, &RunSummary::fetchFailed},
    {CheckFailure::NotResultPage, &RunSummary::notResultPages},
    {CheckFailure::Unreadable, &RunSummary::unreadable},
}};

// Counts a keyword that failed as `failure` (nothing for None) in the summary.
inline void CountFailure(CheckFailure failure, RunSummary& summary) {
    for (const FailureCount& counted : kFailureCounts) {
        if (counted.kind == failure) {
            ++(summary.*counted.count);
            ++summary.failed;
        }
    }
}

// Forgets every failure counted, for a count afresh.
inline void ClearFailureCounts(RunSummary& summary) {
    summary.failed = 0;
    for (const FailureCount& counted : kFailureCounts) {
        summary.*counted.count = 0;
    }
}

}  // namespace slotscope
