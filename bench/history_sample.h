#pragma once

#include <string>

#include "base/text_codec.h"
#include "history/history_file.h"

namespace slotscope::bench {

// A history of `keywords` keywords over `runs` runs of shop.example.cn whose slots move from run
// to run, with three paid listings on the left and one on the right, as checks several times a
// day leave it. Empty, or why it could not be written.
inline std::string FillHistory(const std::string& path, int keywords, int runs) {
    const char* const rivals[] = {"hua.com", "bjhua.cn", "roseonly.com.cn", "flower.example.net"};
    for (int r = 0; r < runs; ++r) {
        HistoryFile history(path, "bench");
        history.Begin(u"shop.example.cn", Device::Pc, u"", {});
        for (int k = 1; k <= keywords; ++k) {
            const int slot = (k * 7 + r * (k % 3 + 1)) % 5;  // 0: none, 4: not among the three
            KeywordOutcome outcome{k,
                                   u"鲜花速递" + DecodeUtf8(std::to_string(k)),
                                   PageKind::Desktop,
                                   u"左无",
                                   u"右无",
                                   CheckFailure::None,
                                   {},
                                   {}};
            if ((k + r) % 23 == 0) {
                outcome.left = outcome.right = u"查询失败";
                outcome.failure = CheckFailure::Fetch;
                history.Record({outcome});
                continue;
            }
            for (int s = 1; s <= 3; ++s) {
                outcome.sites.left.emplace_back(s == slot ? "shop.example.cn"
                                                          : rivals[(k + s + r / 4) % 4]);
            }
            outcome.sites.right.emplace_back(rivals[(k + r) % 4]);
            if (slot >= 1 && slot <= 3) {
                outcome.left = u"左" + DecodeUtf8(std::to_string(slot));
            }
            history.Record({outcome});
        }
        RunSummary summary;
        summary.keywords = keywords;
        history.End(summary);
        if (!history.problem().empty()) {
            return history.problem();
        }
    }
    return {};
}

}  // namespace slotscope::bench
