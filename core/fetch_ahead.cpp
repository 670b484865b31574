#include "core/fetch_ahead.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "base/numbers.h"
#include "base/stop_wait.h"
#include "core/run_limits.h"

namespace slotscope {

namespace {

// Seconds from 0 to the longest pause in decimal digits, as milliseconds.
std::optional<std::chrono::milliseconds> ParsePause(std::string_view text) {
    const std::optional<double> seconds = DecimalSeconds(text, 0, limits::kLongestPacingSeconds);
    if (!seconds) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(std::llround(*seconds * 1000));
}

}  // namespace

std::optional<Pacing> ParsePacing(std::string_view text) {
    const std::size_t dash = text.find('-');
    const auto shortest = ParsePause(text.substr(0, dash));
    const auto longest =
        dash == std::string_view::npos ? shortest : ParsePause(text.substr(dash + 1));
    if (!shortest || !longest || *shortest > *longest) {
        return std::nullopt;
    }
    return Pacing{*shortest, *longest};
}

FetchAhead::FetchAhead(PageFetcher& fetcher, std::function<PageRequest()> nextRequest,
                       std::size_t count, int lookAhead, std::stop_token stop, Pacing pacing,
                       bool oneAtATimeAfterVerification)
    : fetcher_(fetcher),
      nextRequest_(std::move(nextRequest)),
      count_(count),
      pacing_(pacing),
      oneAtATimeAfterVerification_(oneAtATimeAfterVerification),
      window_(static_cast<std::size_t>(std::max(lookAhead, 1))),
      forwardStop_(std::move(stop), [this] {
          {
              std::lock_guard lock(mutex_);
              stop_.request_stop();
          }
          changed_.notify_all();
      }) {
    const std::size_t workers = std::min(window_, count_);
    try {
        workers_.reserve(workers);
        for (std::size_t i = 0; i < workers; ++i) {
            workers_.emplace_back([this] { Work(); });
        }
    } catch (...) {
        // A thread that cannot start: the ones started must end before the exception leaves,
        // as no destructor will stop them.
        StopWorkers();
        throw;
    }
}

FetchAhead::~FetchAhead() {
    StopWorkers();
}

void FetchAhead::StopWorkers() {
    {
        std::lock_guard lock(mutex_);
        stop_.request_stop();
    }
    changed_.notify_all();
    workers_.clear();  // joins
}

void FetchAhead::Work() {
    const std::stop_token stop = stop_.get_token();
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] {
            // The page the consumer is still working on counts against the window.
            return stop.stop_requested() || nextToStart_ >= count_ ||
                   nextToStart_ + (holding_ ? 1 : 0) < nextToTake_ + window_;
        });
        if (stop.stop_requested() || nextToStart_ >= count_) {
            return;
        }
        const std::size_t index = nextToStart_++;
        try {
            const PageRequest request = nextRequest_();
            const std::chrono::milliseconds pause = NextPause();
            lock.unlock();
            FetchResult result = Pause(pause, stop)
                                     ? fetcher_.FetchPage(request.address, request.options, stop)
                                     : FetchResult::Failed(FetchFailureKind::Stopped, "stopped");
            lock.lock();
            if (oneAtATimeAfterVerification_ && !result.ok() &&
                result.failure().kind == FetchFailureKind::Blocked) {
                window_ = 1;
            }
            done_.emplace(index, std::move(result));
        } catch (...) {
            // Memory running out, say: the consumer meets it at this address, and the pages
            // before it still come as they are fetched. This worker is done.
            if (!lock.owns_lock()) {
                lock.lock();
            }
            if (index < failedAt_) {
                failedAt_ = index;
                failure_ = std::current_exception();
            }
            changed_.notify_all();
            return;
        }
        changed_.notify_all();
    }
}

std::chrono::milliseconds FetchAhead::NextPause() {
    if (pacing_.longest.count() <= 0) {
        return std::chrono::milliseconds(0);
    }
    std::uniform_int_distribution<std::chrono::milliseconds::rep> pick(pacing_.shortest.count(),
                                                                       pacing_.longest.count());
    return std::chrono::milliseconds(pick(random_));
}

bool FetchAhead::Pause(std::chrono::milliseconds pause, const std::stop_token& stop) {
    if (pause.count() <= 0) {
        return true;
    }
    return WaitUnlessStopped(pause, stop);
}

FetchResult FetchAhead::TakeNext() {
    std::unique_lock lock(mutex_);
    if (holding_) {
        holding_ = false;  // the consumer is done with the previous page
        changed_.notify_all();
    }
    const std::size_t index = nextToTake_;
    if (index >= count_) {
        return FetchResult::Failed(FetchFailureKind::Stopped, "no more addresses");
    }
    changed_.wait(lock, [&] {
        return done_.contains(index) || index == failedAt_ ||
               (stop_.stop_requested() && index >= nextToStart_);
    });
    if (index == failedAt_) {
        std::rethrow_exception(failure_);
    }
    ++nextToTake_;
    const auto found = done_.find(index);
    if (found == done_.end()) {
        changed_.notify_all();
        return FetchResult::Failed(FetchFailureKind::Stopped, "stopped before the request");
    }
    FetchResult result = std::move(found->second);
    done_.erase(found);
    holding_ = true;
    lock.unlock();
    changed_.notify_all();
    return result;
}

}  // namespace slotscope
