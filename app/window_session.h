#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "core/build_config.h"
#include "core/search_address.h"
#include "history/history_file.h"
#include "history/history_report.h"
#include "net/cookie_file.h"
#include "net/page_fetch.h"
#include "ui/window_run.h"

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

// The window's services with a history for every run, slotscope.db beside its results file, and
// the history's report beside that.
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
    services.writeReport = [path](const std::string& site) {
        const SiteReport report = WriteSiteReport(path, site, kReportRuns, {}, {});
        using Outcome = WindowServices::ReportFile::Outcome;
        return WindowServices::ReportFile{
            report.outcome == SiteReport::Outcome::Written     ? Outcome::Written
            : report.outcome == SiteReport::Outcome::NoHistory ? Outcome::NoHistory
                                                               : Outcome::Failed,
            report.path, report.problem};
    };
    return services;
}

}  // namespace slotscope
