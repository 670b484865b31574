#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/page_fetcher.h"
#include "core/run_fields.h"

namespace slotscope::testing {

// A page fetch answered by a function, recording every request.
class FakeFetcher final : public PageFetcher {
  public:
    using Handler = std::function<FetchResult(const std::string& address, std::stop_token stop)>;
    using PageFetcher::FetchPage;

    struct Request {
        std::string address;
        FetchOptions options;
    };

    explicit FakeFetcher(Handler handler) : handler_(std::move(handler)) {}

    FetchResult FetchPage(const std::string& address, const FetchOptions& options,
                          std::stop_token stop) override {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back({address, options});
        }
        return handler_(address, std::move(stop));
    }

    std::vector<std::string> addresses() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> addresses;
        for (const Request& request : requests_) {
            addresses.push_back(request.address);
        }
        return addresses;
    }

    std::vector<Request> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    Handler handler_;
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
};

// Run fields that keep every text the run writes, in order.
class RecordingFields final : public MemoryRunFields {
  public:
    using MemoryRunFields::MemoryRunFields;

    void SetLeftLabel(const std::u16string& text) override {
        MemoryRunFields::SetLeftLabel(text);
        writes.push_back(u"left=" + text);
    }
    void SetRightLabel(const std::u16string& text) override {
        MemoryRunFields::SetRightLabel(text);
        writes.push_back(u"right=" + text);
    }
    void SetProgress(const std::u16string& text) override {
        MemoryRunFields::SetProgress(text);
        progress.push_back(text);
        writes.push_back(u"progress=" + text);
    }
    void SetStatus(const std::u16string& text) override {
        MemoryRunFields::SetStatus(text);
        writes.push_back(u"status=" + text);
    }

    std::vector<std::u16string> progress;
    std::vector<std::u16string> writes;  // every write, labels, progress and status, in order
};

}  // namespace slotscope::testing
