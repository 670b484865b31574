#pragma once

// Sends the alerts' requests: posts to the robots and webhooks over HTTPS, hands mail to an SMTP
// server; a channel that fails is tried once more after a pause.

#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

#include "alerts/run_alerts.h"

namespace slotscope {

struct AlertSendSettings {
    std::chrono::milliseconds timeout{20'000};    // for one try at one channel
    std::chrono::milliseconds retryPause{5'000};  // before the second try
};

// How one channel took its message.
struct AlertDelivery {
    std::string channel;  // as shown (AlertChannel::Shown)
    std::string about;    // the job's
    std::string problem;  // why it was not taken, never quoting a token or password; empty: taken
};

// Sends each request to its channel, in turn. A channel that fails (no connection, an HTTP
// error, the platform's error code in its answer, a refusal of the mail server) is tried once
// more after settings.retryPause; a stop ends the wait and the sending at once. Nothing is
// thrown for a channel's failure.
std::vector<AlertDelivery> SendAlerts(const std::vector<AlertJob>& jobs,
                                      const AlertSendSettings& settings,
                                      const std::stop_token& stop);

}  // namespace slotscope
