#include "history/report_changes.h"

#include <algorithm>
#include <tuple>

#include "core/slot_change.h"
#include "history/history_file.h"
#include "page/own_site.h"

namespace slotscope {
namespace {

using markup::Fill;
using markup::Html;
using markup::Markup;
using markup::Template;
using markup::Text;

int Rank(const std::string& kind) {
    if (kind == "lost") {
        return 0;
    }
    if (kind == "down") {
        return 1;
    }
    return kind == "gained" ? 2 : 3;
}

bool IsMove(std::string_view kind) {
    return kind == "lost" || kind == "down" || kind == "gained" || kind == "up";
}

Template SideName(const SlotMove& move) {
    if (move.page == "mobile") {
        return move.right ? Template("下方") : Template("上方");
    }
    return move.right ? Template("右侧") : Template("左侧");
}

Template KindWord(const SlotMove& move) {
    if (move.kind == "lost") {
        return "掉出";
    }
    if (move.kind == "down") {
        return "下降";
    }
    return move.kind == "gained" ? Template("新上") : Template("上升");
}

}  // namespace

std::vector<SlotMove> MovesOf(const StoredResult& latest, const std::optional<StoredResult>& before,
                              std::string_view own) {
    std::vector<SlotMove> moves;
    if (!before || latest.failed) {
        return moves;
    }
    for (const bool right : {false, true}) {
        const StoredSide& now = right ? latest.right : latest.left;
        const StoredSide& then = right ? before->right : before->left;
        // The move as between the two checks shown, so that before, after and by agree.
        const SideChange change = CompareSlots(then.slot, now.slot, false);
        const std::string_view kind = ChangeName(change.kind);
        if (!IsMove(kind)) {
            continue;
        }
        SlotMove move{latest.page, latest.keyword, right,     std::string(kind),
                      change.by,   then.label,     now.label, "",
                      ""};
        // Who sits where the user's site sat: a slot the page still has, held by another site.
        if (then.slot && now.sites && (kind == "lost" || kind == "down") &&
            static_cast<std::size_t>(*then.slot) <= now.sites->size()) {
            const std::string& site = (*now.sites)[static_cast<std::size_t>(*then.slot) - 1];
            if (site.empty()) {
                move.holder = "（未显示网址）";
            } else if (!HoldsSite(site, own)) {
                move.holder = site;
            }
        }
        moves.push_back(std::move(move));
    }
    return moves;
}

void SortWorstFirst(std::vector<SlotMove>& moves) {
    std::stable_sort(moves.begin(), moves.end(), [](const SlotMove& a, const SlotMove& b) {
        return std::tuple(Rank(a.kind), -a.by) < std::tuple(Rank(b.kind), -b.by);
    });
}

Html ChangesList(const std::vector<SlotMove>& moves, bool bothPages, bool compared) {
    if (!compared) {
        return Fill(
            "<h2>变化</h2><p class='meta'>这次查询没有可与之前比较的结果"
            "（都是新词，或都查询失败）。</p>\n");
    }
    if (moves.empty()) {
        return Fill("<h2>变化</h2><p class='meta'>没有关键词的推广位变化。</p>\n");
    }
    Html items;
    for (const SlotMove& move : moves) {
        const Html page = !bothPages              ? Html()
                          : move.page == "mobile" ? Fill("（手机）")
                                                  : Fill("（电脑）");
        const Html by = move.by > 0 ? Fill("{{by}}", {{"by", markup::Number(move.by)}}) : Html();
        const Html before =
            move.before.empty() ? Html() : Fill("{{label}} → ", {{"label", Text(move.before)}});
        const Html holder = move.holder.empty() ? Html()
                                                : Fill("，原位置现在是 <b>{{site}}</b>",
                                                       {{"site", Text(move.holder)}});
        items += Fill(
            "<li>{{keyword}}{{page}} {{side}}"
            "<span class='mark "
            "{{kind}}'>{{word}}{{by}}</span>：{{before}}{{after}}{{holder}}</li>\n",
            {{"kind", markup::Attribute(move.kind)},
             {"keyword",
              Markup(move.anchor.empty() ? Fill("<span class='kw'>{{keyword}}</span>",
                                                {{"keyword", Text(move.keyword)}})
                                         : Fill("<a class='kw' href='#{{anchor}}'>{{keyword}}</a>",
                                                {{"anchor", markup::Attribute(move.anchor)},
                                                 {"keyword", Text(move.keyword)}}))},
             {"page", Markup(page)},
             {"side", Markup(Fill(SideName(move)))},
             {"word", Markup(Fill(KindWord(move)))},
             {"by", Markup(by)},
             {"before", Markup(before)},
             {"after", Text(move.after)},
             {"holder", Markup(holder)}});
    }
    return Fill("<h2>变化（{{count}}）</h2><ol class='changes'>\n{{items}}</ol>\n",
                {{"count", markup::Number(static_cast<long long>(moves.size()))},
                 {"items", Markup(items)}});
}

}  // namespace slotscope
