#include "ui/window_run.h"

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
#include <vector>

#include "base/text_codec.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_engine.h"

namespace slotscope {
namespace {

using namespace std::chrono_literals;
using Field = WindowTexts::Field;

// A window without a toolkit: its fields in a map, every text written kept in order, and a
// queue of posted work that the test serves when it chooses.
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
    bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        const auto giveUp = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > giveUp) {
                return false;
            }
            Serve();
            std::this_thread::sleep_for(1ms);
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
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    std::size_t mostWaiting_ = 0;
};

// Waits, serving nothing, until `done` holds; false when it did not within `limit`.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class WindowRunTest : public ::testing::Test {
  protected:
    std::unique_ptr<WindowRun> MakeRun(const std::u16string& keywords) {
        window_.Set(Field::KeywordList, keywords);
        window_.Set(Field::Website, u"shop.example.cn");
        auto run = std::make_unique<WindowRun>(
            testing::TestWindowServices(engine_, dir_.file("baidu.csv"), opened_), window_, window_,
            WindowRun::Events{
                .runningChanged = [this](bool running) { changes_.push_back(running); },
                .finished = [this] { ++finished_; },
                .close = [this] { ++closed_; }});
        return run;
    }

    testing::TempDir dir_;
    std::shared_ptr<testing::WindowEngine> engine_ = std::make_shared<testing::WindowEngine>();
    std::vector<std::string> opened_;
    FakeWindow window_;
    std::vector<bool> changes_;
    int finished_ = 0;
    int closed_ = 0;
};

TEST_F(WindowRunTest, TheRunGoesToItsEndWithoutTheWindowServingIt) {
    auto run = MakeRun(u"k1\r\nk2\r\nk3");
    run->StartOrStop();
    EXPECT_EQ(run->state(), WindowRun::State::Running);
    // The worker never waits for the window: the whole run is written while nothing is served,
    // its texts in one call and its end in another.
    ASSERT_TRUE(WaitUntil([&] { return window_.Waiting() == 2; }));
    EXPECT_EQ(engine_->searches, 3);
    EXPECT_EQ(finished_, 0);
    ASSERT_TRUE(window_.ServeUntil([&] { return finished_ == 1; }));
    EXPECT_EQ(run->state(), WindowRun::State::Idle);
    EXPECT_EQ(changes_, (std::vector<bool>{true, false}));
    EXPECT_EQ(window_.Written(Field::Progress),
              (std::vector<std::u16string>{u"1/3", u"2/3", u"3/3"}));
    EXPECT_EQ(window_.Get(Field::LeftLabel), u"左3");
    EXPECT_EQ(window_.Waiting(), 0U);
}

TEST_F(WindowRunTest, ManyTextsReachTheWindowThroughFewCalls) {
    std::u16string keywords;
    for (int i = 0; i < 40; ++i) {
        keywords += u"k1\r\n";
    }
    auto run = MakeRun(keywords);
    run->StartOrStop();
    ASSERT_TRUE(WaitUntil([&] { return window_.Waiting() == 2; }));
    ASSERT_TRUE(window_.ServeUntil([&] { return finished_ == 1; }));
    // Every progress text in order, though at most the texts and the end were waiting at once.
    ASSERT_EQ(window_.Written(Field::Progress).size(), 40U);
    EXPECT_EQ(window_.Written(Field::Progress).back(), u"40/40");
    EXPECT_LE(window_.MostWaiting(), 2U);
}

TEST_F(WindowRunTest, AClickStopsTheRunAndASecondChangesNothing) {
    engine_->delay = 200ms;
    auto run = MakeRun(u"k1\r\nk2\r\nk3\r\nk4");
    run->StartOrStop();
    ASSERT_TRUE(window_.ServeUntil([&] { return engine_->searches >= 1; }));
    run->StartOrStop();
    EXPECT_EQ(run->state(), WindowRun::State::Stopping);
    run->StartOrStop();
    EXPECT_EQ(run->state(), WindowRun::State::Stopping);
    ASSERT_TRUE(window_.ServeUntil([&] { return finished_ == 1; }, 5s));
    EXPECT_EQ(run->state(), WindowRun::State::Idle);
    EXPECT_TRUE(window_.Get(Field::Status).starts_with(u"运行已停止"));
    EXPECT_EQ(closed_, 0);
}

TEST_F(WindowRunTest, ACloseDuringARunWaitsForItsEndThenCloses) {
    engine_->delay = 10s;
    auto run = MakeRun(u"k1\r\nk2");
    run->StartOrStop();
    ASSERT_TRUE(window_.ServeUntil([&] { return engine_->searches >= 1; }));
    EXPECT_FALSE(run->CloseRequested());
    EXPECT_EQ(run->state(), WindowRun::State::ClosingAfterRun);
    run->StartOrStop();  // a click meanwhile leaves the close asked for
    EXPECT_EQ(run->state(), WindowRun::State::ClosingAfterRun);
    ASSERT_TRUE(window_.ServeUntil([&] { return closed_ == 1; }, 5s));
    EXPECT_EQ(finished_, 1);
    EXPECT_TRUE(run->CloseRequested());
}

TEST_F(WindowRunTest, TextsPostedAfterTheWindowIsGoneAreDropped) {
    engine_->delay = 10s;
    auto run = MakeRun(u"k1\r\nk2");
    run->StartOrStop();
    ASSERT_TRUE(window_.ServeUntil([&] { return engine_->searches >= 1; }));
    run.reset();  // stops the run and waits for it, serving nothing
    const std::u16string status = window_.Get(Field::Status);
    window_.Serve();
    EXPECT_EQ(window_.Get(Field::Status), status);
    EXPECT_EQ(finished_, 0);
}

}  // namespace
}  // namespace slotscope
