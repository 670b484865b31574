// The rounds after verification pages: keywords that met one are checked again, one page at a
// time after a pause, and the files are then replaced by ones with every keyword's final lines.

#include <algorithm>
#include <chrono>
#include <random>

#include "base/stop_wait.h"
#include "core/failure_counts.h"
#include "core/run_captions.h"
#include "core/run_history.h"
#include "core/run_steps.h"
#include "page/own_site.h"

namespace slotscope {

// Up to options.verifyRounds rounds, the first after options.verifyPause and each later one
// after twice the pause before it. A file that cannot be replaced (a device, a pipe) keeps its
// lines, and then there are no rounds, so that the caption and the exit status tell what the
// file holds.
void KeywordRun::VerifyRounds() {
    random_.seed(std::random_device{}());
    std::chrono::milliseconds pause = options_.verifyPause;
    for (int round = 0;
         regularFiles_ && round < options_.verifyRounds && !stopped() && !summary_.writeFailed;
         ++round, pause *= 2) {
        const std::vector<std::size_t> waiting = BlockedKeywords();
        if (waiting.empty()) {
            return;
        }
        if (!PauseBeforeRound(waiting.size(), pause)) {
            summary_.end = RunEnd::Stopped;
            return;
        }
        for (const std::size_t k : waiting) {
            std::optional<KeywordPages> retried = Retry(checked_[k]);
            if (!retried) {
                summary_.end = RunEnd::Stopped;
                return;
            }
            ShowLabels(fields_, *retried);
            checked_[k] = std::move(*retried);
        }
    }
}

// The keywords that met a verification page, by index into checked_.
std::vector<std::size_t> KeywordRun::BlockedKeywords() const {
    std::vector<std::size_t> waiting;
    for (std::size_t k = 0; k < checked_.size(); ++k) {
        if (checked_[k].blocked()) {
            waiting.push_back(k);
        }
    }
    return waiting;
}

// Says how many keywords wait and how long, then waits; false when a stop came first.
bool KeywordRun::PauseBeforeRound(std::size_t keywords, std::chrono::milliseconds pause) {
    const int count = static_cast<int>(keywords);
    fields_.SetStatus(VerifyPauseText(count, pause));
    if (options_.onVerifyPause) {
        options_.onVerifyPause(options_.region, count, pause);
    }
    return WaitUnlessStopped(pause, options_.stop);
}

// The keyword with the pages that met a verification page fetched and read again, the others
// keeping what they gave; nothing when a stop cut it short.
std::optional<KeywordPages> KeywordRun::Retry(const KeywordPages& keyword) {
    KeywordPages retried = keyword;
    for (std::size_t page = 0; page < pages_.size(); ++page) {
        if (retried.pages[page].failure != CheckFailure::Blocked) {
            continue;
        }
        if (!PaceRetry()) {
            return std::nullopt;
        }
        const PageRequest request = RequestFor(page, keyword.keyword);
        const FetchResult result =
            fetcher_.FetchPage(request.address, request.options, options_.stop);
        if (!result.ok() && options_.stop.stop_requested()) {
            return std::nullopt;
        }
        retried.pages[page] = ReadPage(result, request, keyword.keyword, site_, options_);
        retried_[page] = 1;
    }
    return retried;
}

// The pause before a request of a round, as options.delay says; false when a stop came first.
bool KeywordRun::PaceRetry() {
    const Pacing& delay = options_.delay;
    if (delay.longest.count() <= 0) {
        return true;
    }
    std::uniform_int_distribution<std::chrono::milliseconds::rep> pick(delay.shortest.count(),
                                                                       delay.longest.count());
    return WaitUnlessStopped(std::chrono::milliseconds(pick(random_)), options_.stop);
}

// After rounds that fetched a page again: the failures counted afresh, and each such page's
// file replaced with every keyword's final lines.
void KeywordRun::ReplaceFiles() {
    if (std::find(retried_.begin(), retried_.end(), 1) == retried_.end()) {
        return;
    }
    ClearFailureCounts(summary_);
    for (const KeywordPages& keyword : checked_) {
        CountFailure(keyword.Failure(), summary_);
    }
    for (std::size_t page = 0; page < pages_.size(); ++page) {
        if (retried_[page] != 0) {
            ReplaceFile(page);
        }
    }
}

void KeywordRun::ReplaceFile(std::size_t page) {
    const std::u16string_view website = TrimmedWebsite(website_);
    std::vector<ResultsLineTexts> lines;
    lines.reserve(checked_.size());
    for (const KeywordPages& keyword : checked_) {
        const PositionLabels& labels = keyword.pages[page].labels;
        lines.push_back({keyword.keyword, website, labels.left, labels.right});
    }
    if (!files_.Replace(pages_[page].kind, lines)) {
        summary_.writeFailed = true;
    } else if (options_.history != nullptr) {
        // The history follows the file it stands beside.
        std::vector<KeywordOutcome> outcomes;
        outcomes.reserve(checked_.size());
        for (const KeywordPages& keyword : checked_) {
            outcomes.push_back(keyword.Outcome(page));
        }
        options_.history->Revise(outcomes);
    }
}

}  // namespace slotscope
