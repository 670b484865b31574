#include "core/schedule.h"

#include <gtest/gtest.h>

#include <string>

namespace slotscope {
namespace {

using namespace std::chrono;
using Time = system_clock::time_point;

// A clock that reads UTC as local time: the tests' own, whatever the machine's zone.
LocalMoment ReadUtc(Time moment) {
    const auto day = floor<days>(moment);
    const unsigned weekday = std::chrono::weekday(day).iso_encoding();
    return {static_cast<int>(weekday),
            static_cast<int>(duration_cast<minutes>(moment - day).count())};
}

// "2026-12-09 07:59:30" (a Wednesday) as UTC.
Time At(const std::string& text) {
    const auto number = [&](std::size_t at, std::size_t length) {
        return std::stoi(text.substr(at, length));
    };
    const sys_days date = year(number(0, 4)) / number(5, 2) / number(8, 2);
    return date + hours(number(11, 2)) + minutes(number(14, 2)) + seconds(number(17, 2));
}

Schedule Between(const std::string& window, const std::string& weekdays = "1-7") {
    Schedule schedule;
    schedule.every = minutes(10);
    schedule.between = ParseTimeWindow(window);
    schedule.days = ParseWeekdays(weekdays).value();
    return schedule;
}

TEST(ScheduleTest, TheNextStartKeepsToTheTimeOfDayAndTheWeekdays) {
    const struct {
        const char* name;
        Schedule schedule;
        const char* earliest;
        const char* expected;  // empty: never
    } cases[] = {
        {"inside the window", Between("08:00-20:00"), "2026-12-09 12:34:56", "2026-12-09 12:34:56"},
        {"before it opens", Between("08:00-20:00"), "2026-12-09 07:59:30", "2026-12-09 08:00:00"},
        {"its end is outside", Between("08:00-20:00"), "2026-12-09 20:00:00",
         "2026-12-10 08:00:00"},
        {"across midnight, before it", Between("22:00-06:00"), "2026-12-09 21:00:00",
         "2026-12-09 22:00:00"},
        {"across midnight, after midnight", Between("22:00-06:00"), "2026-12-10 05:59:00",
         "2026-12-10 05:59:00"},
        {"across midnight, past its end", Between("22:00-06:00"), "2026-12-10 06:00:00",
         "2026-12-10 22:00:00"},
        {"weekdays only, on a Saturday", Between("08:00-20:00", "1-5"), "2026-12-12 09:00:00",
         "2026-12-14 08:00:00"},
        {"a list of days", Between("00:00-23:59", "2,4"), "2026-12-10 10:00:00",
         "2026-12-10 10:00:00"},
        {"a list of days, the next one", Between("00:00-23:59", "2,4"), "2026-12-11 10:00:00",
         "2026-12-15 00:00:00"},
    };
    for (const auto& c : cases) {
        const auto next = NextStart(c.schedule, At(c.earliest), &ReadUtc);
        ASSERT_TRUE(next.has_value()) << c.name;
        EXPECT_EQ(*next, At(c.expected)) << c.name;
    }
    Schedule never = Between("08:00-20:00");
    never.days.reset();
    EXPECT_FALSE(NextStart(never, At("2026-12-09 12:00:00"), &ReadUtc).has_value());
}

TEST(ScheduleTest, ItsPartsAsTheUserWritesThem) {
    const struct {
        const char* text;
        std::optional<seconds> interval;
    } intervals[] = {{"30s", seconds(30)}, {"10m", minutes(10)},  {"2h", hours(2)},
                     {"10s", seconds(10)}, {"9s", std::nullopt},  {"0m", std::nullopt},
                     {"10", std::nullopt}, {"1d", std::nullopt},  {"-5m", std::nullopt},
                     {"m", std::nullopt},  {"169h", std::nullopt}};
    for (const auto& c : intervals) {
        EXPECT_EQ(ParseInterval(c.text), c.interval) << c.text;
    }
    const struct {
        const char* text;
        std::optional<std::pair<int, int>> window;
    } windows[] = {{"08:00-20:00", std::pair{480, 1200}},
                   {"22:30-6:15", std::pair{1350, 375}},
                   {"08:00-08:00", std::nullopt},
                   {"24:00-08:00", std::nullopt},
                   {"8-20", std::nullopt},
                   {"08:60-09:00", std::nullopt}};
    for (const auto& c : windows) {
        EXPECT_EQ(ParseTimeWindow(c.text), c.window) << c.text;
    }
    const struct {
        const char* text;
        std::optional<std::bitset<7>> days;
    } weekdays[] = {{"1-5", std::bitset<7>(0x1F)}, {"1,3,5", std::bitset<7>(0x15)},
                    {"6-7", std::bitset<7>(0x60)}, {"1-3,7", std::bitset<7>(0x47)},
                    {"0-5", std::nullopt},         {"5-1", std::nullopt},
                    {"1,,2", std::nullopt},        {"8", std::nullopt}};
    for (const auto& c : weekdays) {
        EXPECT_EQ(ParseWeekdays(c.text), c.days) << c.text;
    }
}

}  // namespace
}  // namespace slotscope
