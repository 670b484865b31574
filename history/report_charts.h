#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace slotscope {

// The report's text and charts as markup: inline SVG computed from numbers.

// Text for HTML, in an element or an attribute value: & < > " ' as character references.
std::string HtmlEscape(std::string_view text);

// A number with `decimals` decimals, as the charts write it.
std::string ChartNumber(double value, int decimals);

// A line over the runs, with gaps where a value is missing: `top` is drawn at the top, the
// axis is labelled at top, middle and bottom, and the first and last runs are named by
// `xLabels`.
std::string LineChart(const std::string& title, const std::vector<std::optional<double>>& values,
                      double top, double bottom, const std::vector<std::string>& xLabels,
                      int decimals, std::string_view unit);

// A keyword's left slot over the runs, small: slot 1 at the top, gaps where it had none.
std::string Sparkline(const std::vector<std::optional<int>>& slots);

}  // namespace slotscope
