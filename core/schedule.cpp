#include "core/schedule.h"

#include <ctime>

#include "base/local_clock.h"
#include "base/numbers.h"

namespace slotscope {
namespace {

constexpr int kMinutesPerDay = 24 * 60;
// A week and a day of minutes: every weekday and time of day comes in it, a change of daylight
// saving time included.
constexpr int kMinutesSearched = 8 * kMinutesPerDay;

// "08:30": minutes of the day.
std::optional<int> TimeOfDay(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || text.size() - colon != 3) {
        return std::nullopt;
    }
    const std::optional<int> hours = WholeNumber(text.substr(0, colon), 0, 23);
    const std::optional<int> minutes = WholeNumber(text.substr(colon + 1), 0, 59);
    if (!hours || !minutes || colon == 0 || colon > 2) {
        return std::nullopt;
    }
    return *hours * 60 + *minutes;
}

}  // namespace

bool Allows(const Schedule& schedule, const LocalMoment& moment) {
    if (!schedule.days.test(static_cast<std::size_t>(moment.weekday - 1))) {
        return false;
    }
    if (!schedule.between) {
        return true;
    }
    const auto [from, to] = *schedule.between;
    return from < to ? moment.minuteOfDay >= from && moment.minuteOfDay < to
                     : moment.minuteOfDay >= from || moment.minuteOfDay < to;
}

std::optional<std::chrono::system_clock::time_point> NextStart(
    const Schedule& schedule, std::chrono::system_clock::time_point earliest,
    const LocalClockReading& local) {
    if (Allows(schedule, local(earliest))) {
        return earliest;
    }
    auto minute = std::chrono::ceil<std::chrono::minutes>(earliest);
    for (int searched = 0; searched < kMinutesSearched;
         ++searched, minute += std::chrono::minutes(1)) {
        if (Allows(schedule, local(minute))) {
            return minute;
        }
    }
    return std::nullopt;
}

std::optional<std::chrono::seconds> ParseInterval(std::string_view text) {
    if (text.size() < 2) {
        return std::nullopt;
    }
    const char unit = text.back();
    const long long perUnit = unit == 's' ? 1 : unit == 'm' ? 60 : unit == 'h' ? 3600 : 0;
    // At most a week.
    const std::optional<int> count = perUnit == 0 ? std::nullopt
                                                  : WholeNumber(text.substr(0, text.size() - 1), 1,
                                                                static_cast<int>(604800 / perUnit));
    if (!count) {
        return std::nullopt;
    }
    const std::chrono::seconds interval(*count * perUnit);
    if (interval < kShortestRunInterval) {
        return std::nullopt;
    }
    return interval;
}

std::optional<std::pair<int, int>> ParseTimeWindow(std::string_view text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<int> from = TimeOfDay(text.substr(0, dash));
    const std::optional<int> to = TimeOfDay(text.substr(dash + 1));
    if (!from || !to || *from == *to) {
        return std::nullopt;
    }
    return std::pair{*from, *to};
}

std::optional<std::bitset<7>> ParseWeekdays(std::string_view text) {
    std::bitset<7> days;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view part = text.substr(start, comma - start);
        start = comma + 1;
        const std::size_t dash = part.find('-');
        const std::optional<int> first = WholeNumber(part.substr(0, dash), 1, 7);
        const std::optional<int> last =
            dash == std::string_view::npos ? first : WholeNumber(part.substr(dash + 1), 1, 7);
        if (!first || !last || *last < *first) {
            return std::nullopt;
        }
        for (int day = *first; day <= *last; ++day) {
            days.set(static_cast<std::size_t>(day - 1));
        }
    }
    return days;
}

LocalMoment ReadLocalClock(std::chrono::system_clock::time_point moment) {
    std::tm local{};
    if (!ToLocalTime(std::chrono::system_clock::to_time_t(moment), local)) {
        return {};
    }
    // tm_wday counts from Sunday (0); ISO from Monday (1) to Sunday (7).
    return {local.tm_wday == 0 ? 7 : local.tm_wday, local.tm_hour * 60 + local.tm_min};
}

}  // namespace slotscope
