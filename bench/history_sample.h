#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "base/text_codec.h"
#include "history/history_file.h"

namespace slotscope::bench {

// A history of `keywords` keywords over `runs` runs of shop.example.cn whose slots move from run
// to run, with three paid listings on the left and one on the right, as checks several times a
// day leave it. Empty, or why it could not be written.
inline std::string FillHistory(const std::string& path, int keywords, int runs) {
    const char* const rivals[] = {"hua.com", "bjhua.cn", "roseonly.com.cn", "flower.example.net"};
    // A run every two hours, the last one now.
    const auto first = std::chrono::system_clock::now() - std::chrono::hours(2) * (runs - 1);
    for (int r = 0; r < runs; ++r) {
        HistoryFile history(path, "bench", std::chrono::seconds(10),
                            [&] { return first + std::chrono::hours(2) * r; });
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
            // Each listing with a title and a text, as the page reader gives them.
            const char* const titles[] = {"鲜花速递_同城3小时送达", "网上订花_全国送花上门",
                                          "玫瑰花束_节日鲜花预订", "花店_鲜花蛋糕一站配送"};
            const auto list = [&](std::vector<std::string>& sites, std::vector<ListingAd>& ads,
                                  const std::string& site) {
                sites.push_back(site);
                ads.push_back({site, titles[(k + r + sites.size()) % 4],
                               "全国一千多个城市送花上门，节日鲜花预订，花束、蛋糕、绿植。"});
            };
            for (int s = 1; s <= 3; ++s) {
                list(outcome.sites.left, outcome.ads.left,
                     s == slot ? "shop.example.cn" : rivals[(k + s + r / 4) % 4]);
            }
            list(outcome.sites.right, outcome.ads.right, rivals[(k + r) % 4]);
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
