#include "core/slot_change.h"

namespace slotscope {

std::optional<int> SlotOf(std::u16string_view label) {
    // One side character, then the slot's digits and nothing else.
    if (label.size() < 2 || label.size() > 4) {
        return std::nullopt;
    }
    int slot = 0;
    for (const char16_t c : label.substr(1)) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        slot = slot * 10 + (c - u'0');
    }
    return slot > 0 ? std::optional(slot) : std::nullopt;
}

SideChange CompareSlots(const std::optional<std::optional<int>>& before,
                        const std::optional<int>& now, bool failed) {
    if (failed) {
        return {ChangeKind::Failed, 0};
    }
    if (!before) {
        return {ChangeKind::First, 0};
    }
    const std::optional<int>& then = *before;
    if (!then && !now) {
        return {ChangeKind::None, 0};
    }
    if (!then) {
        return {ChangeKind::Gained, 0};
    }
    if (!now) {
        return {ChangeKind::Lost, 0};
    }
    if (*now < *then) {
        return {ChangeKind::Up, *then - *now};
    }
    if (*now > *then) {
        return {ChangeKind::Down, *now - *then};
    }
    return {ChangeKind::Same, 0};
}

void ChangeCounts::Count(const SideChange& change) {
    compared = compared || (change.kind != ChangeKind::First && change.kind != ChangeKind::Failed);
    up += change.kind == ChangeKind::Up ? 1 : 0;
    down += change.kind == ChangeKind::Down ? 1 : 0;
    gained += change.kind == ChangeKind::Gained ? 1 : 0;
    lost += change.kind == ChangeKind::Lost ? 1 : 0;
}

}  // namespace slotscope
