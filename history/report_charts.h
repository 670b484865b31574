#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace slotscope {

// The report's charts as markup: inline SVG computed from numbers, every text in it escaped.

// A number with `decimals` decimals, as the charts write it.
std::string ChartNumber(double value, int decimals);

// The charts' geometry, in the drawing's units.
// Place `place` (from 0) of `n` spread evenly from `from` to `to`; a single one sits midway.
double Spread(double place, std::size_t n, double from, double to);
// Where `value` sits between `top` (drawn at `from`) and `bottom` (at `to`); everything is drawn
// at `from` when the two are one.
double Scale(double value, double top, double bottom, double from, double to);
// The values an axis is labelled with: top, middle and bottom.
std::array<double, 3> Ticks(double top, double bottom);
// The stretches of values present one after another, as [first, last) of their places: a line
// is drawn along each, broken where a value is missing.
template <typename T>
std::vector<std::pair<std::size_t, std::size_t>> Stretches(
    const std::vector<std::optional<T>>& values) {
    std::vector<std::pair<std::size_t, std::size_t>> stretches;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i]) {
            continue;
        }
        if (stretches.empty() || stretches.back().second != i) {
            stretches.emplace_back(i, i);
        }
        stretches.back().second = i + 1;
    }
    return stretches;
}

// The runs, of `n`, whose times label a chart's time axis, oldest first: at most `most`, evenly
// spaced back from the newest, which is always among them.
std::vector<std::size_t> TimeTicks(std::size_t n, std::size_t most);

// A line over the runs, with gaps where a value is missing: `top` is drawn at the top, the
// axis is labelled at top, middle and bottom, and the time axis at TimeTicks with each run's
// time in `xLabels` ("2026-12-09 14:30": its date without the year over its time).
std::string LineChart(const std::string& title, const std::vector<std::optional<double>>& values,
                      double top, double bottom, const std::vector<std::string>& xLabels,
                      int decimals, std::string_view unit);

// A keyword's left slot over the runs, small: slot 1 at the top, gaps where it had none.
std::string Sparkline(const std::vector<std::optional<int>>& slots);

}  // namespace slotscope
