#include "history/local_time.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "base/local_clock.h"

namespace slotscope {
namespace {

// Digits alone: no sign.
bool ReadNumber(std::string_view text, std::size_t at, std::size_t length, int& value) {
    const char* first = text.data() + at;
    if (*first < '0' || *first > '9') {
        return false;
    }
    const auto [end, error] = std::from_chars(first, first + length, value);
    return error == std::errc() && end == first + length;
}

}  // namespace

std::string LocalTimeText(std::string_view utc, TimeShown shown) {
    // YYYY-MM-DDTHH:MM:SSZ
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (utc.size() != 20 || utc[4] != '-' || utc[7] != '-' || utc[10] != 'T' || utc[13] != ':' ||
        utc[16] != ':' || utc[19] != 'Z' || !ReadNumber(utc, 0, 4, year) ||
        !ReadNumber(utc, 5, 2, month) || !ReadNumber(utc, 8, 2, day) ||
        !ReadNumber(utc, 11, 2, hour) || !ReadNumber(utc, 14, 2, minute) ||
        !ReadNumber(utc, 17, 2, second)) {
        return std::string(utc);
    }
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(year),
                              std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || hour > 23 || minute > 59 || second > 60) {
        return std::string(utc);
    }
    const sys_seconds time = sys_days(date) + hours(hour) + minutes(minute) + seconds(second);
    std::tm local{};
    if (!ToLocalTime(static_cast<std::time_t>(time.time_since_epoch().count()), local)) {
        return std::string(utc);
    }
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    std::string shownText = text;
    if (shown == TimeShown::Seconds) {
        std::snprintf(text, sizeof text, ":%02d", local.tm_sec);
        shownText += text;
    }
    return shownText;
}

}  // namespace slotscope
