#pragma once

#include <string>
#include <string_view>

namespace slotscope {

// How much of a local time is shown.
enum class TimeShown { Minutes, Seconds };

// A time the history keeps in UTC ("2026-12-08T02:11:19Z") in this machine's local time, as
// "2026-12-08 10:11" (or "2026-12-08 10:11:19"); the text as it is when it is no such time.
std::string LocalTimeText(std::string_view utc, TimeShown shown = TimeShown::Minutes);

}  // namespace slotscope
