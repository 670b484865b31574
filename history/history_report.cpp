#include "history/history_report.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/file_open.h"
#include "base/side_file.h"
#include "base/text_codec.h"
#include "core/run_captions.h"
#include "history/history_file.h"
#include "history/local_time.h"
#include "history/report_charts.h"
#include "page/own_site.h"

namespace slotscope {
namespace {

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
        const std::string text = site.empty() ? "（未显示网址）" : HtmlEscape(site);
        list +=
            HoldsSite(site, own) ? "<li><mark>" + text + "</mark></li>" : "<li>" + text + "</li>";
    }
    return list + "</ol>";
}

// A failed check's cell: what it met, and why where the history knows.
std::string FailedCell(const StoredResult& result) {
    const std::u16string_view kind = FailureKindText(StoredFailureKind(result.failed.value_or("")));
    std::string cell = "<td class='failed'";
    if (result.failureReason && !result.failureReason->empty()) {
        cell += " title='" + HtmlEscape(*result.failureReason) + "'";
    }
    return cell + ">查询失败" + (kind.empty() ? "" : "（" + EncodeUtf8(kind) + "）") + "</td>";
}

// Whether a side moved since the run before: what the report lists in full.
bool Moved(const StoredChange& change) {
    return change.kind == "up" || change.kind == "down" || change.kind == "gained" ||
           change.kind == "lost";
}

bool Changed(const StoredResult& result) {
    return Moved(result.left.change) || Moved(result.right.change);
}

// A keyword on a page, as one string for a set of them.
std::string KeyOf(const std::string& page, const std::string& keyword) {
    return page + '\n' + keyword;
}

// The keywords the report's table shows, in its order, and how many it leaves out.
struct ShownKeywords {
    std::vector<std::pair<std::string, std::string>> lines;  // page and keyword
    std::unordered_set<std::string> keys;                    // KeyOf each of them
    int leftOut = 0;
    int unchanged = 0;  // shown, though they did not change

    void Offer(const std::string& page, const std::string& keyword, bool changed, int most) {
        if (!changed && unchanged >= most) {
            ++leftOut;
            return;
        }
        unchanged += changed ? 0 : 1;
        lines.emplace_back(page, keyword);
        keys.insert(KeyOf(page, keyword));
    }
};

// How the latest run's keywords moved on its own page since the run before.
struct LatestCounts {
    int up = 0;
    int down = 0;
    int gained = 0;
    int lost = 0;
    int failed = 0;

    void Count(const StoredResult& result) {
        const std::string& kind = result.left.change.kind;
        up += kind == "up" ? 1 : 0;
        down += kind == "down" ? 1 : 0;
        gained += kind == "gained" ? 1 : 0;
        lost += kind == "lost" ? 1 : 0;
        failed += result.failed ? 1 : 0;
    }
};

// Pieces of the page, handed on in pieces of about 64 KiB.
class Page final {
  public:
    explicit Page(const ExportOut& out) : out_(out) {}
    void operator+=(std::string_view text) {
        buffer_ += text;
        if (buffer_.size() >= kPiece) {
            Flush();
        }
    }
    bool Flush() {
        written_ = written_ && (buffer_.empty() || out_(buffer_));
        buffer_.clear();
        return written_;
    }
    bool written() const { return written_; }

  private:
    static constexpr std::size_t kPiece = std::size_t{64} * 1024;
    const ExportOut& out_;
    std::string buffer_;
    bool written_ = true;
};

std::string PageNote(bool bothPages, const std::string& page) {
    return bothPages ? (page == "mobile" ? "（手机）" : "（电脑）") : "";
}

}  // namespace

