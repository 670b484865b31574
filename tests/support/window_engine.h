#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

#include "tests/support/fakes.h"
#include "tests/support/page_generator.h"
#include "ui/window_run.h"

// What the window tests of both toolkits share: a fake search engine and the services that
// hand it to a window.
namespace slotscope::testing {

inline constexpr char kWindowHome[] = "http://home.test/";
inline constexpr char kWindowSearchPrefix[] = "http://search.test/s?wd=";
inline constexpr char kWindowPhonePrefix[] = "http://m.search.test/s?word=";

// The fake search engine every test window uses: keyword "kN" (N = 1 to 9) shows the site in
// left listing N (on the phone's page, top listing N), anything else nowhere; `delay` before
// every search page, cut short by a stop.
struct WindowEngine {
    std::u16string site = u"shop.example.cn";
    std::chrono::milliseconds delay{0};
    std::atomic<int> searches = 0;

    FetchResult Fetch(const std::string& address, const std::stop_token& stop) {
        const bool phone = address.starts_with(kWindowPhonePrefix);
        if (!address.starts_with(kWindowSearchPrefix) && !phone) {
            return FetchResult::Page(u"<html>home</html>");  // the home pages
        }
        ++searches;
        if (delay.count() > 0) {
            std::mutex mutex;
            std::condition_variable_any wake;
            std::unique_lock lock(mutex);
            if (wake.wait_for(lock, stop, delay, [] { return false; }) || stop.stop_requested()) {
                return FetchResult::Failed(FetchFailureKind::Stopped, "stopped");
            }
        }
        const std::string keyword =
            address.substr(phone ? sizeof kWindowPhonePrefix - 1 : sizeof kWindowSearchPrefix - 1);
        const int left = keyword.size() == 2 && keyword[0] == 'k' ? keyword[1] - '0' : 0;
        return FetchResult::Page(phone ? PhoneListingsPage(site, left, 0)
                                       : ListingsPage(site, left, 0));
    }
};

// Services for a test window: the engine as its page fetch, the results file at `resultsPath`
// with baidu_mobile.csv beside it, and every address handed to the browser kept in `opened`.
inline WindowServices TestWindowServices(const std::shared_ptr<WindowEngine>& engine,
                                         std::string resultsPath,
                                         std::vector<std::string>& opened) {
    WindowServices services;
    services.makeFetcher = [engine](std::string_view, const std::vector<ProxyAddress>&) {
        return std::make_unique<FakeFetcher>(
            [engine](const std::string& address, std::stop_token stop) {
                return engine->Fetch(address, stop);
            });
    };
    const std::u8string mobile =
        (std::filesystem::path(resultsPath).parent_path() / "baidu_mobile.csv").u8string();
    services.mobileResultsPath.assign(mobile.begin(), mobile.end());
    services.resultsPath = std::move(resultsPath);
    services.homePageUrl = kWindowHome;
    services.searchUrlPrefix = kWindowSearchPrefix;
    services.mobileSearchUrlPrefix = kWindowPhonePrefix;
    services.openUrl = [&opened](const std::string& address) {
        opened.push_back(address);
        return false;  // as if no browser were there
    };
    return services;
}

// Services whose searches all fail, for the longest captions a run writes: the keyword kw<i>
// meets a verification page for i divisible by 3, a failed connection for i one more, an empty
// answer (no result page) for i two more, and kw7 a page that cannot be read. The keyword "abort"
// makes the fetch throw with a long reason instead, as a failure of the run itself would.
inline WindowServices BlockedWindowServices(std::string resultsPath,
                                            std::vector<std::string>& opened) {
    WindowServices services =
        TestWindowServices(std::make_shared<WindowEngine>(), std::move(resultsPath), opened);
    services.makeFetcher = [](std::string_view, const std::vector<ProxyAddress>&) {
        return std::make_unique<FakeFetcher>([](const std::string& address, std::stop_token) {
            if (!address.starts_with(kWindowSearchPrefix)) {
                return FetchResult::Page(u"<html>home</html>");
            }
            const std::string keyword = address.substr(sizeof kWindowSearchPrefix - 1);
            if (keyword == "abort") {
                throw std::runtime_error(
                    "the page fetch gave up: every connection of its pool is taken, and no further "
                    "connection can be opened at this time");
            }
            if (keyword == "kw7") {
                return FetchResult::Page(MisplacedEndTagsPage(u"<div id=\"content_left\">"));
            }
            const int number = keyword.starts_with("kw") ? std::atoi(keyword.c_str() + 2) : 0;
            switch (number % 3) {
                case 1:
                    return FetchResult::Failed(FetchFailureKind::Network, "connection refused");
                case 2:
                    return FetchResult::Page(u"");
                default:
                    return FetchResult::Failed(FetchFailureKind::Blocked, "verification page");
            }
        });
    };
    return services;
}

}  // namespace slotscope::testing
