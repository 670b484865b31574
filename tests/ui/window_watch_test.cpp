// The window's runs that start by themselves, and the alerts after them, the same for every
// toolkit: tested on a window without one, with a clock the test moves.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "base/text_codec.h"
#include "history/history_file.h"
#include "tests/support/fake_window.h"

namespace slotscope {
namespace {

using namespace std::chrono;
using testing::WindowRunTest;

// A clock at `start` that reads UTC as local time; its first wait comes at once and moves the
// clock to the moment waited for, the later ones last until the schedule stops.
ScheduleClock MovedClock(system_clock::time_point start) {
    auto now = std::make_shared<system_clock::time_point>(start);
    auto waits = std::make_shared<int>(0);
    auto mutex = std::make_shared<std::mutex>();
    return {
        .now =
            [now, mutex] {
                std::lock_guard lock(*mutex);
                return *now;
            },
        .local =
            [](system_clock::time_point moment) {
                const auto day = floor<days>(moment);
                return LocalMoment{static_cast<int>(weekday(day).iso_encoding()),
                                   static_cast<int>(duration_cast<minutes>(moment - day).count())};
            },
        .waitUntil =
            [now, waits, mutex](system_clock::time_point moment, const std::stop_token& stop) {
                {
                    std::lock_guard lock(*mutex);
                    if ((*waits)++ == 0) {
                        *now = moment;
                        return true;
                    }
                }
                std::mutex waiting;
                std::condition_variable_any stopped;
                std::unique_lock lock(waiting);
                stopped.wait(lock, stop, [] { return false; });
                return false;
            },
    };
}

// 2026-12-09 08:05, a Wednesday, as the moved clock reads it.
constexpr auto kStart = sys_days(2026y / 12 / 9) + 8h + 5min;

class WindowWatchTest : public WindowRunTest {};

TEST_F(WindowWatchTest, TheScheduleStartsARunAndTheStatusSaysWhenTheNextIs) {
    auto services = Services();
    services.clock = MovedClock(kStart);
    services.settings.scheduleMinutes = u"10";
    services.settings.scheduleBetween = u"08:00-20:00";
    auto run = MakeRun(u"k1", std::move(services));
    ASSERT_TRUE(window_.ServeUntil([&] { return finished_ == 1; }));
    ASSERT_TRUE(window_.ServeUntil(
        [&] { return window_.Get(Field::Status).ends_with(u"，下次查询 08:25"); }));
    // The first an interval after the window opened, the next an interval after that.
    EXPECT_EQ(window_.Get(Field::Status),
              u"总词数1运行完毕，信息保存在同目录下的baidu.csv里，下次查询 08:25");
    // Settings that leave the schedule as it was start no run and keep its next.
    run->SetSettings(run->settings());
    window_.Serve();
    EXPECT_EQ(finished_, 1);
    EXPECT_TRUE(run->nextRun().has_value());

    // Taken out of the settings, the schedule ends and its note goes.
    RunSettings settings = run->settings();
    settings.scheduleMinutes.clear();
    run->SetSettings(settings);
    EXPECT_FALSE(run->nextRun().has_value());
    EXPECT_EQ(window_.Get(Field::Status), u"总词数1运行完毕，信息保存在同目录下的baidu.csv里");
}

TEST_F(WindowWatchTest, ARunIsToldToTheChannelsAndTheStatusSaysWhenOneDidNotTakeIt) {
    struct Told {
        std::u16string channels;
        std::u16string rule;
        std::string site;
        std::vector<long long> runs;
    };
    const struct {
        const char* name;
        std::u16string channels;
        bool taken;
        bool told;
        std::u16string_view ending;
    } cases[] = {
        {"taken", u"webhook = http://127.0.0.1:9/hook", true, true, u"baidu.csv里"},
        {"not taken", u"webhook = http://127.0.0.1:9/hook", false, true,
         u"baidu.csv里（通知未发送）"},
        {"no channels", u"", false, false, u"baidu.csv里"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto services = Services();
        const std::string path = dir_.file(std::string(c.name) + ".db");
        services.makeHistory = [path]() -> std::unique_ptr<RunHistory> {
            return std::make_unique<HistoryFile>(path, "test");
        };
        auto told = std::make_shared<std::vector<Told>>();
        services.tellChannels = [told, taken = c.taken](
                                    const std::u16string& channels, const std::u16string& rule,
                                    const std::string& site, const std::vector<long long>& runs,
                                    const std::stop_token&) {
            told->push_back({channels, rule, site, runs});
            return taken;
        };
        services.settings.channels = c.channels;
        services.settings.alertRule = u"每次";
        auto run = MakeRun(u"k1", std::move(services));
        ASSERT_TRUE(RunToEnd(*run));
        EXPECT_TRUE(window_.Get(Field::Status).ends_with(c.ending))
            << EncodeUtf8(window_.Get(Field::Status));
        ASSERT_EQ(told->size(), c.told ? 1U : 0U);
        if (c.told) {
            EXPECT_EQ(told->front().channels, c.channels);
            EXPECT_EQ(told->front().rule, u"每次");
            EXPECT_EQ(told->front().site, "shop.example.cn");
            EXPECT_EQ(told->front().runs, std::vector<long long>{1});
        }
    }
}

TEST_F(WindowWatchTest, TheTestButtonSaysHowEachChannelTookItsMessage) {
    auto services = Services();
    services.testChannels = [](const std::u16string& channels, const std::stop_token&) {
        return channels + u"：已收到测试消息";
    };
    auto run = MakeRun(u"k1", std::move(services));
    std::u16string said;
    run->TestChannels(u"wecom = https://q.example/send?key=k",
                      [&](const std::u16string& message) { said = message; });
    ASSERT_TRUE(window_.ServeUntil([&] { return !said.empty(); }));
    EXPECT_EQ(said, u"wecom = https://q.example/send?key=k：已收到测试消息");
}

}  // namespace
}  // namespace slotscope