ExportEnd WriteHistoryReport(HistoryReader& reader, const std::string& site,
                             const std::vector<StoredRun>& runs, const ReportOptions& options,
                             const ExportOut& out) {
    const auto local = [&](std::string_view utc) {
        return options.localTime ? options.localTime(utc) : LocalTimeText(utc);
    };
    const std::string shownSite = SiteKey(site);
    Page html(out);
    html +=
        "<!DOCTYPE html>\n<html lang='zh-CN'><head><meta charset='utf-8'>"
        "<meta name='viewport' content='width=device-width'><title>推广位历史 - " +
        HtmlEscape(shownSite) + "</title><style>" + kStyle +
        "</style></head><body>\n<h1>推广位历史：" + HtmlEscape(shownSite) + "</h1>";
    if (runs.empty()) {
        html += "<p class='meta'>这个网站还没有查询记录。</p></body></html>\n";
        return html.Flush() ? ExportEnd::Written : ExportEnd::WriteFailed;
    }
    std::unordered_map<long long, std::size_t> runIndex;
    bool desktop = false;
    bool phone = false;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        runIndex[runs[i].id] = i;
        desktop = desktop || runs[i].device != "mobile";
        phone = phone || runs[i].device != "pc";
    }
    // Keywords of the desktop and of the phone page say which they are.
    const bool bothPages = desktop && phone;
    const StoredRun& latest = runs.back();
    const std::string_view latestPage = MainPage(latest);

    // The latest run: how it moved, and which keywords the table shows; then those that only
    // earlier runs checked.
    LatestCounts counts;
    ShownKeywords shown;
    const int most = std::max(options.unchangedKeywords, 0);
    const bool read =
        reader.ResultsOfRun(latest.id,
                            [&](const StoredResult& result) {
                                if (result.page == latestPage) {
                                    counts.Count(result);
                                }
                                shown.Offer(result.page, result.keyword, Changed(result), most);
                                return true;
                            }) &&
        reader.KeywordsBeforeTheLast(site, runs,
                                     [&](const std::string& page, const std::string& keyword) {
                                         shown.Offer(page, keyword, false, most);
                                         return true;
                                     });
    const std::optional<std::vector<RunTotals>> totals = read ? reader.Totals(runs) : std::nullopt;
    if (!totals) {
        return ExportEnd::ReadFailed;
    }

    html += "<p class='meta'>共 " + std::to_string(runs.size()) + " 次查询，" +
            HtmlEscape(local(runs.front().started)) + " 至 " + HtmlEscape(local(latest.started)) +
            "（本机时间）</p>\n";
    html += "<h2>最近一次（" + HtmlEscape(local(latest.started)) + EndedNote(latest) +
            "）比上一次</h2>";
    if (runs.size() < 2) {
        html += "<p class='meta'>只有这一次查询，还没有可比较的上一次。</p>";
    }
    html += "<p class='counts'><span class='up'>上升 <b>" + std::to_string(counts.up) +
            "</b></span><span class='down'>下降 <b>" + std::to_string(counts.down) +
            "</b></span><span class='gained'>新上 <b>" + std::to_string(counts.gained) +
            "</b></span><span class='lost'>掉出 <b>" + std::to_string(counts.lost) +
            "</b></span><span class='failed'>查询失败 <b>" + std::to_string(counts.failed) +
            "</b></span></p>\n";

    // The charts, run by run.
    std::vector<std::optional<double>> share(runs.size());
    std::vector<std::optional<double>> average(runs.size());
    std::vector<std::string> when(runs.size());
    int deepest = 1;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        when[r] = local(runs[r].started);
        const RunTotals& run = (*totals)[r];
        if (run.checked > 0) {
            share[r] = 100.0 * run.holding / run.checked;
        }
        if (run.holding > 0) {
            average[r] = static_cast<double>(run.slotSum) / run.holding;
        }
        deepest = std::max(deepest, run.deepest);
    }
    html += "<h2>每次查询</h2><div class='charts'>" +
            LineChart("占到左侧推广位的关键词比例", share, 100, 0, when, 0, "%") +
            LineChart("平均左侧位置（1 在最上）", average, 1, std::max(deepest, 2), when, 1, "") +
            "</div>\n";

    // The keywords over the last runs, each read on its own.
    const std::size_t tableRuns =
        std::min(runs.size(), static_cast<std::size_t>(std::max(options.tableRuns, 1)));
    const std::size_t firstShown = runs.size() - tableRuns;
    html += "<h2>关键词（最近 " + std::to_string(tableRuns) +
            " 次）</h2><table class='runs'><thead><tr><th>关键词</th>";
    for (std::size_t r = firstShown; r < runs.size(); ++r) {
        html += "<th>" + HtmlEscape(when[r]) + "</th>";
    }
    html += "<th>左侧位置走势</th></tr></thead><tbody>\n";
    std::vector<std::optional<StoredResult>> byRun(runs.size());
    std::vector<std::optional<int>> slots(runs.size());
    for (const auto& [page, keyword] : shown.lines) {
        std::fill(byRun.begin(), byRun.end(), std::nullopt);
        std::fill(slots.begin(), slots.end(), std::nullopt);
        const bool lineRead = reader.ResultsOfKeyword(
            page, keyword, runs.front().id, [&](const StoredResult& result) {
                if (const auto found = runIndex.find(result.run); found != runIndex.end()) {
                    slots[found->second] = result.left.slot;
                    if (found->second >= firstShown) {
                        byRun[found->second] = result;
                    }
                }
                return true;
            });
        if (!lineRead) {
            return ExportEnd::ReadFailed;
        }
        std::string row =
            "<tr><td class='kw'>" + HtmlEscape(keyword) + PageNote(bothPages, page) + "</td>";
        for (std::size_t r = firstShown; r < runs.size(); ++r) {
            const std::optional<StoredResult>& result = byRun[r];
            if (!result) {
                row += "<td class='none'></td>";
                continue;
            }
            if (result->failed) {
                row += FailedCell(*result);
                continue;
            }
            row += "<td>" + HtmlEscape(result->left.label) + ChangeMark(result->left.change) + " " +
                   HtmlEscape(result->right.label) + ChangeMark(result->right.change) + "</td>";
        }
        html += row + "<td>" + Sparkline(slots) + "</td></tr>\n";
        if (!html.written()) {
            return ExportEnd::WriteFailed;
        }
    }
    html += "</tbody></table>\n";
    if (shown.leftOut > 0) {
        html += "<p class='meta'>另有 " + std::to_string(shown.leftOut) +
                " 个关键词未列出：它们的位置与上一次相比没有变化，或最近一次没有查到。全部数据可在"
                "历史文件所在的文件夹里用 slotscope-cli history --site " +
                HtmlEscape(shownSite) + " --format csv 导出。</p>\n";
    }

    // Who holds the slots in the latest run, for the keywords of the table.
    html += "<h2>谁占了推广位（" + HtmlEscape(local(latest.started)) +
            "）</h2><table><thead><tr><th>关键词</th><th>左侧 / 上方</th><th>右侧 / 下方</th>"
            "</tr></thead><tbody>\n";
    const std::string own = SiteKey(site);
    const bool holdersRead = reader.ResultsOfRun(latest.id, [&](const StoredResult& result) {
        if (shown.keys.contains(KeyOf(result.page, result.keyword))) {
            html += "<tr><td class='kw'>" + HtmlEscape(result.keyword) +
                    PageNote(bothPages, result.page) + "</td><td>" + SiteList(result.left, own) +
                    "</td><td>" + SiteList(result.right, own) + "</td></tr>\n";
        }
        return html.written();
    });
    if (!html.written()) {
        return ExportEnd::WriteFailed;
    }
    if (!holdersRead) {
        return ExportEnd::ReadFailed;
    }
    html += "</tbody></table>\n<p class='meta'>由 Slotscope 生成。</p></body></html>\n";
    return html.Flush() ? ExportEnd::Written : ExportEnd::WriteFailed;
}

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
    const std::unique_ptr<HistoryReader> reader = HistoryReader::Open(utf8HistoryPath, problem);
    const int covered = lastRuns > 0 ? std::min(lastRuns, kReportRuns) : kReportRuns;
    const std::optional<std::vector<StoredRun>> runs =
        reader != nullptr ? reader->Runs(site, covered) : std::nullopt;
    if (!runs) {
        report.problem = "history file " + utf8HistoryPath + ": " +
                         (reader != nullptr ? reader->problem() : problem);
        return report;
    }
    if (runs->empty()) {
        report.outcome = SiteReport::Outcome::NoHistory;
        report.problem = "no run of " + site + " in " + utf8HistoryPath;
        return report;
    }
    for (const char* side : {"", "-wal", "-shm"}) {
        if (SameFile(report.path, utf8HistoryPath + side)) {
            report.problem = "the report would replace the history file " + utf8HistoryPath;
            return report;
        }
    }
    // The old report stays whole until the new one is: a new file put in its place.
    SideFile file(report.path, ".partial", SideFile::Access::AsTarget);
    const ExportEnd end = WriteHistoryReport(
        *reader, site, *runs, options, [&](std::string_view text) { return file.Write(text); });
    if (end == ExportEnd::ReadFailed) {
        report.problem = "history file " + utf8HistoryPath + ": " + reader->problem();
        return report;
    }
    if (end != ExportEnd::Written || !file.Commit()) {
        report.problem = "the report could not be written to " + report.path;
        return report;
    }
    report.outcome = SiteReport::Outcome::Written;
    return report;
}

}  // namespace slotscope
