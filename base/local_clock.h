#pragma once

// This machine's clock as its user reads it: the local time of a moment, daylight saving
// included. One implementation per system (local_clock_posix.cpp, local_clock_win.cpp).

#include <ctime>

namespace slotscope {

// The system's conversion of a time to this machine's local time; false when it has none.
bool ToLocalTime(std::time_t time, std::tm& local);

}  // namespace slotscope
