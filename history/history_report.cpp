#include "history/history_report.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/file_open.h"
#include "core/side_file.h"
#include "history/local_time.h"

namespace slotscope {
namespace {

std::string Escape(std::string_view text) {
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

std::string Number(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    }
    return lower;
}

// The user's own site as shown sites are written: lower case, without "www.".
std::string OwnSite(std::string_view site) {
    const std::string own = LowerAscii(BareSite(site));
    return own.substr(0, own.find_first_of("/?#"));
}

// The site itself or one of its own hosts (m.shop.cn for shop.cn), not one that only ends alike.
bool IsOwn(const std::string& shown, const std::string& own) {
    return !own.empty() && (shown == own || (shown.size() > own.size() && shown.ends_with(own) &&
                                             shown[shown.size() - own.size() - 1] == '.'));
}

// How a run ended, where it did not finish.
std::string EndedNote(const StoredRun& run) {
    if (run.ended == "stopped") {
        return "，已停止";
    }
    if (run.ended == "interrupted") {
        return "，尚未结束或被中断";
    }
    return {};
}

// The page a run's charts and counts read: the phone's for a phone run, else the desktop's.
std::string_view MainPage(const StoredRun& run) {
    return run.device == "mobile" ? "mobile" : "pc";
}

// A keyword on one page, across the runs covered.
struct KeywordLine {
    const StoredResult* latest = nullptr;
    std::vector<const StoredResult*> byRun;  // by run index; null where it was not checked
};

constexpr const char* kStyle = R"css(
body { font-family: "Microsoft YaHei", "WenQuanYi Micro Hei", "Noto Sans CJK SC", sans-serif;
       margin: 24px; color: #222; background: #fff; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 17px; margin: 28px 0 8px; border-bottom: 1px solid #ddd; padding-bottom: 4px; }
.meta { color: #555; margin: 0 0 8px; }
.counts span { display: inline-block; margin-right: 18px; font-size: 15px; }
.counts b { font-size: 20px; }
table { border-collapse: collapse; font-size: 13px; }
th, td { border: 1px solid #ddd; padding: 3px 7px; text-align: left; vertical-align: top; }
th { background: #f3f3f3; font-weight: normal; color: #444; }
td.kw, .runs td { white-space: nowrap; }
.up, .gained { color: #137333; }
.down, .lost { color: #c5221f; }
.failed { color: #888; }
.mark { margin-left: 4px; font-weight: bold; }
mark { background: #fde293; padding: 0 2px; }
ol { margin: 0; padding-left: 20px; }
svg text { font-size: 11px; fill: #555; }
.charts { display: flex; flex-wrap: wrap; gap: 24px; }
.none { color: #999; }
)css";

// A line over the runs, with gaps where a value is missing: `top` is drawn at the top.
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
    std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='" + Number(width, 0) +
                      "' height='" + Number(height, 0) + "' role='img' aria-label='" +
                      Escape(title) + "'><text x='" + Number(left, 0) + "' y='14'>" +
                      Escape(title) + "</text>";
    for (const double v : {top, (top + bottom) / 2, bottom}) {
        svg += "<line x1='" + Number(left, 0) + "' x2='" + Number(width - right, 0) + "' y1='" +
               Number(y(v), 1) + "' y2='" + Number(y(v), 1) + "' stroke='#e5e5e5'/><text x='" +
               Number(left - 6, 0) + "' y='" + Number(y(v) + 4, 1) + "' text-anchor='end'>" +
               Number(v, decimals) + std::string(unit) + "</text>";
    }
    if (!xLabels.empty()) {
        svg += "<text x='" + Number(x(0), 1) + "' y='" + Number(height - 12, 0) + "'>" +
               Escape(xLabels.front()) + "</text>";
        if (n > 1) {
            svg += "<text x='" + Number(x(n - 1), 1) + "' y='" + Number(height - 12, 0) +
                   "' text-anchor='end'>" + Escape(xLabels.back()) + "</text>";
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
        points += (points.empty() ? "" : " ") + Number(x(i), 1) + "," + Number(y(*values[i]), 1);
    }
    flush();
    for (std::size_t i = 0; i < n; ++i) {
        if (values[i]) {
            svg += "<circle cx='" + Number(x(i), 1) + "' cy='" + Number(y(*values[i]), 1) +
                   "' r='3' fill='#1a73e8'><title>" +
                   Escape(i < xLabels.size() ? xLabels[i] : std::string()) + ": " +
                   Number(*values[i], decimals) + std::string(unit) + "</title></circle>";
        }
    }
    return svg + "</svg>";
}

// A keyword's left slot over the runs, small: slot 1 at the top, gaps where it had none.
std::string Sparkline(const KeywordLine& line) {
    constexpr double width = 150;
    constexpr double height = 34;
    int deepest = 3;
    for (const StoredResult* result : line.byRun) {
        if (result != nullptr && result->left.slot) {
            deepest = std::max(deepest, *result->left.slot);
        }
    }
    const std::size_t n = line.byRun.size();
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
    const auto flush = [&] {
        if (count > 1) {
            svg += "<polyline fill='none' stroke='#1a73e8' stroke-width='1.5' points='" + points +
                   "'/>";
        }
        points.clear();
        count = 0;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const StoredResult* result = line.byRun[i];
        if (result == nullptr || !result->left.slot) {
            flush();
            continue;
        }
        const std::string at = Number(x(i), 1) + "," + Number(y(*result->left.slot), 1);
        points += (points.empty() ? "" : " ") + at;
        ++count;
        svg += "<circle cx='" + Number(x(i), 1) + "' cy='" + Number(y(*result->left.slot), 1) +
               "' r='2' fill='#1a73e8'/>";
    }
    flush();
    return svg + "</svg>";
}

// A side's change as an arrow or word, coloured.
std::string ChangeMark(const StoredChange& change) {
    const std::string by = change.by ? std::to_string(*change.by) : std::string();
    if (change.kind == "up") {
        return "<span class='mark up' title='上升'>↑" + by + "</span>";
    }
    if (change.kind == "down") {
        return "<span class='mark down' title='下降'>↓" + by + "</span>";
    }
    if (change.kind == "gained") {
        return "<span class='mark gained' title='新上'>↑新</span>";
    }
    if (change.kind == "lost") {
        return "<span class='mark lost' title='掉出'>↓出</span>";
    }
    return {};
}

std::string SiteList(const StoredSide& side, const std::string& own) {
    if (!side.sites) {
        return "<span class='none'>—</span>";
    }
    if (side.sites->empty()) {
        return "<span class='none'>无推广位</span>";
    }
    std::string list = "<ol>";
    for (const std::string& site : *side.sites) {
        const std::string text = site.empty() ? "（未显示网址）" : Escape(site);
        list += IsOwn(site, own) ? "<li><mark>" + text + "</mark></li>" : "<li>" + text + "</li>";
    }
    return list + "</ol>";
}

}  // namespace

std::string HistoryReport(const SiteHistory& history, const ReportOptions& options) {
    const auto local = [&](std::string_view utc) {
        return options.localTime ? options.localTime(utc) : LocalTimeText(utc);
    };
    const std::vector<StoredRun>& runs = history.runs;
    std::unordered_map<long long, std::size_t> runIndex;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        runIndex[runs[i].id] = i;
    }
    // Keywords as the latest run that checked them orders them; those of older runs after.
    std::map<std::pair<std::string, std::string>, std::size_t> lineOf;
    std::vector<KeywordLine> lines;
    std::vector<std::vector<const StoredResult*>> resultsByRun(runs.size());
    for (const StoredResult& result : history.results) {
        if (const auto found = runIndex.find(result.run); found != runIndex.end()) {
            resultsByRun[found->second].push_back(&result);
        }
    }
    bool bothPages = false;
    for (std::size_t r = runs.size(); r-- > 0;) {
        for (const StoredResult* result : resultsByRun[r]) {
            // Keywords of the desktop and of the phone page say which they are.
            bothPages = bothPages || result->page != history.results.front().page;
            auto [at, added] = lineOf.try_emplace({result->page, result->keyword}, lines.size());
            if (added) {
                lines.push_back({result, std::vector<const StoredResult*>(runs.size())});
            }
            lines[at->second].byRun[r] = result;
        }
    }

    const std::string own = OwnSite(history.site);
    std::string html =
        "<!DOCTYPE html>\n<html lang='zh-CN'><head><meta charset='utf-8'>"
        "<meta name='viewport' content='width=device-width'>"
        "<title>推广位历史 - " +
        Escape(history.site) + "</title><style>" + kStyle +
        "</style></head><body>\n<h1>推广位历史：" + Escape(history.site) + "</h1>";
    if (runs.empty()) {
        return html + "<p class='meta'>这个网站还没有查询记录。</p></body></html>\n";
    }
    html += "<p class='meta'>共 " + std::to_string(runs.size()) + " 次查询，" +
            Escape(local(runs.front().started)) + " 至 " + Escape(local(runs.back().started)) +
            "（本机时间）</p>\n";

    // The latest run against the one before.
    const StoredRun& latest = runs.back();
    int up = 0;
    int down = 0;
    int gained = 0;
    int lost = 0;
    int failed = 0;
    for (const StoredResult* result : resultsByRun.back()) {
        if (result->page != MainPage(latest)) {
            continue;
        }
        const std::string& kind = result->left.change.kind;
        up += kind == "up" ? 1 : 0;
        down += kind == "down" ? 1 : 0;
        gained += kind == "gained" ? 1 : 0;
        lost += kind == "lost" ? 1 : 0;
        failed += result->failed ? 1 : 0;
    }
    html +=
        "<h2>最近一次（" + Escape(local(latest.started)) + EndedNote(latest) + "）比上一次</h2>";
    if (runs.size() < 2) {
        html += "<p class='meta'>只有这一次查询，还没有可比较的上一次。</p>";
    }
    html += "<p class='counts'><span class='up'>上升 <b>" + std::to_string(up) +
            "</b></span><span class='down'>下降 <b>" + std::to_string(down) +
            "</b></span><span class='gained'>新上 <b>" + std::to_string(gained) +
            "</b></span><span class='lost'>掉出 <b>" + std::to_string(lost) +
            "</b></span><span class='failed'>查询失败 <b>" + std::to_string(failed) +
            "</b></span></p>\n";

    // The charts, run by run.
    std::vector<std::optional<double>> share(runs.size());
    std::vector<std::optional<double>> average(runs.size());
    std::vector<std::string> when(runs.size());
    int deepest = 1;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        when[r] = local(runs[r].started);
        int checked = 0;
        int holding = 0;
        int slots = 0;
        for (const StoredResult* result : resultsByRun[r]) {
            if (result->page != MainPage(runs[r]) || result->failed) {
                continue;
            }
            ++checked;
            if (result->left.slot) {
                ++holding;
                slots += *result->left.slot;
                deepest = std::max(deepest, *result->left.slot);
            }
        }
        if (checked > 0) {
            share[r] = 100.0 * holding / checked;
        }
        if (holding > 0) {
            average[r] = static_cast<double>(slots) / holding;
        }
    }
    html += "<h2>每次查询</h2><div class='charts'>" +
            LineChart("占到左侧推广位的关键词比例", share, 100, 0, when, 0, "%") +
            LineChart("平均左侧位置（1 在最上）", average, 1, std::max(deepest, 2), when, 1, "") +
            "</div>\n";

    // The keywords over the last runs.
    const std::size_t shown =
        std::min(runs.size(), static_cast<std::size_t>(std::max(options.tableRuns, 1)));
    const std::size_t firstShown = runs.size() - shown;
    html += "<h2>关键词（最近 " + std::to_string(shown) +
            " 次）</h2><table class='runs'><thead><tr><th>关键词</th>";
    for (std::size_t r = firstShown; r < runs.size(); ++r) {
        html += "<th>" + Escape(when[r]) + "</th>";
    }
    html += "<th>左侧位置走势</th></tr></thead><tbody>\n";
    for (const KeywordLine& line : lines) {
        html += "<tr><td class='kw'>" + Escape(line.latest->keyword) +
                (bothPages ? (line.latest->page == "mobile" ? "（手机）" : "（电脑）") : "") +
                "</td>";
        for (std::size_t r = firstShown; r < runs.size(); ++r) {
            const StoredResult* result = line.byRun[r];
            if (result == nullptr) {
                html += "<td class='none'></td>";
                continue;
            }
            html += std::string("<td") + (result->failed ? " class='failed'" : "") + ">" +
                    Escape(result->left.label) + ChangeMark(result->left.change) + " " +
                    Escape(result->right.label) + ChangeMark(result->right.change) + "</td>";
        }
        html += "<td>" + Sparkline(line) + "</td></tr>\n";
    }
    html += "</tbody></table>\n";

    // Who holds the slots in the latest run.
    html += "<h2>谁占了推广位（" + Escape(local(latest.started)) +
            "）</h2><table><thead><tr><th>关键词</th><th>左侧 / 上方</th><th>右侧 / 下方</th>"
            "</tr></thead><tbody>\n";
    for (const StoredResult* result : resultsByRun.back()) {
        html += "<tr><td class='kw'>" + Escape(result->keyword) +
                (bothPages ? (result->page == "mobile" ? "（手机）" : "（电脑）") : "") +
                "</td><td>" + SiteList(result->left, own) + "</td><td>" +
                SiteList(result->right, own) + "</td></tr>\n";
    }
    html += "</tbody></table>\n<p class='meta'>由 Slotscope 生成。</p></body></html>\n";
    return html;
}

}  // namespace slotscope

namespace slotscope {

std::string ReportPathBeside(const std::string& utf8HistoryPath) {
    const std::size_t slash = utf8HistoryPath.find_last_of("/\\");
    const std::string folder =
        slash == std::string::npos ? std::string() : utf8HistoryPath.substr(0, slash + 1);
    return folder + "slotscope-report.html";
}

SiteReport WriteSiteReport(const std::string& utf8HistoryPath, const std::string& site,
                           int lastRuns, std::string utf8OutputPath, const ReportOptions& options) {
    SiteReport report;
    report.path =
        utf8OutputPath.empty() ? ReportPathBeside(utf8HistoryPath) : std::move(utf8OutputPath);
    if (!IsRegularFile(utf8HistoryPath)) {
        report.outcome = SiteReport::Outcome::NoHistory;
        report.problem = "no history yet: " + utf8HistoryPath;
        return report;
    }
    std::string problem;
    const std::optional<SiteHistory> history =
        ReadSiteHistory(utf8HistoryPath, site, lastRuns, problem);
    if (!history) {
        report.problem = "history file " + utf8HistoryPath + ": " + problem;
        return report;
    }
    if (history->runs.empty()) {
        report.outcome = SiteReport::Outcome::NoHistory;
        report.problem = "no run of " + site + " in " + utf8HistoryPath;
        return report;
    }
    if (SameFile(report.path, utf8HistoryPath) || SameFile(report.path, utf8HistoryPath + "-wal") ||
        SameFile(report.path, utf8HistoryPath + "-shm")) {
        report.problem = "the report would replace the history file " + utf8HistoryPath;
        return report;
    }
    const std::string html = HistoryReport(*history, options);
    // The old report stays whole until the new one is: a new file put in its place.
    if (!ReplaceFileContents(report.path, html, SideFile::Access::AsTarget, ".partial")) {
        report.problem = "the report could not be written to " + report.path;
        return report;
    }
    report.outcome = SiteReport::Outcome::Written;
    return report;
}

}  // namespace slotscope
