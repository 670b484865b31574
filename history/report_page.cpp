#include "history/report_page.h"

#include <algorithm>

#include "base/text_codec.h"
#include "core/run_captions.h"
#include "history/history_file.h"
#include "history/report_charts.h"
#include "page/own_site.h"

namespace slotscope {
namespace {

using markup::Attribute;
using markup::Fill;
using markup::Html;
using markup::Markup;
using markup::Number;
using markup::Template;
using markup::Text;

// How a run ended, where it did not finish.
Template EndedNote(const StoredRun& run) {
    if (run.ended == "stopped") {
        return "，已停止";
    }
    if (run.ended == "interrupted") {
        return "，尚未结束或被中断";
    }
    return "";
}

// Which page a keyword was checked on, where the report covers both.
Template PageNote(bool bothPages, const std::string& page) {
    if (!bothPages) {
        return "";
    }
    return page == "mobile" ? Template("（手机）") : Template("（电脑）");
}

// A keyword's name, linked to `target` where it has one; keywords of both pages say which.
Html KeywordName(const std::string& page, const std::string& keyword, bool bothPages,
                 const std::string& target) {
    const markup::Hole note = Markup(Fill(PageNote(bothPages, page)));
    if (target.empty()) {
        return Fill("<span class='name'>{{keyword}}{{page}}</span>",
                    {{"keyword", Text(keyword)}, {"page", note}});
    }
    return Fill("<a class='name' href='#{{target}}' title='谁占了推广位'>{{keyword}}{{page}}</a>",
                {{"target", Attribute(target)}, {"keyword", Text(keyword)}, {"page", note}});
}

// A side's change as an arrow or word, coloured.
Html ChangeMark(const StoredChange& change) {
    const markup::Hole by = change.by ? Number(*change.by) : Text("");
    if (change.kind == "up") {
        return Fill("<span class='mark up' title='上升'>↑{{by}}</span>", {{"by", by}});
    }
    if (change.kind == "down") {
        return Fill("<span class='mark down' title='下降'>↓{{by}}</span>", {{"by", by}});
    }
    if (change.kind == "gained") {
        return Fill("<span class='mark gained' title='新上'>↑新</span>");
    }
    if (change.kind == "lost") {
        return Fill("<span class='mark lost' title='掉出'>↓出</span>");
    }
    return {};
}

// The sites holding a side's slots in order, the user's own marked.
Html SiteList(const StoredSide& side, const std::string& own) {
    if (!side.sites) {
        return Fill("<span class='none'>—</span>");
    }
    if (side.sites->empty()) {
        return Fill("<span class='none'>无推广位</span>");
    }
    // The listings' titles where the history has them, their texts shown on pointing.
    const bool titled = side.ads && side.ads->size() == side.sites->size();
    Html items;
    for (std::size_t slot = 0; slot < side.sites->size(); ++slot) {
        const std::string& site = (*side.sites)[slot];
        const markup::Hole text = Text(site.empty() ? "（未显示网址）" : site);
        const StoredAd* ad = titled ? &(*side.ads)[slot] : nullptr;
        const Html title = ad == nullptr || (ad->title.empty() && ad->text.empty())
                               ? Html()
                               : Fill("<span class='ad' title='{{text}}'>{{title}}</span>",
                                      {{"text", Attribute(ad->text)}, {"title", Text(ad->title)}});
        items += HoldsSite(site, own) ? Fill("<li><mark>{{site}}</mark>{{title}}</li>",
                                             {{"site", text}, {"title", Markup(title)}})
                                      : Fill("<li>{{site}}{{title}}</li>",
                                             {{"site", text}, {"title", Markup(title)}});
    }
    return Fill("<ol>{{items}}</ol>", {{"items", Markup(std::move(items))}});
}

// A failed check's cell: what it met, and why where the history knows.
Html FailedCell(const StoredResult& result) {
    const std::u16string_view kind = FailureKindText(StoredFailureKind(result.failed.value_or("")));
    const bool why = result.failureReason && !result.failureReason->empty();
    return Fill("<td class='failed'{{why}}>查询失败{{kind}}</td>",
                {{"why", Markup(why ? Fill(" title='{{reason}}'",
                                           {{"reason", Attribute(*result.failureReason)}})
                                    : Html())},
                 {"kind", Markup(kind.empty()
                                     ? Html()
                                     : Fill("（{{kind}}）", {{"kind", Text(EncodeUtf8(kind))}}))}});
}

// A keyword's check in one run: its two sides' labels and changes.
Html ResultCell(const std::optional<StoredResult>& result) {
    if (!result) {
        return Fill("<td class='none'></td>");
    }
    if (result->failed) {
        return FailedCell(*result);
    }
    return Fill("<td>{{left}}{{leftMark}}<br>{{right}}{{rightMark}}</td>",
                {{"left", Text(result->left.label)},
                 {"leftMark", Markup(ChangeMark(result->left.change))},
                 {"right", Text(result->right.label)},
                 {"rightMark", Markup(ChangeMark(result->right.change))}});
}

}  // namespace

void LatestCounts::Side::Count(const StoredChange& change) {
    const std::string& kind = change.kind;
    up += kind == "up" ? 1 : 0;
    down += kind == "down" ? 1 : 0;
    gained += kind == "gained" ? 1 : 0;
    lost += kind == "lost" ? 1 : 0;
}

void LatestCounts::Count(const StoredResult& result) {
    const bool phone = result.page == "mobile";
    (phone ? top : left).Count(result.left.change);
    (phone ? bottom : right).Count(result.right.change);
    failed += result.failed ? 1 : 0;
    for (const StoredChange* change : {&result.left.change, &result.right.change}) {
        compared = compared || (change->kind != "first" && change->kind != "failed");
    }
}

Html PageHead(std::string_view site) {
    return Fill(
        "<!DOCTYPE html>\n<html lang='zh-CN'><head><meta charset='utf-8'>"
        "<meta name='viewport' content='width=device-width'><title>推广位历史 - {{site}}</title>"
        "<style>"
        R"css(
body { font-family: "Microsoft YaHei", "WenQuanYi Micro Hei", "Noto Sans CJK SC", sans-serif;
       margin: 24px; color: #222; background: #fff; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 17px; margin: 28px 0 8px; border-bottom: 1px solid #ddd; padding-bottom: 4px; }
.meta { color: #555; margin: 0 0 8px; }
.counts span { display: inline-block; margin-right: 18px; font-size: 15px; }
.counts b { font-size: 20px; }
.counts { margin: 4px 0; }
.counts .side { min-width: 3em; font-weight: bold; color: #444; }
body, td, th { overflow-wrap: anywhere; }
table { border-collapse: collapse; font-size: 13px; }
th, td { border: 1px solid #ddd; padding: 3px 7px; text-align: left; vertical-align: top; }
th { background: #f3f3f3; font-weight: normal; color: #444; }
.scroll { overflow-x: auto; max-width: 100%; margin-bottom: 8px; }
.runs td, th.run { white-space: nowrap; overflow-wrap: normal; }
.runs td.failed { white-space: normal; min-width: 5em; }
th.run span { display: block; }
.kw { min-width: 150px; max-width: 15em; }
.runs .kw { position: sticky; left: 0; z-index: 1; background: #fff; white-space: normal;
            overflow-wrap: anywhere; box-shadow: inset -1px 0 #bbb; }
.runs th.kw { background: #f3f3f3; }
.kw .name { display: block; }
.kw svg { display: block; margin-top: 2px; }
a { color: #1a4fa0; text-decoration: none; }
a:hover { text-decoration: underline; }
summary { cursor: pointer; margin: 14px 0 8px; font-size: 15px; }
.up, .gained { color: #137333; }
.down, .lost { color: #c5221f; }
.failed { color: #888; }
.mark { margin-left: 4px; font-weight: bold; }
mark { background: #fde293; padding: 0 2px; }
ol { margin: 0; padding-left: 20px; min-width: 10em; }
.ad { display: block; max-width: 24em; color: #555; font-size: 12px; margin-bottom: 3px; }
svg text { font-size: 11px; fill: #555; }
.changes { columns: 30em auto; column-gap: 40px; }
.changes li { margin: 2px 0; break-inside: avoid; }
.changes .kw { font-weight: bold; }
.charts { display: flex; flex-wrap: wrap; gap: 24px; }
.none { color: #999; }
)css"
        "</style></head><body>\n<h1>推广位历史：{{site}}</h1>",
        {{"site", Text(site)}});
}

Html NoRunsYet() {
    return Fill("<p class='meta'>这个网站还没有查询记录。</p></body></html>\n");
}

Html RunsCovered(std::size_t runs, std::string_view first, std::string_view latest) {
    return Fill("<p class='meta'>共 {{runs}} 次查询，{{first}} 至 {{latest}}（本机时间）</p>\n",
                {{"runs", Number(static_cast<long long>(runs))},
                 {"first", Text(first)},
                 {"latest", Text(latest)}});
}

Html LatestHeading(const StoredRun& latest, std::string_view when) {
    return Fill("<h2>最近一次（{{when}}{{ended}}）比上一次</h2>",
                {{"when", Text(when)}, {"ended", Markup(Fill(EndedNote(latest)))}});
}

Html OnlyOneRun() {
    return Fill("<p class='meta'>只有这一次查询，还没有可比较的上一次。</p>");
}

namespace {

Html SideCounts(Template side, const LatestCounts::Side& counts) {
    return Fill(
        "<p class='counts'><span class='side'>{{side}}</span>"
        "<span class='up'>上升 <b>{{up}}</b></span>"
        "<span class='down'>下降 <b>{{down}}</b></span>"
        "<span class='gained'>新上 <b>{{gained}}</b></span>"
        "<span class='lost'>掉出 <b>{{lost}}</b></span></p>\n",
        {{"side", Markup(Fill(side))},
         {"up", Number(counts.up)},
         {"down", Number(counts.down)},
         {"gained", Number(counts.gained)},
         {"lost", Number(counts.lost)}});
}

}  // namespace

Html CountsLine(const LatestCounts& counts, std::string_view device) {
    Html html;
    if (device != "mobile") {
        html += SideCounts("左侧", counts.left);
        html += SideCounts("右侧", counts.right);
    }
    if (device != "pc") {
        html += SideCounts("上方", counts.top);
        html += SideCounts("下方", counts.bottom);
    }
    html += Fill("<p class='counts'><span class='failed'>查询失败 <b>{{failed}}</b></span></p>\n",
                 {{"failed", Number(counts.failed)}});
    return html;
}

Html Charts(const std::vector<std::optional<double>>& share,
            const std::vector<std::optional<double>>& average, int deepest,
            const std::vector<std::string>& when, std::string_view page) {
    const bool phone = page == "mobile";
    const std::string shareChart =
        LineChart(phone ? "占到上方推广位的关键词比例" : "占到左侧推广位的关键词比例", share, 100,
                  0, when, 0, "%");
    const std::string averageChart =
        LineChart(phone ? "平均上方位置（1 在最上）" : "平均左侧位置（1 在最上）", average, 1,
                  std::max(deepest, 2), when, 1, "");
    return Fill(
        "<h2>每次查询</h2><div class='charts'>{{share}}{{average}}</div>\n",
        {{"share", Markup(Html::Made(shareChart))}, {"average", Markup(Html::Made(averageChart))}});
}

Html KeywordsHeading(std::size_t runs) {
    return Fill("<h2>关键词（最近 {{runs}} 次，最新的在左）</h2>",
                {{"runs", Number(static_cast<long long>(runs))}});
}

Html UnchangedStart(std::size_t keywords, bool open) {
    return Fill("<details{{open}}><summary>没有变化的关键词（{{count}} 个）</summary>\n",
                {{"open", Markup(open ? Fill(" open") : Html())},
                 {"count", Number(static_cast<long long>(keywords))}});
}

Html UnchangedEnd() {
    return Fill("</details>\n");
}

Html KeywordsHead(std::span<const RunColumn> newestFirst, std::string_view page) {
    Html head = page == "mobile" ? Fill(
                                       "<div class='scroll'><table class='runs'><thead><tr>"
                                       "<th class='kw'>关键词与上方位置走势（旧→新）</th>")
                                 : Fill(
                                       "<div class='scroll'><table class='runs'><thead><tr>"
                                       "<th class='kw'>关键词与左侧位置走势（旧→新）</th>");
    for (const RunColumn& run : newestFirst) {
        // The date over the time, so that neither breaks.
        const std::string_view when = run.when;
        const std::size_t space = std::min(when.find(' '), when.size());
        head +=
            Fill("<th class='run'>{{date}}<br>{{time}}<span class='none'>编号 {{id}}</span></th>",
                 {{"date", Text(when.substr(0, space))},
                  {"time", Text(when.substr(std::min(space + 1, when.size())))},
                  {"id", Number(run.id)}});
    }
    return head += Fill("</tr></thead><tbody>\n");
}

Html KeywordRow(const std::string& page, const std::string& keyword, bool bothPages,
                const RowIds& ids, std::span<const std::optional<StoredResult>> newestFirst,
                const std::vector<std::optional<int>>& slots) {
    Html cells;
    for (const std::optional<StoredResult>& result : newestFirst) {
        cells += ResultCell(result);
    }
    return Fill("<tr id='{{id}}'><td class='kw'>{{keyword}}{{line}}</td>{{cells}}</tr>\n",
                {{"id", Attribute(ids.id)},
                 {"keyword", Markup(KeywordName(page, keyword, bothPages, ids.holders))},
                 {"line", Markup(Html::Made(Sparkline(slots)))},
                 {"cells", Markup(std::move(cells))}});
}

Html KeywordsEnd() {
    return Fill("</tbody></table></div>\n");
}

Html LeftOutNote(int leftOut, std::string_view site) {
    return Fill(
        "<p class='meta'>另有 {{count}} 个关键词未列出：它们的位置与上一次相比没有变化，"
        "或最近一次没有查到。全部数据可在历史文件所在的文件夹里用 slotscope-cli history "
        "--site {{site}} --format csv 导出。</p>\n",
        {{"count", Number(leftOut)}, {"site", Text(site)}});
}

Html HoldersHead(std::string_view when, std::string_view page, bool bothPages) {
    Html sides = Fill("<th>左侧</th><th>右侧</th>");
    if (bothPages) {
        sides = Fill("<th>左侧 / 上方</th><th>右侧 / 下方</th>");
    } else if (page == "mobile") {
        sides = Fill("<th>上方</th><th>下方</th>");
    }
    return Fill(
        "<h2>谁占了推广位（{{when}}）</h2><div class='scroll'><table><thead><tr><th>关键词</th>"
        "{{sides}}</tr></thead><tbody>\n",
        {{"when", Text(when)}, {"sides", Markup(sides)}});
}

Html HolderRow(const StoredResult& result, bool bothPages, const std::string& own,
               const std::string& id) {
    return Fill(
        "<tr id='{{id}}'><td class='kw'>{{keyword}}</td><td>{{left}}</td><td>{{right}}</td></tr>\n",
        {{"id", Attribute(id)},
         {"keyword", Markup(KeywordName(result.page, result.keyword, bothPages, ""))},
         {"left", Markup(SiteList(result.left, own))},
         {"right", Markup(SiteList(result.right, own))}});
}

Html HoldersEnd() {
    return Fill("</tbody></table></div>\n");
}

Html SectionHeading(std::string_view region, std::string_view page) {
    return Fill(
        "<h2 style='font-size:20px;border-bottom:2px solid #888;margin-top:40px'>"
        "地域：{{region}}（{{page}}）</h2>\n",
        {{"region", Text(region.empty() ? std::string_view("本机") : region)},
         {"page", Markup(page == "mobile" ? Fill("手机") : Fill("电脑"))}});
}

Html PageEnd() {
    return Fill("<p class='meta'>由 Slotscope 生成。</p></body></html>\n");
}

}  // namespace slotscope
