#pragma once

// slotscope-cli's keyword run, once, as the command line asks for it; the watch makes one on
// every start of its schedule.

#include <optional>
#include <stop_token>
#include <string>

#include "app/cli_command_line.h"
#include "app/cli_console.h"

namespace slotscope::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 130;

// What one run hands on to the next of a watch: keywords typed on standard input, which can be
// read only once.
struct RunState {
    std::optional<std::string> typedKeywords;
};

// Reads the run's inputs (the keyword file afresh), checks every keyword from every region,
// keeps the history, tells the alert channels, and says how it went on the console. Its exit
// status: 0 all checked and told, 1 something failed, 2 bad usage or nothing run, 130 stopped.
int RunOnce(const Options& options, const std::stop_token& stop, Console& console, RunState& state);

// Why a run with these options could not begin, as RunOnce would say it (a usage error): empty
// when it could. What a watch checks before it waits for its first run.
std::string RunOptionsError(const Options& options);

}  // namespace slotscope::cli
