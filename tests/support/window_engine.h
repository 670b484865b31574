#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
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

// The fake search engine every test window uses: keyword "kN" (N = 1 to 9) shows the site in
// left listing N, anything else nowhere; `delay` before every search page, cut short by a stop.
struct WindowEngine {
    std::u16string site = u"shop.example.cn";
    std::chrono::milliseconds delay{0};
    std::atomic<int> searches = 0;

    FetchResult Fetch(const std::string& address, const std::stop_token& stop) {
        if (!address.starts_with(kWindowSearchPrefix)) {
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
        const std::string keyword = address.substr(sizeof kWindowSearchPrefix - 1);
        const int left = keyword.size() == 2 && keyword[0] == 'k' ? keyword[1] - '0' : 0;
        return FetchResult::Page(ListingsPage(site, left, 0));
    }
};

// Services for a test window: the engine as its page fetch, the results file at `resultsPath`,
// and every address handed to the browser kept in `opened`.
inline WindowServices TestWindowServices(const std::shared_ptr<WindowEngine>& engine,
                                         std::string resultsPath,
                                         std::vector<std::string>& opened) {
    WindowServices services;
    services.makeFetcher = [engine] {
        return std::make_unique<FakeFetcher>(
            [engine](const std::string& address, std::stop_token stop) {
                return engine->Fetch(address, stop);
            });
    };
    services.resultsPath = std::move(resultsPath);
    services.homePageUrl = kWindowHome;
    services.searchUrlPrefix = kWindowSearchPrefix;
    services.openUrl = [&opened](const std::string& address) {
        opened.push_back(address);
        return false;  // as if no browser were there
    };
    return services;
}

}  // namespace slotscope::testing
