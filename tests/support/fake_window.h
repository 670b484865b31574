#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/window_engine.h"
#include "ui/form_table.h"
#include "ui/window_run.h"

// A window without a toolkit, for the tests of the window's runs that both toolkits share.
namespace slotscope::testing {

// The window's fields in a map, every text written kept in order, and a queue of posted work
// that the test serves when it chooses.
class FakeWindow final : public WindowTexts, public WindowThread {
  public:
    std::u16string Get(Field field) const override {
        const auto found = texts_.find(field);
        return found == texts_.end() ? std::u16string() : found->second;
    }
    void Set(Field field, const std::u16string& text) override {
        texts_[field] = text;
        written_[field].push_back(text);
    }
    void SetChoices(Field field, const std::vector<std::u16string>& choices) override {
        choices_[field] = choices;
        if (std::find(choices.begin(), choices.end(), Get(field)) == choices.end()) {
            texts_[field] = choices.empty() ? std::u16string() : choices.front();
        }
    }
    std::vector<std::u16string> Choices(Field field) const {
        const auto found = choices_.find(field);
        return found == choices_.end() ? std::vector<std::u16string>() : found->second;
    }
    void Post(std::function<void()> work) override {
        const std::scoped_lock lock(mutex_);
        posted_.push_back(std::move(work));
        mostWaiting_ = std::max(mostWaiting_, posted_.size());
    }

    // Runs the work posted so far, and what that posts in turn; the number of calls served.
    int Serve() {
        int served = 0;
        for (;;) {
            std::function<void()> work;
            {
                const std::scoped_lock lock(mutex_);
                if (posted_.empty()) {
                    return served;
                }
                work = std::move(posted_.front());
                posted_.pop_front();
            }
            work();
            ++served;
        }
    }
    // Serves until `done` holds; false when it did not within `limit`.
    bool ServeUntil(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto giveUp = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > giveUp) {
                return false;
            }
            Serve();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    std::size_t Waiting() {
        const std::scoped_lock lock(mutex_);
        return posted_.size();
    }
    std::size_t MostWaiting() {
        const std::scoped_lock lock(mutex_);
        return mostWaiting_;
    }
    const std::vector<std::u16string>& Written(Field field) { return written_[field]; }

  private:
    std::map<Field, std::u16string> texts_;
    std::map<Field, std::vector<std::u16string>> written_;
    std::map<Field, std::vector<std::u16string>> choices_;
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    std::size_t mostWaiting_ = 0;
};

// Waits, serving nothing, until `done` holds; false when it did not within `limit`.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A run on a fake window with the test engine and the results file in a fresh folder. Command1's
// caption is kept as both toolkits set it from the run's events.
class WindowRunTest : public ::testing::Test {
  protected:
    using Field = WindowTexts::Field;

    std::string ResultsPath() const { return dir_.file("baidu.csv"); }
    std::string PhoneResultsPath() const { return dir_.file("baidu_mobile.csv"); }
    WindowServices Services() { return TestWindowServices(engine_, ResultsPath(), opened_); }

    // A run whose window holds `keywords` and the engine's site.
    std::unique_ptr<WindowRun> MakeRun(const std::u16string& keywords) {
        return MakeRun(keywords, Services());
    }
    std::unique_ptr<WindowRun> MakeRun(const std::u16string& keywords, WindowServices services) {
        window_.Set(Field::KeywordList, keywords);
        window_.Set(Field::Website, u"shop.example.cn");
        return std::make_unique<WindowRun>(
            std::move(services), window_, window_,
            WindowRun::Events{.runningChanged =
                                  [this](bool running) {
                                      changes_.push_back(running);
                                      caption_ = running ? form::kStopCaption : form::kStartCaption;
                                  },
                              .finished = [this] { ++finished_; },
                              .close = [this] { ++closed_; }});
    }

    // Clicks Command1 and serves the window until the run has ended; false when it did not
    // within `limit`.
    bool RunToEnd(WindowRun& run, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const int before = finished_;
        run.StartOrStop();
        return window_.ServeUntil([&] { return finished_ > before; }, limit);
    }

    TempDir dir_;
    std::shared_ptr<WindowEngine> engine_ = std::make_shared<WindowEngine>();
    std::vector<std::string> opened_;
    FakeWindow window_;
    std::vector<bool> changes_;
    std::u16string caption_ = std::u16string(form::kStartCaption);
    int finished_ = 0;
    int closed_ = 0;
};

}  // namespace slotscope::testing
