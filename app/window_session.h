#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "alerts/run_alerts.h"
#include "base/text_codec.h"
#include "core/build_config.h"
#include "core/search_address.h"
#include "history/history_file.h"
#include "history/history_report.h"
#include "net/alert_send.h"
#include "net/cookie_file.h"
#include "net/page_fetch.h"
#include "ui/window_run.h"
#include "workbook/site_workbook.h"

namespace slotscope {

// The user's cookie text read for the built-in search hosts, desktop and phone.
inline SessionCookies WindowSessionCookies(std::string_view cookie) {
    return ReadSessionCookies(cookie, {HostOf(SearchUrlPrefix), HostOf(MobileSearchUrlPrefix)});
}

// The window's page fetch for one run from one region, in the user's session where a cookie was
// given, through the region's proxies.
inline std::unique_ptr<PageFetcher> MakeWindowFetcher(std::string_view cookie,
                                                      const std::vector<ProxyAddress>& proxies) {
    FetchSettings settings;
    settings.cookies = WindowSessionCookies(cookie).jarLines;
    settings.proxies = proxies;
    return std::make_unique<HttpPageFetcher>(std::move(settings));
}

// Where the cookie text cannot be read, in the window's words ("第2行"), never quoting it; empty
// when it can.
inline std::string WindowCookieError(std::string_view cookie) {
    const SessionCookies cookies = WindowSessionCookies(cookie);
    if (cookies.error.empty()) {
        return {};
    }
    return cookies.errorLine > 0 ? "第" + std::to_string(cookies.errorLine) + "行" : "没有Cookie";
}

// The settings dialog's 测试 button: a test message to each channel of the lines, and a line for
// each saying how it took it.
inline std::u16string TestWindowChannels(const std::u16string& channels,
                                         const std::stop_token& stop) {
    const auto list = ReadChannelList(EncodeUtf8(channels));
    if (!list) {
        return u"通知第" + DecodeUtf8(std::to_string(list.error().line)) + u"行无法读取：" +
               DecodeUtf8(list.error().message);
    }
    if (list->empty()) {
        return u"请先填写通知";
    }
    std::u16string said;
    for (const AlertDelivery& delivery :
         SendAlerts(TestAlerts(*list, std::chrono::system_clock::now()), {}, stop)) {
        said += (said.empty() ? u"" : u"\n") + DecodeUtf8(delivery.channel) +
                (delivery.problem.empty() ? u"：已收到测试消息"
                                          : u"：未收到（" + DecodeUtf8(delivery.problem) + u"）");
    }
    return said;
}

// A report's or a workbook's file as the window tells of it.
template <typename Outcome>
WindowServices::ReportFile WindowFileOf(Outcome outcome, const std::string& path,
                                        const std::string& problem) {
    using Told = WindowServices::ReportFile::Outcome;
    return {outcome == Outcome::Written     ? Told::Written
            : outcome == Outcome::NoHistory ? Told::NoHistory
                                            : Told::Failed,
            path, problem};
}

// The window's services with a history for every run, slotscope.db beside its results file, the
// history's report and Excel workbook beside that, and the alerts, which read the runs back from
// it.
inline WindowServices WithHistory(WindowServices services) {
    const std::string& results = services.resultsPath;
    // In the system's own spelling of paths, as the user sees them in a message.
    const std::u8string file =
        (std::filesystem::path(std::u8string(results.begin(), results.end())).parent_path() /
         "slotscope.db")
            .make_preferred()
            .u8string();
    const std::string path(file.begin(), file.end());
    services.makeHistory = [path]() -> std::unique_ptr<RunHistory> {
        return std::make_unique<HistoryFile>(path, SLOTSCOPE_VERSION);
    };
    services.testChannels = &TestWindowChannels;
    services.tellChannels = [path](const std::u16string& channels, const std::u16string& rule,
                                   const std::string& site, const std::vector<long long>& runs,
                                   const std::stop_token& stop) {
        const auto list = ReadChannelList(EncodeUtf8(channels));
        if (!list) {
            return false;
        }
        const RunAlerts alerts = AlertsForRuns(path, site, runs, *list, AlertRuleOfChoice(rule),
                                               std::chrono::system_clock::now());
        bool told = alerts.problems.empty();
        for (const AlertDelivery& delivery : SendAlerts(alerts.jobs, {}, stop)) {
            told = told && delivery.problem.empty();
        }
        return told;
    };
    services.writeReport = [path](const std::string& site) {
        const SiteReport report = WriteSiteReport(path, site, kReportRuns, {}, {});
        return WindowFileOf(report.outcome, report.path, report.problem);
    };
    services.writeWorkbook = [path](const std::string& site) {
        const SiteWorkbook workbook = WriteSiteWorkbook(path, site, kReportRuns, {});
        return WindowFileOf(workbook.outcome, workbook.path, workbook.problem);
    };
    return services;
}

}  // namespace slotscope
