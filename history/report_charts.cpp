#include "history/report_charts.h"

#include <algorithm>
#include <cstdio>

namespace slotscope {

std::string HtmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string ChartNumber(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string LineChart(const std::string& title, const std::vector<std::optional<double>>& values,
                      double top, double bottom, const std::vector<std::string>& xLabels,
                      int decimals, std::string_view unit) {
    constexpr double width = 420;
    constexpr double height = 180;
    constexpr double left = 44;
    constexpr double right = 12;
    constexpr double upper = 24;
    constexpr double lower = 34;
    const std::size_t n = values.size();
    const auto x = [&](std::size_t i) {
        return n <= 1 ? left + (width - left - right) / 2
                      : left + (width - left - right) * static_cast<double>(i) /
                                   static_cast<double>(n - 1);
    };
    const auto y = [&](double v) {
        const double span = bottom - top;
        const double share = span == 0 ? 0 : (v - top) / span;
        return upper + (height - upper - lower) * share;
    };
    std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='" + ChartNumber(width, 0) +
                      "' height='" + ChartNumber(height, 0) + "' role='img' aria-label='" +
                      HtmlEscape(title) + "'><text x='" + ChartNumber(left, 0) + "' y='14'>" +
                      HtmlEscape(title) + "</text>";
    for (const double v : {top, (top + bottom) / 2, bottom}) {
        svg += "<line x1='" + ChartNumber(left, 0) + "' x2='" + ChartNumber(width - right, 0) +
               "' y1='" + ChartNumber(y(v), 1) + "' y2='" + ChartNumber(y(v), 1) +
               "' stroke='#e5e5e5'/><text x='" + ChartNumber(left - 6, 0) + "' y='" +
               ChartNumber(y(v) + 4, 1) + "' text-anchor='end'>" + ChartNumber(v, decimals) +
               std::string(unit) + "</text>";
    }
    if (!xLabels.empty()) {
        svg += "<text x='" + ChartNumber(x(0), 1) + "' y='" + ChartNumber(height - 12, 0) + "'>" +
               HtmlEscape(xLabels.front()) + "</text>";
        if (n > 1) {
            svg += "<text x='" + ChartNumber(x(n - 1), 1) + "' y='" + ChartNumber(height - 12, 0) +
                   "' text-anchor='end'>" + HtmlEscape(xLabels.back()) + "</text>";
        }
    }
    std::string points;
    const auto flush = [&] {
        if (!points.empty()) {
            svg +=
                "<polyline fill='none' stroke='#1a73e8' stroke-width='2' points='" + points + "'/>";
            points.clear();
        }
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (!values[i]) {
            flush();
            continue;
        }
        points += (points.empty() ? "" : " ") + ChartNumber(x(i), 1) + "," +
                  ChartNumber(y(*values[i]), 1);
    }
    flush();
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
    const auto x = [&](std::size_t i) {
        return n <= 1 ? width / 2
                      : 4 + (width - 8) * static_cast<double>(i) / static_cast<double>(n - 1);
    };
    const auto y = [&](int slot) {
        return 4 + (height - 8) * static_cast<double>(slot - 1) / static_cast<double>(deepest - 1);
    };
    std::string svg =
        "<svg xmlns='http://www.w3.org/2000/svg' width='150' height='34'>"
        "<line x1='0' x2='150' y1='4' y2='4' stroke='#eee'/>";
    std::string points;
    std::size_t count = 0;
    // Every run's dot in one path of round-capped strokes of no length: a report of thousands
    // of keywords stays small.
    std::string dots;
    const auto flush = [&] {
        if (count > 1) {
            svg += "<polyline fill='none' stroke='#1a73e8' stroke-width='1.5' points='" + points +
                   "'/>";
        }
        points.clear();
        count = 0;
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (!slots[i]) {
            flush();
            continue;
        }
        const std::string at = ChartNumber(x(i), 1) + "," + ChartNumber(y(*slots[i]), 1);
        points += (points.empty() ? "" : " ") + at;
        dots += "M" + at + "h0";
        ++count;
    }
    flush();
    if (!dots.empty()) {
        svg += "<path fill='none' stroke='#1a73e8' stroke-width='4' stroke-linecap='round' d='" +
               dots + "'/>";
    }
    return svg + "</svg>";
}

}  // namespace slotscope
