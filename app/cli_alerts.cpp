#include "app/cli_alerts.h"

#include <chrono>
#include <utility>

#include "alerts/run_alerts.h"
#include "app/cli_files.h"

namespace slotscope::cli {
namespace {

// Sends and says on the console what did not arrive; false when something did not.
bool Send(const std::vector<AlertJob>& jobs, Console& console, const std::stop_token& stop,
          const AlertSendSettings& settings) {
    bool delivered = true;
    for (const AlertDelivery& delivery : SendAlerts(jobs, settings, stop)) {
        if (!delivery.problem.empty()) {
            console.Line("slotscope-cli: " + delivery.channel + " did not take " + delivery.about +
                         ": " + delivery.problem);
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
    const RunAlerts alerts =
        AlertsForRuns(historyPath, site, runs, channels, rule, std::chrono::system_clock::now());
    for (const std::string& problem : alerts.problems) {
        console.Line("slotscope-cli: no alert sent: " + problem);
    }
    return Send(alerts.jobs, console, stop, settings) && alerts.problems.empty();
}

int NotifyTestCommand(const std::string& notifyPath) {
    Console console(false);
    const auto channels = ChannelsOf(notifyPath);
    if (!channels) {
        console.Line("slotscope-cli: " + channels.error());
        return 2;
    }
    bool delivered = true;
    for (const AlertDelivery& delivery :
         SendAlerts(TestAlerts(*channels, std::chrono::system_clock::now()), {}, {})) {
        console.Line("slotscope-cli: " + delivery.channel + ": " +
                     (delivery.problem.empty()
                          ? "took the test message"
                          : "did not take the test message: " + delivery.problem));
        delivered = delivered && delivery.problem.empty();
    }
    return delivered ? 0 : 1;
}

}  // namespace slotscope::cli
