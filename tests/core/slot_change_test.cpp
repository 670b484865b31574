// Where a side stands against the last run that checked the keyword: one table.

#include "core/slot_change.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace slotscope {
namespace {

TEST(SlotChangeTest, EachSideAgainstTheLastSuccessfulCheck) {
    using Before = std::optional<std::optional<int>>;
    const Before never;
    const Before noSlot = std::optional<int>();
    struct Case {
        Before before;
        std::u16string now;
        bool failed;
        ChangeKind kind;
        int by;
    };
    for (const Case& c : {
             Case{never, u"左2", false, ChangeKind::First, 0},
             Case{never, u"查询失败", true, ChangeKind::Failed, 0},
             Case{Before(3), u"查询失败", true, ChangeKind::Failed, 0},
             Case{Before(3), u"左1", false, ChangeKind::Up, 2},
             Case{Before(1), u"右10", false, ChangeKind::Down, 9},
             Case{Before(2), u"上2", false, ChangeKind::Same, 0},
             Case{noSlot, u"左1", false, ChangeKind::Gained, 0},
             Case{Before(1), u"左无", false, ChangeKind::Lost, 0},
             Case{Before(1), u"左侧无推广位", false, ChangeKind::Lost, 0},
             Case{noSlot, u"下无推广位", false, ChangeKind::None, 0},
         }) {
        const SideChange change = CompareSlots(c.before, SlotOf(c.now), c.failed);
        EXPECT_EQ(change.kind, c.kind) << std::string(c.now.begin(), c.now.end());
        EXPECT_EQ(change.by, c.by);
    }
    // What is not a slot: a side without a number, a zero, a number too long for any page.
    for (const std::u16string label : {u"左", u"左0", u"左12345", u"左2a", u"2"}) {
        EXPECT_FALSE(SlotOf(label).has_value());
    }
}

}  // namespace
}  // namespace slotscope
