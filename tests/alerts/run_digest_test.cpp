#include "alerts/run_digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/history_file.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

struct Check {
    std::u16string keyword;
    std::u16string left;
    std::vector<std::string> sites;  // the left side's, in slot order
    CheckFailure failure = CheckFailure::None;
};

// A run of shop.example.cn from `region`; its id.
long long KeepRun(const std::string& path, std::u16string_view region,
                  const std::vector<Check>& checks) {
    HistoryFile history(path, "test");
    history.Begin(u"shop.example.cn", Device::Pc, region, {});
    int order = 0;
    for (const Check& check : checks) {
        history.Record({{++order, check.keyword, PageKind::Desktop, check.left, u"右无",
                         check.failure, ShownSites{check.sites, {}},
                         check.failure == CheckFailure::None ? "" : "connection refused"}});
    }
    RunSummary summary;
    summary.keywords = order;
    history.End(summary);
    EXPECT_EQ(history.problem(), "");
    return history.RunId();
}

TEST(RunDigest, EveryMoveWithItsEarlierCheckAndWhoHoldsTheSlotNowTheWorstFirst) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    KeepRun(path, u"", {{u"蛋糕", u"左1", {"shop.example.cn"}}});
    KeepRun(path, u"北京",
            {{u"鲜花", u"左2", {"a.cn", "shop.example.cn"}},
             {u"玫瑰", u"左1", {"shop.example.cn", "b.cn", "c.cn"}},
             {u"蛋糕", u"左无", {"x.cn"}},
             {u"速递", u"左3", {"a.cn", "b.cn", "shop.example.cn"}}});
    // The own connection's run between is no part of 北京's comparison.
    KeepRun(path, u"", {{u"鲜花", u"左无", {"q.cn"}}, {u"速递", u"左1", {"shop.example.cn"}}});
    const long long run = KeepRun(path, u"北京",
                                  {{u"鲜花", u"左无", {"a.cn", "meiguihua.com"}},
                                   {u"玫瑰", u"左3", {"hua.cn", "b.cn", "shop.example.cn"}},
                                   {u"蛋糕", u"左1", {"shop.example.cn"}},
                                   {u"速递", u"", {}, CheckFailure::Fetch}});
    auto reader = HistoryReader::Open(path);
    ASSERT_TRUE(reader) << reader.error();
    const auto digest = DigestOfRun(**reader, "shop.example.cn", run);
    ASSERT_TRUE(digest) << digest.error();

    EXPECT_EQ(digest->region, "北京");
    EXPECT_EQ(digest->keywords, 4);
    EXPECT_TRUE(digest->compared);
    std::vector<std::string> moved;
    for (const MovedSlot& slot : digest->moved) {
        moved.push_back(slot.keyword + " " + slot.kind + " " + slot.before + "→" + slot.after +
                        " " + slot.holder);
    }
    EXPECT_EQ(moved,
              (std::vector<std::string>{"鲜花 lost 左2→左无 meiguihua.com",
                                        "玫瑰 down 左1→左3 hua.cn", "蛋糕 gained 左无→左1 "}));
}

TEST(RunDigest, TheFirstRunHasNothingToCompare) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    const long long run = KeepRun(path, u"", {{u"鲜花", u"左1", {"shop.example.cn"}}});
    auto reader = HistoryReader::Open(path);
    ASSERT_TRUE(reader) << reader.error();
    const auto digest = DigestOfRun(**reader, "shop.example.cn", run);
    ASSERT_TRUE(digest) << digest.error();
    EXPECT_FALSE(digest->compared);
    EXPECT_TRUE(digest->moved.empty());
    EXPECT_FALSE(DigestOfRun(**reader, "shop.example.cn", run + 1).has_value());
}

}  // namespace
}  // namespace slotscope
