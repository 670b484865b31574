#pragma once

// slotscope-cli watch: the keyword run started by itself on a schedule.

#include "app/cli_command_line.h"

namespace slotscope::cli {

// Runs the check as `options` says whenever `watch`'s schedule allows, `watch.times` runs or
// until stopped, saying when the next one starts. A run due while the one before goes on is
// skipped, and said so; a failed run never ends the watch. Ctrl-C or SIGTERM ends the run under
// way as it ends any run, then the watch: 130. Else 0 when every run checked everything and told
// its channels, 1 when one did not.
int WatchCommand(const Options& options, const WatchOptions& watch);

}  // namespace slotscope::cli
