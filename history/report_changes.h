#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_read.h"
#include "history/report_markup.h"

namespace slotscope {

// A side of a keyword whose slot moved in the latest run: before → after, and who now holds the
// slot the user's site held before.
struct SlotMove {
    std::string page;  // "pc" or "mobile"
    std::string keyword;
    bool right = false;  // the right side (the bottom block on the phone's page)
    std::string kind;    // "lost", "down", "gained" or "up"
    int by = 0;          // slots moved, for down and up
    std::string before;  // the label of the check compared with; empty where unknown
    std::string after;
    std::string holder;  // the site in the old slot now; empty where none or unknown
    std::string anchor;  // the id of the keyword's row in the report; empty where it has none
};

// The moves of a latest run's result on its sides since `before`, the keyword's check before it;
// the user's own site `own` is never named as who took a slot.
std::vector<SlotMove> MovesOf(const StoredResult& latest, const std::optional<StoredResult>& before,
                              std::string_view own);

// Worst first: lost, then down by most, then gained, then up by most; in keyword order within.
void SortWorstFirst(std::vector<SlotMove>& moves);

// The list headed 变化, or a line that says nothing moved, or (where no keyword had a check
// before to compare with) that nothing could be compared; keywords of both pages say which, and
// each links to its row where it has one.
markup::Html ChangesList(const std::vector<SlotMove>& moves, bool bothPages, bool compared);

}  // namespace slotscope
