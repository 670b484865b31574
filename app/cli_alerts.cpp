#include "app/cli_alerts.h"

#include <chrono>
#include <utility>

#include "alerts/alert_request.h"
#include "alerts/run_digest.h"
#include "app/cli_files.h"
#include "history/history_read.h"
#include "history/local_time.h"

namespace slotscope::cli {
namespace {

// Sends and says on the console what did not arrive; false when something did not.
bool Send(const std::vector<std::pair<AlertChannel, AlertRequest>>& requests, Console& console,
          const std::stop_token& stop, const AlertSendSettings& settings,
          const std::string& about) {
    bool delivered = true;
    for (const AlertDelivery& delivery : SendAlerts(requests, settings, stop)) {
        if (!delivery.problem.empty()) {
            console.Line("slotscope-cli: " + delivery.channel + " did not take " + about + ": " +
                         delivery.problem);
            delivered = false;
        }
    }
    return delivered;
}

}  // namespace

tl::expected<std::vector<AlertChannel>, std::string> ChannelsOf(const std::string& path) {
    std::string bytes;
    if (std::string error =
            ReadFileNamed("--notify", path, bytes, /*regular=*/true, kMaxChannelsFileBytes);
        !error.empty()) {
        return tl::unexpected(std::move(error));
    }
    auto channels = ReadChannelList(bytes);
    if (!channels) {
        return tl::unexpected("--notify '" + path + "': line " +
                              std::to_string(channels.error().line) + ": " +
                              channels.error().message);
    }
    if (channels->empty()) {
        return tl::unexpected("--notify '" + path + "': names no channel");
    }
    return std::move(*channels);
}

bool TellOfRuns(const std::vector<AlertChannel>& channels, AlertRule rule,
                const std::string& historyPath, const std::string& site,
                const std::vector<long long>& runs, Console& console, const std::stop_token& stop,
                const AlertSendSettings& settings) {
    const auto reader = HistoryReader::Open(historyPath);
    if (!reader) {
        console.Line("slotscope-cli: no alert sent: the history file " + historyPath + ": " +
                     reader.error());
        return false;
    }
    bool delivered = true;
    for (const long long run : runs) {
        const auto digest = DigestOfRun(**reader, site, run);
        if (!digest) {
            console.Line("slotscope-cli: no alert sent: " + digest.error());
            delivered = false;
            continue;
        }
        if (!CallsForMessage(*digest, rule)) {
            continue;
        }
        const AlertNews news{&*digest, rule, LocalTimeText(digest->started)};
        std::vector<std::pair<AlertChannel, AlertRequest>> requests;
        for (const AlertChannel& channel : channels) {
            requests.emplace_back(channel,
                                  RequestFor(channel, news, std::chrono::system_clock::now()));
        }
        const std::string about =
            "the alert" + (digest->region.empty() ? std::string() : " for " + digest->region);
        delivered = Send(requests, console, stop, settings, about) && delivered;
    }
    return delivered;
}

int NotifyTestCommand(const std::string& notifyPath) {
    Console console(false);
    const auto channels = ChannelsOf(notifyPath);
    if (!channels) {
        console.Line("slotscope-cli: " + channels.error());
        return 2;
    }
    std::vector<std::pair<AlertChannel, AlertRequest>> requests;
    for (const AlertChannel& channel : *channels) {
        requests.emplace_back(channel,
                              RequestFor(channel, AlertNews{}, std::chrono::system_clock::now()));
    }
    bool delivered = true;
    for (const AlertDelivery& delivery : SendAlerts(requests, {}, {})) {
        console.Line("slotscope-cli: " + delivery.channel + ": " +
                     (delivery.problem.empty()
                          ? "took the test message"
                          : "did not take the test message: " + delivery.problem));
        delivered = delivered && delivery.problem.empty();
    }
    return delivered ? 0 : 1;
}

}  // namespace slotscope::cli
