#include "core/run_captions.h"

#include <utility>

#include "base/text_codec.h"
#include "core/failure_counts.h"
#include "page/own_site.h"

namespace slotscope {
namespace {

// That the history was not (all) kept, for any caption after a run.
std::u16string LostHistoryText(const RunSummary& summary) {
    if (summary.historyProblem.empty()) {
        return {};
    }
    if (summary.historyKeywords <= 0) {
        return u"（历史记录未保存）";
    }
    return summary.historyKeywords < summary.checked
               ? u"（历史记录只保存了前" + Decimal(summary.historyKeywords) + u"个词）"
               : u"（历史记录未完整保存）";
}

// What the history adds to a completion caption: that it was not kept, or how the slots moved
// since the last run (the counts that are zero left out, nothing where nothing moved).
std::u16string HistoryText(const RunSummary& summary) {
    if (!summary.historyProblem.empty()) {
        return LostHistoryText(summary);
    }
    const ChangeCounts& changes = summary.changes;
    std::u16string moved;
    for (const auto& [count, name] :
         {std::pair{changes.up, u"上升"}, std::pair{changes.down, u"下降"},
          std::pair{changes.gained, u"新上"}, std::pair{changes.lost, u"掉出"}}) {
        if (count > 0) {
            moved += (moved.empty() ? u"" : u"，") + std::u16string(name) + Decimal(count) + u"个";
        }
    }
    return moved.empty() ? std::u16string() : u"（比上次：" + moved + u"）";
}

// The failed keywords by what they met: "（验证页3个，连接失败2个）", and where a verification
// page was among them and `advise` says so, that a later run may pass it.
std::u16string FailureKindsText(const RunSummary& summary, bool advise = true) {
    std::u16string kinds;
    for (const FailureCount& counted : kFailureCounts) {
        if (const int count = summary.*counted.count; count > 0) {
            kinds += (kinds.empty() ? u"" : u"，") + std::u16string(FailureKindText(counted.kind)) +
                     Decimal(count) + u"个";
        }
    }
    if (kinds.empty()) {
        return {};
    }
    return u"（" + kinds + u"）" + (advise && summary.blocked > 0 ? u"，请稍后再试" : u"");
}

// Where the lines went, after a run that ended early.
std::u16string SavedText(const RunSummary& summary, std::u16string_view files,
                         std::u16string_view failedFiles) {
    return summary.writeFailed ? u"但写入" + std::u16string(failedFiles) + u"时出错，结果不完整"
                               : u"信息保存在同目录下的" + std::u16string(files) + u"里";
}

// Whole seconds, rounded up.
std::u16string Seconds(std::chrono::milliseconds time) {
    const std::string text = std::to_string((time.count() + 999) / 1000);
    return {text.begin(), text.end()};
}

// A region's part of the caption after a run over regions: "北京：3个词查询失败（验证页1个）
// （比上次：掉出1个）", "上海（比上次：上升1个）"; empty where it has nothing to tell.
std::u16string RegionText(const RegionOutcome& region) {
    const RunSummary& summary = region.summary;
    std::u16string told;
    if (summary.failed > 0) {
        told = u"：" + Decimal(summary.failed) + u"个词查询失败" + FailureKindsText(summary, false);
    }
    told += HistoryText(summary);
    return told.empty() ? told : ShownRegionName(region.name) + told;
}

// The regions' files as a caption names them: all of one region's, joined by 和, or the first
// of several regions' and how many there are in all.
std::u16string RegionFilesText(const std::vector<RegionOutcome>& regions, bool onlyFailed) {
    std::vector<std::u16string> names;
    for (const RegionOutcome& region : regions) {
        const auto& files = onlyFailed ? region.failedFiles : region.files;
        names.insert(names.end(), files.begin(), files.end());
    }
    if (names.empty()) {
        return {};
    }
    if (regions.size() > 1 && names.size() > 1) {
        return names.front() + u"等" + Decimal(static_cast<int>(names.size())) + u"个文件";
    }
    std::u16string joined;
    for (const std::u16string& name : names) {
        joined += (joined.empty() ? u"" : u"和") + name;
    }
    return joined;
}

}  // namespace

std::u16string Decimal(int value) {
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

std::u16string ProgressText(int done, int total) {
    return Decimal(done) + u"/" + Decimal(total);
}

std::u16string_view FailureKindText(CheckFailure failure) {
    switch (failure) {
        case CheckFailure::Blocked:
            return u"验证页";
        case CheckFailure::Fetch:
            return u"连接失败";
        case CheckFailure::Unreadable:
            return u"无法读取";
        case CheckFailure::NotResultPage:
            return u"非结果页";
        case CheckFailure::None:
            break;
    }
    return {};
}

std::u16string RefusedSiteText(std::u16string_view typed) {
    switch (SiteToCheck(typed).problem) {
        case SiteProblem::None:
            break;
        case SiteProblem::Empty:
            return u"请先填写查看网址";
        case SiteProblem::NotAHost:
            return u"网址无法识别：" +
                   DecodeUtf8(WithoutUserInfo(EncodeUtf8(TrimmedWebsite(typed))));
    }
    return {};
}

std::u16string NoKeywordsText() {
    return u"请先填写竞价关键词";
}

std::u16string UnopenedFileText(const RunSummary& summary, std::u16string_view file) {
    return summary.end == RunEnd::ResultsFileInUse
               ? std::u16string(file) + u" 正被其他程序（如 Excel）打开，请关闭后重试"
               : u"无法创建结果文件" + std::u16string(file) + u"，请检查程序所在目录是否可写";
}

std::u16string VerifyPauseText(int keywords, std::chrono::milliseconds pause) {
    return u"等待" + Seconds(pause) + u"秒后重试" + Decimal(keywords) + u"个词";
}

std::u16string EndText(const RunSummary& summary, std::u16string_view files,
                       std::u16string_view failedFiles) {
    if (summary.end == RunEnd::Stopped) {
        return StoppedText(summary, files, failedFiles);
    }
    if (summary.end != RunEnd::Aborted) {
        return CompletionText(summary, files, failedFiles);
    }
    return files.empty() ? u"运行中止（" + summary.abortReason + u"）"
                         : AbortedText(summary, files, failedFiles);
}

std::u16string CompletionText(const RunSummary& summary, std::u16string_view files,
                              std::u16string_view failedFiles) {
    std::u16string text = u"总词数" + Decimal(summary.keywords) + u"运行完毕，" +
                          SavedText(summary, files, failedFiles);
    if (summary.failed > 0) {
        text += u"，其中" + Decimal(summary.failed) + u"个词查询失败" + FailureKindsText(summary);
    }
    return text + HistoryText(summary);
}

std::u16string StoppedText(const RunSummary& summary, std::u16string_view files,
                           std::u16string_view failedFiles) {
    return u"运行已停止，已完成" + ProgressText(summary.checked, summary.keywords) + u"，" +
           SavedText(summary, files, failedFiles) + LostHistoryText(summary);
}

std::u16string AbortedText(const RunSummary& summary, std::u16string_view files,
                           std::u16string_view failedFiles) {
    return u"运行中止（" + summary.abortReason + u"），已完成" +
           ProgressText(summary.checked, summary.keywords) + u"，" +
           SavedText(summary, files, failedFiles) + LostHistoryText(summary);
}

}  // namespace slotscope

namespace slotscope {

std::u16string RegionsEndText(const RegionsSummary& run) {
    const std::u16string files = RegionFilesText(run.regions, false);
    const std::u16string failedFiles = RegionFilesText(run.regions, true);
    const RunSummary& total = run.total;
    if (total.end != RunEnd::Completed) {
        return EndText(total, files, failedFiles);
    }
    std::u16string text =
        u"总词数" + Decimal(total.keywords) + u"运行完毕，" + SavedText(total, files, failedFiles);
    for (const RegionOutcome& region : run.regions) {
        if (std::u16string told = RegionText(region); !told.empty()) {
            text += u"；" + told;
        }
    }
    return text + (total.blocked > 0 ? u"，请稍后再试" : u"");
}

std::u16string ShownRegionName(std::u16string_view name) {
    return name.empty() ? std::u16string(u"本机") : std::u16string(name);
}

}  // namespace slotscope
