#pragma once

// The alerts of finished runs: each run read back from the history, and a request for every
// channel where the user's rule calls for a message.

#include <chrono>
#include <string>
#include <vector>

#include "alerts/alert_channels.h"
#include "alerts/alert_message.h"
#include "alerts/alert_request.h"

namespace slotscope {

// One message for one channel.
struct AlertJob {
    AlertChannel channel;
    AlertRequest request;
    std::string
        about;  // what it tells of, for a line saying it did not arrive: "the alert for 北京"
};

struct RunAlerts {
    std::vector<AlertJob> jobs;
    std::vector<std::string> problems;  // why a run could not be read back, in English
};

// The messages that tell `channels` of each of `runs` (their rows in the history at
// `historyPath`, runs of `site`) that `rule` calls for, made at `now`.
RunAlerts AlertsForRuns(const std::string& historyPath, const std::string& site,
                        const std::vector<long long>& runs,
                        const std::vector<AlertChannel>& channels, AlertRule rule,
                        std::chrono::system_clock::time_point now);

// A test message for each channel.
std::vector<AlertJob> TestAlerts(const std::vector<AlertChannel>& channels,
                                 std::chrono::system_clock::time_point now);

}  // namespace slotscope
