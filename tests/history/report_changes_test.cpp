// The report's list of what changed since the run before: worst first, before → after, and who
// now holds the slot the user's site lost.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "history/history_file.h"
#include "history/history_report.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

struct Check {
    std::u16string keyword;
    std::u16string left;
    std::u16string right;
    std::vector<std::string> leftSites;
    std::vector<std::string> rightSites = {};
};

void KeepRun(const std::string& path, const std::vector<Check>& checks) {
    HistoryFile history(path, "test");
    history.Begin(u"shop.example.cn", Device::Pc, u"", {});
    int order = 0;
    for (const Check& check : checks) {
        history.Record({{++order,
                         check.keyword,
                         PageKind::Desktop,
                         check.left,
                         check.right,
                         CheckFailure::None,
                         {check.leftSites, {}},
                         {}}});
    }
    history.End({});
}

// The report's 变化 list as text, an item a line.
std::string ChangesOf(const std::string& path) {
    ReportOptions options;
    const SiteReport report = WriteSiteReport(path, "shop.example.cn", 0, path + ".html", options);
    EXPECT_EQ(report.outcome, SiteReport::Outcome::Written) << report.problem;
    const std::string html = testing::ReadFileBytes(path + ".html");
    const std::size_t begin = html.find("<ol class='changes'>");
    if (begin == std::string::npos) {
        if (html.find("没有关键词的推广位变化") != std::string::npos) {
            return "none";
        }
        return html.find("没有可与之前比较的结果") != std::string::npos ? "nothing compared" : "";
    }
    std::string text;
    bool inTag = false;
    for (std::size_t at = begin; at < html.find("</ol>", begin); ++at) {
        if (html.compare(at, 5, "</li>") == 0) {
            text += '\n';
        }
        inTag = inTag || html[at] == '<';
        if (!inTag && html[at] != '\n') {
            text += html[at];
        }
        inTag = inTag && html[at] != '>';
    }
    return text;
}

TEST(ReportChangesTest, TheMovesComeWorstFirstWithWhoTookTheSlot) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    KeepRun(path, {{u"kwA", u"左1", u"右无", {}},
                   {u"kwB", u"左2", u"右无", {}},
                   {u"kwC", u"左无", u"右无", {}},
                   {u"kwD", u"左4", u"右无", {}},
                   {u"kwE", u"左3", u"右无", {}},
                   {u"kwF", u"左无", u"右无", {}},
                   {u"kwG", u"左2", u"右无", {}},
                   {u"<b>", u"左1", u"右无", {}}});
    KeepRun(path, {{u"kwA", u"左无", u"右无", {"rival.cn", "x.cn"}},
                   {u"kwB", u"左3", u"右无", {"a.cn", "b.cn", "shop.example.cn"}},
                   {u"kwC", u"左2", u"右无", {"a.cn", "shop.example.cn"}},
                   {u"kwD", u"左1", u"右无", {}},
                   {u"kwE", u"左5", u"右无", {}},
                   {u"kwF", u"左无", u"右1", {}},
                   {u"kwG", u"左2", u"右无", {}},
                   {u"<b>", u"左无", u"右无", {}}});
    EXPECT_EQ(ChangesOf(path),
              "kwA 左侧掉出：左1 → 左无，原位置现在是 rival.cn\n"
              "&lt;b&gt; 左侧掉出：左1 → 左无\n"
              "kwE 左侧下降2：左3 → 左5\n"
              "kwB 左侧下降1：左2 → 左3，原位置现在是 b.cn\n"
              "kwC 左侧新上：左无 → 左2\n"
              "kwF 右侧新上：右无 → 右1\n"
              "kwD 左侧上升3：左4 → 左1\n");
}

TEST(ReportChangesTest, ABeforeIsTheKeywordsLastCheckThatDidNotFail) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    KeepRun(path, {{u"kw", u"左2", u"右无", {}}});
    KeepRun(path, {{u"other", u"左1", u"右无", {}}});
    EXPECT_EQ(ChangesOf(path), "nothing compared");
    KeepRun(path, {{u"kw", u"左无", u"右无", {"a.cn", "rival.cn"}}});
    EXPECT_EQ(ChangesOf(path), "kw 左侧掉出：左2 → 左无，原位置现在是 rival.cn\n");
}

TEST(ReportChangesTest, WhoTookTheSlotIsAnotherSiteOrSaysItShowedNone) {
    const struct {
        std::vector<Check> before;
        std::vector<Check> after;
        std::string changes;
    } cases[] = {
        // Found on the left now, the site is no longer counted on the right, where it still is.
        {{{u"kw", u"左无", u"右1", {}, {"shop.example.cn", "z.cn"}}},
         {{u"kw", u"左2", u"右无", {"a.cn", "shop.example.cn"}, {"www.shop.example.cn", "z.cn"}}},
         "kw 右侧掉出：右1 → 右无\nkw 左侧新上：左无 → 左2\n"},
        {{{u"kw", u"左1", u"右无", {}}},
         {{u"kw", u"左2", u"右无", {"", "shop.example.cn"}}},
         "kw 左侧下降1：左1 → 左2，原位置现在是 （未显示网址）\n"},
        {{{u"kw", u"左2", u"右无", {}}}, {{u"kw", u"左2", u"右无", {}}}, "none"},
    };
    for (const auto& c : cases) {
        testing::TempDir dir;
        const std::string path = dir.file("slotscope.db");
        KeepRun(path, c.before);
        KeepRun(path, c.after);
        EXPECT_EQ(ChangesOf(path), c.changes);
    }
}

}  // namespace
}  // namespace slotscope
