// The charts' geometry as numbers: places along an axis, values between bounds, the axis'
// labels and the stretches a line is drawn along.

#include "history/report_charts.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
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

TEST(ReportChartsTest, TheTimeAxisNamesRunsEvenlyBackFromTheNewest) {
    const struct {
        std::size_t n;
        std::size_t most;
        std::vector<std::size_t> expected;
    } cases[] = {
        {0, 7, {}},
        {1, 7, {0}},
        {5, 7, {0, 1, 2, 3, 4}},
        {7, 7, {0, 1, 2, 3, 4, 5, 6}},
        {10, 7, {1, 3, 5, 7, 9}},
        {12, 7, {1, 3, 5, 7, 9, 11}},
        {30, 7, {4, 9, 14, 19, 24, 29}},
        {30, 1, {0, 29}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TimeTicks(c.n, c.most), c.expected) << c.n << " " << c.most;
    }
    // A day of runs every two hours: each tick its date over its time.
    std::vector<std::optional<double>> values(12, 50.0);
    std::vector<std::string> when;
    for (int hour = 0; hour < 24; hour += 2) {
        when.push_back("2026-12-09 " + std::string(hour < 10 ? "0" : "") + std::to_string(hour) +
                       ":30");
    }
    const std::string chart = LineChart("t", values, 100, 0, when, 0, "%");
    for (const char* tick :
         {">12-09<tspan", ">02:30</tspan>", ">10:30</tspan>", ">22:30</tspan>"}) {
        EXPECT_NE(chart.find(tick), std::string::npos) << tick << chart;
    }
    EXPECT_EQ(chart.find(">00:30</tspan>"), std::string::npos);
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
