#pragma once

// The window's schedule: a thread that waits for each start the schedule allows and has the
// window's thread start a run then.

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

#include "core/schedule.h"

namespace slotscope {

class WindowThread;

// What the schedule reads time from: the machine's clock, or a test's.
struct ScheduleClock {
    std::function<std::chrono::system_clock::time_point()> now;
    LocalClockReading local;
    // Waits until the moment; false when a stop came first.
    std::function<bool(std::chrono::system_clock::time_point, const std::stop_token&)> waitUntil;

    static ScheduleClock Machine();
};

class WindowSchedule final {
  public:
    using Moment = std::chrono::system_clock::time_point;
    // `announce` is told of each next start, `due` that it has come; both on the window's
    // thread, and not once the window is gone (`alive` false).
    WindowSchedule(WindowThread& thread, std::shared_ptr<bool> alive, ScheduleClock clock,
                   std::function<void(Moment next)> announce, std::function<void()> due);
    ~WindowSchedule() { Stop(); }
    WindowSchedule(const WindowSchedule&) = delete;
    WindowSchedule& operator=(const WindowSchedule&) = delete;

    // Follows `schedule` from now on, in place of any before.
    void Follow(const Schedule& schedule);
    // Ends the schedule: no start comes any more.
    void Stop();
    bool on() const { return thread_.joinable(); }

    // What the local clock reads at a moment, for a status text: "14:00", or "周一 08:00" where it
    // is on another day than `now`.
    std::u16string Shown(Moment moment) const;

  private:
    void Wait(const Schedule& schedule, const std::stop_token& stop);

    WindowThread& windowThread_;
    std::shared_ptr<bool> alive_;
    ScheduleClock clock_;
    std::function<void(Moment)> announce_;
    std::function<void()> due_;
    std::jthread thread_;
};

}  // namespace slotscope
