#pragma once

// When runs start by themselves: every so often, only within a time of day and on chosen
// weekdays, as the user's local clock reads them.

#include <bitset>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace slotscope {

// The shortest interval between runs a schedule takes.
inline constexpr std::chrono::seconds kShortestRunInterval{10};

struct Schedule {
    std::chrono::seconds every{0};
    // Minutes of the day within which runs start: from the first, before the second; the second
    // before the first reaches across midnight. None: the whole day.
    std::optional<std::pair<int, int>> between;
    std::bitset<7> days{0x7F};  // ISO weekdays, Monday (bit 0) to Sunday (bit 6)
};

// A moment as the local clock reads it.
struct LocalMoment {
    int weekday = 1;      // ISO: 1 Monday to 7 Sunday
    int minuteOfDay = 0;  // 0 to 1439
};
using LocalClockReading = std::function<LocalMoment(std::chrono::system_clock::time_point)>;

// Whether a run may start at a moment the local clock reads so.
bool Allows(const Schedule& schedule, const LocalMoment& moment);

// The first moment at or after `earliest` at which a run may start: `earliest` itself where the
// schedule allows it, else the first whole minute that it allows. Nothing where no minute of a
// week is allowed.
std::optional<std::chrono::system_clock::time_point> NextStart(
    const Schedule& schedule, std::chrono::system_clock::time_point earliest,
    const LocalClockReading& local);

// The parts of a schedule as the user writes them; nothing where the text is none of these.
// "30s", "10m", "2h" (at least kShortestRunInterval):
std::optional<std::chrono::seconds> ParseInterval(std::string_view text);
// "08:00-20:00", "22:00-06:00" (two different times of day):
std::optional<std::pair<int, int>> ParseTimeWindow(std::string_view text);
// "1-5", "1,3,5", "6-7": ISO weekdays, lists and ranges:
std::optional<std::bitset<7>> ParseWeekdays(std::string_view text);

// How this machine's clock reads a moment (local time, daylight saving included).
LocalMoment ReadLocalClock(std::chrono::system_clock::time_point moment);

}  // namespace slotscope
