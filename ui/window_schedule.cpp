#include "ui/window_schedule.h"

#include <array>
#include <string>
#include <utility>

#include "base/stop_wait.h"
#include "ui/window_run.h"

namespace slotscope {

ScheduleClock ScheduleClock::Machine() {
    return {
        .now = [] { return std::chrono::system_clock::now(); },
        .local = &ReadLocalClock,
        .waitUntil =
            [](std::chrono::system_clock::time_point moment, const std::stop_token& stop) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                    moment - std::chrono::system_clock::now());
                return WaitUnlessStopped(std::max(left, std::chrono::milliseconds(0)), stop) &&
                       !stop.stop_requested();
            },
    };
}

WindowSchedule::WindowSchedule(WindowThread& thread, std::shared_ptr<bool> alive,
                               ScheduleClock clock, std::function<void(Moment)> announce,
                               std::function<void()> due)
    : windowThread_(thread),
      alive_(std::move(alive)),
      clock_(std::move(clock)),
      announce_(std::move(announce)),
      due_(std::move(due)) {}

void WindowSchedule::Follow(const Schedule& schedule) {
    Stop();
    thread_ = std::jthread([this, schedule](const std::stop_token& stop) { Wait(schedule, stop); });
}

void WindowSchedule::Stop() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

void WindowSchedule::Wait(const Schedule& schedule, const std::stop_token& stop) {
    // The first start is an interval after the schedule is taken up: opening the window or
    // saving its settings starts no run by itself.
    Moment earliest = clock_.now() + schedule.every;
    while (!stop.stop_requested()) {
        const std::optional<Moment> next = NextStart(schedule, earliest, clock_.local);
        if (!next) {
            return;
        }
        windowThread_.Post([alive = alive_, announce = announce_, next = *next] {
            if (*alive) {
                announce(next);
            }
        });
        if (!clock_.waitUntil(*next, stop)) {
            return;
        }
        windowThread_.Post([alive = alive_, due = due_] {
            if (*alive) {
                due();
            }
        });
        // The next is due an interval after this one; one whose time passed meanwhile is gone.
        earliest = *next + schedule.every;
        for (const Moment now = clock_.now(); earliest < now;) {
            earliest += schedule.every;
        }
    }
}

std::u16string WindowSchedule::Shown(Moment moment) const {
    const LocalMoment at = clock_.local(moment);
    const LocalMoment today = clock_.local(clock_.now());
    const auto two = [](int value) {
        const std::string digits = (value < 10 ? "0" : "") + std::to_string(value);
        return std::u16string(digits.begin(), digits.end());
    };
    static constexpr std::array<std::u16string_view, 7> kDays = {u"周一", u"周二", u"周三", u"周四",
                                                                 u"周五", u"周六", u"周日"};
    const bool sameDay =
        at.weekday == today.weekday && moment - clock_.now() < std::chrono::hours(24);
    return (sameDay ? u""
                    : std::u16string(kDays[static_cast<std::size_t>(at.weekday - 1)]) + u" ") +
           two(at.minuteOfDay / 60) + u":" + two(at.minuteOfDay % 60);
}

}  // namespace slotscope
