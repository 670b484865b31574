#pragma once

// The fetch tests' fixture: a real local server and the request log it keeps.

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "net/page_fetch.h"
#include "tests/support/child_process.h"
#include "tests/support/compression.h"
#include "tests/support/local_server.h"

namespace slotscope {

using namespace std::chrono_literals;
using testing::Gzip;
using testing::LocalServer;
using Clock = std::chrono::steady_clock;

inline FetchSettings QuickSettings() {
    FetchSettings settings;
    settings.timeout = 5s;
    settings.retryDelays = {20ms, 40ms};
    return settings;
}

// Requests a server saw, safe to read from the test's thread.
class RequestLog {
  public:
    void Add(const httplib::Request& request) {
        std::lock_guard lock(mutex_);
        paths_.push_back(request.path);
        ports_.insert(request.remote_port);
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return paths_.size();
    }
    std::vector<std::string> paths() const {
        std::lock_guard lock(mutex_);
        return paths_;
    }
    std::size_t connections() const {
        std::lock_guard lock(mutex_);
        return ports_.size();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> paths_;
    std::set<int> ports_;
};

class PageFetchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The tests talk to 127.0.0.1 directly; a proxy set for this machine must not interfere.
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                 "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
            if (const char* value = std::getenv(name)) {
                saved_.emplace_back(name, value);
                testing::UnsetEnv(name);
            }
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            testing::SetEnv(name, value);
        }
    }

    FetchResult Fetch(const std::string& path, FetchSettings settings = QuickSettings()) {
        HttpPageFetcher fetcher(std::move(settings));
        return fetcher.FetchPage(local.Url(path), {});
    }

    LocalServer local;
    RequestLog log;

  private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

}  // namespace slotscope
