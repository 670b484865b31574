#include "core/run_captions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text_codec.h"

namespace slotscope {
namespace {

using namespace std::chrono_literals;

RunSummary Summary(RunEnd end, int keywords, int checked,
                   const std::function<void(RunSummary&)>& more = {}) {
    RunSummary summary;
    summary.end = end;
    summary.keywords = keywords;
    summary.checked = checked;
    if (more) {
        more(summary);
    }
    return summary;
}

// A run over regions: each region with its summary and its files.
RegionsSummary Regions(RunSummary total, std::vector<RegionOutcome> regions) {
    return RegionsSummary{std::move(total), std::move(regions)};
}

RegionOutcome Region(std::u16string name, RunSummary summary,
                     std::vector<std::u16string> files = {}) {
    if (files.empty()) {
        files = {u"baidu_" + name + u".csv"};
    }
    return RegionOutcome{std::move(name), std::move(summary), std::move(files), {}};
}

struct CaptionCase {
    const char* name;
    std::u16string caption;
    std::u16string_view expected;
};

TEST(RunCaptionsTest, EachCaptionSaysWhatTheSummaryHolds) {
    constexpr std::u16string_view both = u"baidu.csv和baidu_mobile.csv";
    const CaptionCase cases[] = {
        {"completed", EndText(Summary(RunEnd::Completed, 2, 2), u"baidu.csv", u""),
         u"总词数2运行完毕，信息保存在同目录下的baidu.csv里"},
        {"failures by kind, a verification page among them",
         EndText(Summary(RunEnd::Completed, 10, 10,
                         [](RunSummary& s) {
                             s.failed = 5;
                             s.blocked = 3;
                             s.fetchFailed = 2;
                         }),
                 u"baidu.csv", u""),
         u"总词数10运行完毕，信息保存在同目录下的baidu."
         u"csv里，其中5个词查询失败（验证页3个，连接失败2"
         u"个），请稍后再试"},
        {"failures without a verification page",
         EndText(Summary(RunEnd::Completed, 4, 4,
                         [](RunSummary& s) {
                             s.failed = 2;
                             s.notResultPages = 1;
                             s.unreadable = 1;
                         }),
                 u"one.csv", u""),
         u"总词数4运行完毕，信息保存在同目录下的one."
         u"csv里，其中2个词查询失败（非结果页1个，无法读取1个）"},
        {"a write failed",
         EndText(Summary(RunEnd::Completed, 1, 1, [](RunSummary& s) { s.writeFailed = true; }),
                 both, u"baidu_mobile.csv"),
         u"总词数1运行完毕，但写入baidu_mobile.csv时出错，结果不完整"},
        {"moves since the last run",
         EndText(Summary(RunEnd::Completed, 3, 3,
                         [](RunSummary& s) {
                             s.changes.up = 1;
                             s.changes.down = 1;
                             s.changes.lost = 2;
                         }),
                 both, u""),
         u"总词数3运行完毕，信息保存在同目录下的baidu.csv和baidu_mobile."
         u"csv里（比上次：上升1个，下降1个，"
         u"掉出2个）"},
        {"no history kept",
         EndText(Summary(RunEnd::Completed, 1, 1,
                         [](RunSummary& s) { s.historyProblem = "disk full"; }),
                 u"baidu.csv", u""),
         u"总词数1运行完毕，信息保存在同目录下的baidu.csv里（历史记录未保存）"},
        {"every keyword's rows kept, yet a problem",
         EndText(Summary(RunEnd::Completed, 2, 2,
                         [](RunSummary& s) {
                             s.historyProblem = "x";
                             s.historyKeywords = 2;
                         }),
                 u"baidu.csv", u""),
         u"总词数2运行完毕，信息保存在同目录下的baidu.csv里（历史记录未完整保存）"},
        {"stopped, moves not told",
         EndText(Summary(RunEnd::Stopped, 3, 1, [](RunSummary& s) { s.changes.up = 1; }),
                 u"baidu.csv", u""),
         u"运行已停止，已完成1/3，信息保存在同目录下的baidu.csv里"},
        {"stopped, part of the history kept",
         EndText(Summary(RunEnd::Stopped, 3, 2,
                         [](RunSummary& s) {
                             s.historyProblem = "x";
                             s.historyKeywords = 1;
                         }),
                 u"baidu.csv", u""),
         u"运行已停止，已完成2/3，信息保存在同目录下的baidu.csv里（历史记录只保存了前1个词）"},
        {"aborted",
         EndText(Summary(RunEnd::Aborted, 3, 1, [](RunSummary& s) { s.abortReason = u"内存不足"; }),
                 u"baidu.csv", u""),
         u"运行中止（内存不足），已完成1/3，信息保存在同目录下的baidu.csv里"},
        {"aborted before a file was opened",
         EndText(Summary(RunEnd::Aborted, 0, 0, [](RunSummary& s) { s.abortReason = u"内存不足"; }),
                 u"", u""),
         u"运行中止（内存不足）"},
        {"file in use", UnopenedFileText(Summary(RunEnd::ResultsFileInUse, 1, 0), u"baidu.csv"),
         u"baidu.csv 正被其他程序（如 Excel）打开，请关闭后重试"},
        {"file not created",
         UnopenedFileText(Summary(RunEnd::ResultsFileUnavailable, 1, 0), u"b.csv"),
         u"无法创建结果文件b.csv，请检查程序所在目录是否可写"},
        {"regions, nothing to tell",
         RegionsEndText(Regions(Summary(RunEnd::Completed, 5, 5),
                                {Region(u"北京", Summary(RunEnd::Completed, 5, 5)),
                                 Region(u"上海", Summary(RunEnd::Completed, 5, 5))})),
         u"总词数5运行完毕，信息保存在同目录下的baidu_北京.csv等2个文件里"},
        {"regions, each with what it met and how its slots moved",
         RegionsEndText(Regions(Summary(RunEnd::Completed, 5, 5,
                                        [](RunSummary& s) {
                                            s.failed = 3;
                                            s.blocked = 1;
                                        }),
                                {Region(u"",
                                        Summary(RunEnd::Completed, 5, 5,
                                                [](RunSummary& s) { s.changes.up = 1; }),
                                        {u"baidu.csv", u"baidu_mobile.csv"}),
                                 Region(u"北京",
                                        Summary(RunEnd::Completed, 5, 5,
                                                [](RunSummary& s) {
                                                    s.failed = 3;
                                                    s.blocked = 1;
                                                    s.fetchFailed = 2;
                                                    s.changes.lost = 1;
                                                }),
                                        {u"baidu_北京.csv", u"baidu_mobile_北京.csv"})})),
         u"总词数5运行完毕，信息保存在同目录下的baidu.csv等4个文件里；本机（比上次：上升1个）；"
         u"北京：3个词查询失败（验证页1个，连接失败2个）（比上次：掉出1个），请稍后再试"},
        {"one region, its files named",
         RegionsEndText(Regions(Summary(RunEnd::Completed, 1, 1),
                                {Region(u"北京", Summary(RunEnd::Completed, 1, 1),
                                        {u"baidu_北京.csv", u"baidu_mobile_北京.csv"})})),
         u"总词数1运行完毕，信息保存在同目录下的baidu_北京.csv和baidu_mobile_北京.csv里"},
        {"regions stopped",
         RegionsEndText(Regions(Summary(RunEnd::Stopped, 4, 1),
                                {Region(u"北京", Summary(RunEnd::Stopped, 4, 3)),
                                 Region(u"上海", Summary(RunEnd::Stopped, 4, 1))})),
         u"运行已停止，已完成1/4，信息保存在同目录下的baidu_北京.csv等2个文件里"},
        {"no keyword", NoKeywordsText(), u"请先填写竞价关键词"},
        {"the first round's pause", VerifyPauseText(3, 30'000ms), u"等待30秒后重试3个词"},
        {"a pause in whole seconds, rounded up", VerifyPauseText(1, 60'001ms),
         u"等待61秒后重试1个词"},
        {"a pause under a second", VerifyPauseText(2, 1ms), u"等待1秒后重试2个词"},
    };
    for (const CaptionCase& each : cases) {
        EXPECT_EQ(each.caption, each.expected) << each.name << ": " << EncodeUtf8(each.caption);
    }
}

}  // namespace
}  // namespace slotscope
