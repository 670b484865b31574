#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/page_fetcher.h"

namespace slotscope {

// A pause before each request on each connection, random within [shortest, longest]; none when
// longest is zero.
struct Pacing {
    std::chrono::milliseconds shortest{0};
    std::chrono::milliseconds longest{0};
};

// Pacing as the user writes it: seconds ("2", "0.5") or a range of them ("1-3"), each from 0 to
// an hour (limits::kLongestPacingSeconds), in decimal digits whatever the locale; nothing where
// the text is none of these.
std::optional<Pacing> ParsePacing(std::string_view text);

// Fetches a list of addresses ahead of the consumer, on worker threads, and hands the results
// back strictly in list order. At most `lookAhead` pages are in flight, waiting to be taken or
// still being worked on by the consumer (until it asks for the next one), so memory does not
// grow with the list and a look-ahead of 1 fetches strictly one page at a time. Once a page
// comes back blocked by a verification page, the rest is fetched one page at a time, unless the
// fetcher slows down itself (oneAtATimeAfterVerification false).
class FetchAhead final {
  public:
    // nextRequest() gives the requests in list order, `count` of them; it is called once per
    // request just before that fetch (on a worker thread, never two calls at once), so a long
    // list is never held as addresses.
    // Each worker stands for one connection and pauses as `pacing` says before each request; a
    // stop ends a pause at once.
    FetchAhead(PageFetcher& fetcher, std::function<PageRequest()> nextRequest, std::size_t count,
               int lookAhead, std::stop_token stop, Pacing pacing = {},
               bool oneAtATimeAfterVerification = true);
    ~FetchAhead();
    FetchAhead(const FetchAhead&) = delete;
    FetchAhead& operator=(const FetchAhead&) = delete;

    // Blocks until the result for the next address in order is there and returns it. After a
    // stop request, an address whose fetch never started comes back as Stopped. What a fetch
    // threw on a worker is thrown here, on the consumer's thread, when its address comes up.
    FetchResult TakeNext();

  private:
    void Work();
    void StopWorkers();
    // The pause before the next request; called with the mutex held.
    std::chrono::milliseconds NextPause();
    // Waits `pause`; false when a stop came first.
    static bool Pause(std::chrono::milliseconds pause, const std::stop_token& stop);

    PageFetcher& fetcher_;
    const std::function<PageRequest()> nextRequest_;
    const std::size_t count_;
    const Pacing pacing_;
    const bool oneAtATimeAfterVerification_;
    std::minstd_rand random_{std::random_device{}()};
    std::stop_source stop_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t window_;
    std::size_t nextToStart_ = 0;
    std::size_t nextToTake_ = 0;
    bool holding_ = false;  // the consumer has the last page taken and has not asked again
    std::map<std::size_t, FetchResult> done_;
    // The first address (in list order) whose fetch threw, and what it threw.
    std::size_t failedAt_ = static_cast<std::size_t>(-1);
    std::exception_ptr failure_;

    // After the members it touches: it may run at once if the run is already stopped.
    std::stop_callback<std::function<void()>> forwardStop_;

    std::vector<std::jthread> workers_;  // last, so they are joined before the rest goes
};

}  // namespace slotscope
