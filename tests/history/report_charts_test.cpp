// The charts' geometry as numbers: places along an axis, values between bounds, the axis'
// labels and the stretches a line is drawn along.

#include "history/report_charts.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace slotscope {
namespace {

TEST(ReportChartsTest, PlacesAndValuesFallWhereTheChartsDrawThem) {
    const struct {
        double place;
        std::size_t n;
        double expected;
    } places[] = {
        {0, 1, 226}, {0, 2, 44}, {1, 2, 408}, {1, 5, 135}, {3, 4, 408},
    };
    for (const auto& c : places) {
        EXPECT_DOUBLE_EQ(Spread(c.place, c.n, 44, 408), c.expected) << c.place << "/" << c.n;
    }
    const struct {
        double value, top, bottom, expected;
    } values[] = {
        {100, 100, 0, 24}, {0, 100, 0, 146}, {25, 100, 0, 115.5}, {2, 1, 3, 85}, {7, 5, 5, 24},
    };
    for (const auto& c : values) {
        EXPECT_DOUBLE_EQ(Scale(c.value, c.top, c.bottom, 24, 146), c.expected) << c.value;
    }
    EXPECT_EQ(Ticks(1, 4), (std::array<double, 3>{1, 2.5, 4}));
}

TEST(ReportChartsTest, ALineIsBrokenWhereAValueIsMissing) {
    using Stretch = std::vector<std::pair<std::size_t, std::size_t>>;
    const std::optional<int> none;
    const struct {
        std::vector<std::optional<int>> values;
        Stretch expected;
    } cases[] = {
        {{}, {}},
        {{none, none}, {}},
        {{1, 2, 3}, {{0, 3}}},
        {{none, 1, none, 2, 2, none}, {{1, 2}, {3, 5}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Stretches(c.values), c.expected) << c.values.size();
    }
}

}  // namespace
}  // namespace slotscope
