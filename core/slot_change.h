#pragma once

#include <optional>
#include <string_view>

namespace slotscope {

// Where a side stands against the latest earlier run that checked the keyword without failure.
enum class ChangeKind { Up, Down, Same, Gained, Lost, None, First, Failed };

struct SideChange {
    ChangeKind kind = ChangeKind::First;
    int by = 0;  // slots moved, for Up and Down
};

// The slot a label names: 2 for "左2" or "上2"; nothing for "左无", "左侧无推广位" or 查询失败.
std::optional<int> SlotOf(std::u16string_view label);

// A side's change from `before` (nothing: no earlier successful check) to `now`.
SideChange CompareSlots(const std::optional<std::optional<int>>& before,
                        const std::optional<int>& now, bool failed);

// How the left (desktop) or top (phone) sides moved in a run, against earlier runs.
struct ChangeCounts {
    int up = 0;
    int down = 0;
    int gained = 0;
    int lost = 0;
    bool compared = false;  // an earlier run of the site and device checked some keyword

    void Count(const SideChange& change);
};

}  // namespace slotscope
