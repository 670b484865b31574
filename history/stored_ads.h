#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_read.h"
#include "page/result_page.h"

namespace slotscope {

// A side's paid listings as one column of the history: a JSON array of {"site", "title", "text"}
// in slot order. Text that is no UTF-8 is replaced, never thrown over.
std::string JoinAds(const std::vector<ListingAd>& ads);

// The listings a column holds; nothing where it holds none (a row older than the column) or
// holds something else than such an array.
std::optional<std::vector<StoredAd>> SplitAds(const std::optional<std::string>& column);

}  // namespace slotscope
