// A window's runs as both toolkits have them: started, stopped, closed and refused, on a window
// without a toolkit whose posted work the test serves.

#include "ui/window_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/text_codec.h"
#include "tests/support/fake_window.h"
#include "tests/support/temp_dir.h"
#include "ui/form_table.h"

namespace slotscope {
namespace {

using namespace std::chrono_literals;
using testing::WaitUntil;
using testing::WindowRunTest;

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

TEST_F(WindowRunTest, AClickStopsTheRunKeepingItsFinishedLinesAndASecondChangesNothing) {
    engine_->delay = 300ms;
    auto run = MakeRun(u"k1\r\nk2\r\nk3\r\nk1");
    run->StartOrStop();
    // Pages are fetched ahead, so the first lines may reach the window together: stop once any
    // has, before the last.
    ASSERT_TRUE(window_.ServeUntil([&] {
        const std::u16string progress = window_.Get(Field::Progress);
        return progress == u"1/4" || progress == u"2/4" || progress == u"3/4";
    }));
    EXPECT_EQ(caption_, u"停止");
    run->StartOrStop();
    EXPECT_EQ(run->state(), WindowRun::State::Stopping);
    run->StartOrStop();
    EXPECT_EQ(run->state(), WindowRun::State::Stopping);
    ASSERT_TRUE(window_.ServeUntil([&] { return finished_ == 1; }, 5s));

    EXPECT_EQ(run->state(), WindowRun::State::Idle);
    EXPECT_EQ(caption_, u"开始");
    EXPECT_TRUE(window_.Get(Field::Status).starts_with(u"运行已停止，已完成"));
    EXPECT_EQ(closed_, 0);
    const std::string results = testing::ReadFileBytes(ResultsPath());
    EXPECT_TRUE(results.starts_with(EncodeGbk(u"k1 , shop.example.cn , 左1 , 右无推广位\r\n")));
    EXPECT_LT(std::count(results.begin(), results.end(), '\n'), 4);
    EXPECT_TRUE(results.ends_with("\r\n"));
}

TEST_F(WindowRunTest, ACloseDuringARunWaitsForItsEndThenCloses) {
    engine_->delay = 10s;  // a fetch in flight when the window is closed
    auto run = MakeRun(u"k1\r\nk2");
    run->StartOrStop();
    ASSERT_TRUE(window_.ServeUntil([&] { return engine_->searches >= 1; }));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(run->CloseRequested());
    EXPECT_EQ(run->state(), WindowRun::State::ClosingAfterRun);
    ASSERT_TRUE(window_.ServeUntil([&] { return closed_ == 1; }, 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    EXPECT_EQ(finished_, 1);
    EXPECT_FALSE(run->running());
    EXPECT_TRUE(run->CloseRequested());
    // The file was closed by the run (empty: no keyword had finished).
    EXPECT_TRUE(std::filesystem::exists(ResultsPath()));
    EXPECT_EQ(testing::ReadFileBytes(ResultsPath()), std::string());
}

TEST_F(WindowRunTest, AClickWhileClosingLeavesTheCloseAskedFor) {
    engine_->delay = 10s;
    auto run = MakeRun(u"k1\r\nk2");
    run->StartOrStop();
    ASSERT_TRUE(window_.ServeUntil([&] { return engine_->searches >= 1; }));
    EXPECT_FALSE(run->CloseRequested());
    run->StartOrStop();
    EXPECT_EQ(run->state(), WindowRun::State::ClosingAfterRun);
    ASSERT_TRUE(window_.ServeUntil([&] { return closed_ == 1; }, 5s));
    EXPECT_EQ(finished_, 1);
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

TEST_F(WindowRunTest, InputsAreTakenOnceWhenTheRunStarts) {
    engine_->delay = 100ms;
    auto run = MakeRun(u"k1\nk2");
    run->StartOrStop();
    // The user clears both boxes while the first page is on its way: an empty website would be
    // found in every listing. The edits are for the next run.
    ASSERT_TRUE(window_.ServeUntil([&] { return engine_->searches >= 1; }));
    window_.Set(Field::KeywordList, u"");
    window_.Set(Field::Website, u"");
    ASSERT_TRUE(window_.ServeUntil([&] { return finished_ == 1; }));
    EXPECT_EQ(testing::ReadFileBytes(ResultsPath()),
              EncodeGbk(u"k1 , shop.example.cn , 左1 , 右无推广位\r\n"
                        u"k2 , shop.example.cn , 左2 , 右无推广位\r\n"));
}

TEST_F(WindowRunTest, ASecondRunUsesTheEditedListAndTruncatesTheFile) {
    auto run = MakeRun(u"k1\nk2\nk3");
    ASSERT_TRUE(RunToEnd(*run));
    EXPECT_EQ(window_.Get(Field::Progress), u"3/3");

    window_.Set(Field::KeywordList, u"k3");
    engine_->delay = 300ms;
    run->StartOrStop();
    // Until the new run writes it, the last run's progress stays.
    EXPECT_EQ(window_.Get(Field::Progress), u"3/3");
    EXPECT_EQ(caption_, u"停止");
    ASSERT_TRUE(window_.ServeUntil([&] { return finished_ == 2; }));

    EXPECT_EQ(window_.Get(Field::Progress), u"1/1");
    EXPECT_EQ(testing::ReadFileBytes(ResultsPath()),
              EncodeGbk(u"k3 , shop.example.cn , 左3 , 右无推广位\r\n"));
}

TEST_F(WindowRunTest, AStartWithoutSiteKeywordsOrAReadableCookieIsRefusedUntilMended) {
    auto services = Services();
    auto cookies = std::make_shared<std::vector<std::string>>();
    services.makeFetcher = [cookies, make = services.makeFetcher](
                               std::string_view cookie, const std::vector<ProxyAddress>& proxies) {
        cookies->emplace_back(cookie);
        return make(cookie, proxies);
    };
    services.cookieError = [](std::string_view cookie) {
        return cookie.find('=') == std::string_view::npos ? std::string("第1行") : std::string();
    };
    auto run = MakeRun(u"", std::move(services));
    const RunSettings readable = run->settings();
    struct Refusal {
        std::u16string keywords;
        std::u16string website;
        std::u16string cookie;  // in the settings
        std::u16string status;  // what it says instead of a run
    };
    const std::vector<Refusal> refusals = {
        {u"k1", u"   ", u"", u"请先填写查看网址"},
        {u"k1", u"shop.example.cn, shop2.cn", u"", u"网址无法识别：shop.example.cn, shop2.cn"},
        {u"k1", u"http://", u"", u"网址无法识别：http://"},
        {u"\n \n", u"shop.example.cn", u"", u"请先填写竞价关键词"},
        // A run without the session the user asked for never starts.
        {u"k1", u"shop.example.cn", u"BDUSS", u"设置里的Cookie无法读取（第1行），请在设置里改正"},
    };
    for (const Refusal& refusal : refusals) {
        window_.Set(Field::KeywordList, refusal.keywords);
        window_.Set(Field::Website, refusal.website);
        RunSettings settings = readable;
        settings.cookie = refusal.cookie;
        run->SetSettings(settings);
        run->StartOrStop();
        EXPECT_EQ(window_.Get(Field::Status), refusal.status) << EncodeUtf8(refusal.website);
        EXPECT_EQ(run->state(), WindowRun::State::Idle);
        EXPECT_EQ(caption_, u"开始");
    }
    window_.Serve();
    EXPECT_TRUE(changes_.empty());
    EXPECT_EQ(engine_->searches.load(), 0);
    EXPECT_EQ(finished_, 0);
    EXPECT_TRUE(cookies->empty());

    // Mended, the run starts, and the refusal goes at once.
    engine_->delay = 300ms;
    run->SetSettings(readable);
    window_.Set(Field::KeywordList, u"k1");
    window_.Set(Field::Website, u"https://www.shop.example.cn/");
    run->StartOrStop();
    EXPECT_EQ(window_.Get(Field::Status), std::u16string(form::Find("Label3")->caption));
    ASSERT_TRUE(window_.ServeUntil([&] { return finished_ == 1; }));
    EXPECT_EQ(window_.Get(Field::LeftLabel), u"左1");
}

}  // namespace
}  // namespace slotscope
