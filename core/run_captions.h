#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "core/keyword_run.h"
#include "core/region_run.h"
#include "core/run_history.h"

namespace slotscope {

// The run's captions, as the status text shows them after a run. `files` names the run's results
// files ("baidu.csv", "baidu.csv和baidu_mobile.csv"); `failedFiles` those whose writes failed.

std::u16string Decimal(int value);
// "3/10"
std::u16string ProgressText(int done, int total);

// What a failed check met, as the captions and the report name it: 验证页, 连接失败, 无法读取,
// 非结果页; empty for none.
std::u16string_view FailureKindText(CheckFailure failure);

// Why the website as typed gives no run, as the status says it ("请先填写查看网址",
// "网址无法识别：…", never showing a login written into it); empty when it gives one.
std::u16string RefusedSiteText(std::u16string_view typed);

// Why a run with a website stopped before it fetched anything: "请先填写竞价关键词" for a list
// without a keyword (RunEnd::NoKeywords).
std::u16string NoKeywordsText();
// That the results file `file` could not be opened, as summary.end says (ResultsFileInUse:
// another program holds it; ResultsFileUnavailable: it could not be created).
std::u16string UnopenedFileText(const RunSummary& summary, std::u16string_view file);

// Before a round for keywords that met a verification page: "等待30秒后重试3个词", the pause
// in whole seconds, rounded up.
std::u16string VerifyPauseText(int keywords, std::chrono::milliseconds pause);

// The caption after a run that got as far as its files, as summary.end says it ended: stopped,
// aborted or completed. An aborted run whose `files` are empty opened none, and says no more
// than why.
std::u16string EndText(const RunSummary& summary, std::u16string_view files,
                       std::u16string_view failedFiles);

// The caption after a run over regions: as EndText's for the run as a whole, the files named
// by the first and their number, then, for a completed run, each region's failures and changes
// where it has any ("；北京：3个词查询失败（验证页1个）").
std::u16string RegionsEndText(const RegionsSummary& run);

// The name a region goes by in captions: its own, or 本机 for the machine's own connection.
std::u16string ShownRegionName(std::u16string_view name);

std::u16string CompletionText(const RunSummary& summary, std::u16string_view files,
                              std::u16string_view failedFiles);
std::u16string StoppedText(const RunSummary& summary, std::u16string_view files,
                           std::u16string_view failedFiles);
std::u16string AbortedText(const RunSummary& summary, std::u16string_view files,
                           std::u16string_view failedFiles);

}  // namespace slotscope
