#include "app/cli_watch.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <stop_token>
#include <string>

#include "app/cli_console.h"
#include "app/cli_platform.h"
#include "app/cli_run.h"
#include "base/local_clock.h"
#include "base/stop_wait.h"
#include "core/schedule.h"

namespace slotscope::cli {
namespace {

using Clock = std::chrono::system_clock;

// "2026-12-09 14:00:00", as the local clock reads it.
std::string LocalText(Clock::time_point moment) {
    std::tm local{};
    if (!ToLocalTime(Clock::to_time_t(moment), local)) {
        return "(unknown time)";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

// Waits until `moment`; false when a stop came first.
bool WaitUntil(Clock::time_point moment, const std::stop_token& stop) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(moment - Clock::now());
    return WaitUnlessStopped(std::max(left, std::chrono::milliseconds(0)), stop) &&
           !stop.stop_requested();
}

}  // namespace

int WatchCommand(const Options& options, const WatchOptions& watch) {
    Console console(options.quiet);
    // A fault of the options is said now, not after the wait for the first run, and then again
    // at every run.
    if (const std::string error = RunOptionsError(options); !error.empty()) {
        console.Line("slotscope-cli: " + error);
        return kExitUsage;
    }
    std::stop_source stop;
    StopOnInterrupt(stop, kExitStopped);
    RunState state;
    const Schedule& schedule = watch.schedule;
    Clock::time_point earliest = Clock::now();
    bool allWell = true;
    for (int run = 0; watch.times == 0 || run < watch.times; ++run) {
        const auto next = NextStart(schedule, earliest, &ReadLocalClock);
        if (!next) {
            console.Line("slotscope-cli: the schedule leaves no time of the week to start a run");
            return kExitUsage;
        }
        console.Line("slotscope-cli: next run at " + LocalText(*next));
        if (!WaitUntil(*next, stop.get_token())) {
            return kExitStopped;
        }
        const int exit = RunOnce(options, stop.get_token(), console, state);
        if (exit == kExitStopped || stop.stop_requested()) {
            return kExitStopped;
        }
        allWell = allWell && exit == kExitOk;
        // The next is due an interval after this one was; those due while it went on are
        // skipped.
        Clock::time_point due = *next + schedule.every;
        int skipped = 0;
        for (const Clock::time_point now = Clock::now(); due < now; due += schedule.every) {
            ++skipped;
        }
        const bool more = watch.times == 0 || run + 1 < watch.times;
        if (skipped > 0 && more) {
            console.Line("slotscope-cli: skipped " + std::to_string(skipped) +
                         (skipped == 1 ? " run" : " runs") +
                         " due while the one before was still going");
        }
        earliest = due;
    }
    return allWell ? kExitOk : kExitSomeFailed;
}

}  // namespace slotscope::cli
