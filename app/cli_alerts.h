#pragma once

// slotscope-cli's alerts: the channels --notify names, each run told to them as --alert says,
// and notify-test.

#include <stop_token>
#include <string>
#include <tl/expected.hpp>
#include <vector>

#include "alerts/alert_channels.h"
#include "alerts/alert_message.h"
#include "app/cli_console.h"
#include "net/alert_send.h"

namespace slotscope::cli {

// The largest channels file read.
inline constexpr std::size_t kMaxChannelsFileBytes = std::size_t{1024} * 1024;

// The channels of the file at `path`; or the usage error, which names the file and the line and
// never a token, a secret or a password.
tl::expected<std::vector<AlertChannel>, std::string> ChannelsOf(const std::string& path);

// Tells `channels` of each of `runs` (their rows in the history at `historyPath`, runs of `site`)
// that `rule` calls for, one message per run and channel. False when a channel did not take a
// message: the console names the channel and why.
bool TellOfRuns(const std::vector<AlertChannel>& channels, AlertRule rule,
                const std::string& historyPath, const std::string& site,
                const std::vector<long long>& runs, Console& console, const std::stop_token& stop,
                const AlertSendSettings& settings = {});

// notify-test: a test message to each channel of the file; 0 when every one took it, 1 when one
// did not, 2 when the file cannot be read.
int NotifyTestCommand(const std::string& notifyPath);

}  // namespace slotscope::cli
