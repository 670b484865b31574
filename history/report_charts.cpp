#include "history/report_charts.h"

#include <algorithm>
#include <cstdio>

#include "history/report_markup.h"

namespace slotscope {

std::string ChartNumber(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

double Spread(double place, std::size_t n, double from, double to) {
    return n <= 1 ? from + (to - from) / 2
                  : from + (to - from) * place / static_cast<double>(n - 1);
}

double Scale(double value, double top, double bottom, double from, double to) {
    const double span = bottom - top;
    const double share = span == 0 ? 0 : (value - top) / span;
    return from + (to - from) * share;
}

std::array<double, 3> Ticks(double top, double bottom) {
    return {top, (top + bottom) / 2, bottom};
}

std::vector<std::size_t> TimeTicks(std::size_t n, std::size_t most) {
    std::vector<std::size_t> ticks;
    if (n == 0) {
        return ticks;
    }
    // Every step-th run back from the newest, the step as short as `most` labels allow.
    const std::size_t spaces = std::max<std::size_t>(most, 2) - 1;
    const std::size_t step = std::max<std::size_t>((n - 1 + spaces - 1) / spaces, 1);
    for (std::size_t back = 0; back < n; back += step) {
        ticks.insert(ticks.begin(), n - 1 - back);
    }
    return ticks;
}

namespace {

// A run's time as a tick's two lines: the date without its year, and the time.
std::pair<std::string_view, std::string_view> TickLines(std::string_view when) {
    const std::size_t space = std::min(when.find(' '), when.size());
    std::string_view date = when.substr(0, space);
    if (date.size() == 10 && date[4] == '-' && date[7] == '-') {
        date.remove_prefix(5);
    }
    return {date, when.substr(std::min(space + 1, when.size()))};
}

}  // namespace

std::string LineChart(const std::string& title, const std::vector<std::optional<double>>& values,
                      double top, double bottom, const std::vector<std::string>& xLabels,
                      int decimals, std::string_view unit) {
    constexpr double width = 420;
    constexpr double height = 180;
    constexpr double left = 44;
    constexpr double right = 24;
    constexpr double upper = 24;
    constexpr double lower = 34;
    const std::size_t n = values.size();
    const auto x = [&](std::size_t i) {
        return Spread(static_cast<double>(i), n, left, width - right);
    };
    const auto y = [&](double v) { return Scale(v, top, bottom, upper, height - lower); };
    std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='" + ChartNumber(width, 0) +
                      "' height='" + ChartNumber(height, 0) + "' role='img' aria-label='" +
                      HtmlEscape(title) + "'><text x='" + ChartNumber(left, 0) + "' y='14'>" +
                      HtmlEscape(title) + "</text>";
    for (const double v : Ticks(top, bottom)) {
        svg += "<line x1='" + ChartNumber(left, 0) + "' x2='" + ChartNumber(width - right, 0) +
               "' y1='" + ChartNumber(y(v), 1) + "' y2='" + ChartNumber(y(v), 1) +
               "' stroke='#e5e5e5'/><text x='" + ChartNumber(left - 6, 0) + "' y='" +
               ChartNumber(y(v) + 4, 1) + "' text-anchor='end'>" + ChartNumber(v, decimals) +
               std::string(unit) + "</text>";
    }
    // Wide enough apart for "12-09" over "14:30:05".
    constexpr std::size_t kMostTicks = 7;
    for (const std::size_t i : TimeTicks(std::min(n, xLabels.size()), kMostTicks)) {
        const auto [date, time] = TickLines(xLabels[i]);
        const std::string at = ChartNumber(x(i), 1);
        svg.append("<line x1='").append(at).append("' x2='").append(at).append("' y1='");
        svg.append(ChartNumber(height - lower, 0)).append("' y2='");
        svg.append(ChartNumber(height - lower + 4, 0)).append("' stroke='#bbb'/><text x='");
        svg.append(at).append("' y='").append(ChartNumber(height - lower + 15, 0));
        svg.append("' text-anchor='middle'>").append(HtmlEscape(date)).append("<tspan x='");
        svg.append(at).append("' dy='12'>").append(HtmlEscape(time)).append("</tspan></text>");
    }
    for (const auto& [first, last] : Stretches(values)) {
        std::string points;
        for (std::size_t i = first; i < last; ++i) {
            points += (points.empty() ? "" : " ") + ChartNumber(x(i), 1) + "," +
                      ChartNumber(y(*values[i]), 1);
        }
        svg += "<polyline fill='none' stroke='#1a73e8' stroke-width='2' points='" + points + "'/>";
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (values[i]) {
            svg += "<circle cx='" + ChartNumber(x(i), 1) + "' cy='" +
                   ChartNumber(y(*values[i]), 1) + "' r='3' fill='#1a73e8'><title>" +
                   HtmlEscape(i < xLabels.size() ? xLabels[i] : std::string()) + ": " +
                   ChartNumber(*values[i], decimals) + std::string(unit) + "</title></circle>";
        }
    }
    return svg + "</svg>";
}

std::string Sparkline(const std::vector<std::optional<int>>& slots) {
    constexpr double width = 150;
    constexpr double height = 34;
    int deepest = 3;
    for (const std::optional<int>& slot : slots) {
        if (slot) {
            deepest = std::max(deepest, *slot);
        }
    }
    const std::size_t n = slots.size();
    const auto at = [&](std::size_t i) {
        // Slot 1 at the top, the deepest at the bottom: the slots are places down the axis.
        return ChartNumber(Spread(static_cast<double>(i), n, 4, width - 4), 1) + "," +
               ChartNumber(Spread(*slots[i] - 1, static_cast<std::size_t>(deepest), 4, height - 4),
                           1);
    };
    std::string svg =
        "<svg xmlns='http://www.w3.org/2000/svg' width='150' height='34'>"
        "<line x1='0' x2='150' y1='4' y2='4' stroke='#eee'/>";
    // Every run's dot in one path of round-capped strokes of no length: a report of thousands
    // of keywords stays small.
    std::string dots;
    for (const auto& [first, last] : Stretches(slots)) {
        std::string points;
        for (std::size_t i = first; i < last; ++i) {
            points += (points.empty() ? "" : " ") + at(i);
            dots += "M" + at(i) + "h0";
        }
        if (last - first > 1) {
            svg += "<polyline fill='none' stroke='#1a73e8' stroke-width='1.5' points='" + points +
                   "'/>";
        }
    }
    if (!dots.empty()) {
        svg += "<path fill='none' stroke='#1a73e8' stroke-width='4' stroke-linecap='round' d='" +
               dots + "'/>";
    }
    return svg + "</svg>";
}

}  // namespace slotscope
