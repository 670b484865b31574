#pragma once

// The limits and defaults of a run, in one place: the command line, the window and the run read
// them from here.

#include <chrono>
#include <cstddef>
#include <string_view>

namespace slotscope::limits {

// Pages fetched at once (one connection each).
inline constexpr int kFewestPagesAtOnce = 1;
inline constexpr int kMostPagesAtOnce = 16;
inline constexpr int kDefaultPagesAtOnce = 3;

// The longest pause before a request that pacing may ask for, in seconds: an hour.
inline constexpr double kLongestPacingSeconds = 60.0 * 60;

// Rounds for keywords that met a verification page, and the pause before the first of them
// (each later round waits twice the pause before it).
inline constexpr int kMostVerifyRounds = 10;
inline constexpr int kDefaultVerifyRounds = 2;
// The rounds of a run whose options name none (RunOptions): the command line and the window
// name kDefaultVerifyRounds, a run driven from code goes without unless it asks.
inline constexpr int kVerifyRoundsUnlessAsked = 0;
inline constexpr std::chrono::milliseconds kVerifyPause{30'000};
inline constexpr double kLongestVerifyPauseSeconds = 60.0 * 60;

// Time allowed for one request, and for a side request (the home page, the address lookup).
inline constexpr std::chrono::milliseconds kRequestTimeout{60'000};
inline constexpr std::chrono::milliseconds kSideRequestTimeout{10'000};
inline constexpr double kLongestTimeoutSeconds = 24.0 * 60 * 60;
// Time a proxy has to take a connection and open the way to the site; one that takes longer
// has failed, and its request goes through another of its pool.
inline constexpr std::chrono::milliseconds kProxyConnectTimeout{15'000};

// The largest body read of one page, and the largest cookie file read.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{16} * 1024 * 1024;
inline constexpr std::size_t kMaxCookieFileBytes = std::size_t{16} * 1024 * 1024;

// The results files' names, beside each other.
inline constexpr std::string_view kResultsFileName = "baidu.csv";
inline constexpr std::string_view kPhoneResultsFileName = "baidu_mobile.csv";
inline constexpr std::u16string_view kResultsFileName16 = u"baidu.csv";
inline constexpr std::u16string_view kPhoneResultsFileName16 = u"baidu_mobile.csv";

}  // namespace slotscope::limits
