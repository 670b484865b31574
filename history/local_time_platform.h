#pragma once

#include <ctime>

namespace slotscope {

// The system's conversion of a time to this machine's local time; false when it has none.
bool ToLocalTime(std::time_t time, std::tm& local);

}  // namespace slotscope
