#pragma once

#include <string>
#include <string_view>

#include "core/keyword_run.h"
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

std::u16string CompletionText(const RunSummary& summary, std::u16string_view files,
                              std::u16string_view failedFiles);
std::u16string StoppedText(const RunSummary& summary, std::u16string_view files,
                           std::u16string_view failedFiles);
std::u16string AbortedText(const RunSummary& summary, std::u16string_view files,
                           std::u16string_view failedFiles);

}  // namespace slotscope
