#include "alerts/run_alerts.h"

#include "alerts/run_digest.h"
#include "history/history_read.h"
#include "history/local_time.h"

namespace slotscope {

RunAlerts AlertsForRuns(const std::string& historyPath, const std::string& site,
                        const std::vector<long long>& runs,
                        const std::vector<AlertChannel>& channels, AlertRule rule,
                        std::chrono::system_clock::time_point now) {
    RunAlerts alerts;
    const auto reader = HistoryReader::Open(historyPath);
    if (!reader) {
        alerts.problems.push_back("the history file " + historyPath + ": " + reader.error());
        return alerts;
    }
    for (const long long run : runs) {
        const auto digest = DigestOfRun(**reader, site, run);
        if (!digest) {
            alerts.problems.push_back(digest.error());
            continue;
        }
        if (!CallsForMessage(*digest, rule)) {
            continue;
        }
        const AlertNews news{&*digest, rule, LocalTimeText(digest->started)};
        for (const AlertChannel& channel : channels) {
            alerts.jobs.push_back(
                {channel, RequestFor(channel, news, now),
                 "the alert" +
                     (digest->region.empty() ? std::string() : " for " + digest->region)});
        }
    }
    return alerts;
}

std::vector<AlertJob> TestAlerts(const std::vector<AlertChannel>& channels,
                                 std::chrono::system_clock::time_point now) {
    std::vector<AlertJob> jobs;
    jobs.reserve(channels.size());
    for (const AlertChannel& channel : channels) {
        jobs.push_back({channel, RequestFor(channel, AlertNews{}, now), "the test message"});
    }
    return jobs;
}

}  // namespace slotscope
