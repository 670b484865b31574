#pragma once

#include <string>
#include <string_view>

namespace slotscope {

// A time the history keeps in UTC ("2026-12-08T02:11:19Z") in this machine's local time, as
// "2026-12-08 10:11"; the text as it is when it is no such time.
std::string LocalTimeText(std::string_view utc);

}  // namespace slotscope
