#include "core/keyword_run.h"

#include <cstddef>
#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "core/fetch_ahead.h"
#include "core/result_page.h"
#include "core/results_file.h"
#include "core/text_codec.h"

namespace slotscope {
namespace {

std::u16string Decimal(int value) {
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

std::u16string ProgressText(int done, int total) {
    return Decimal(done) + u"/" + Decimal(total);
}

std::u16string CompletionText(const RunSummary& summary) {
    std::u16string text = u"总词数" + Decimal(summary.keywords);
    text += summary.writeFailed ? u"运行完毕，但写入baidu.csv时出错，结果不完整"
                                : u"运行完毕，信息保存在同目录下的baidu.csv里";
    if (summary.failed > 0) {
        text += u"，其中" + Decimal(summary.failed) + u"个词查询失败";
    }
    if (summary.blocked > 0) {
        text += u"（" + Decimal(summary.blocked) + u"个遇到百度安全验证，请稍后再试）";
    }
    return text;
}

// Where the lines went, after a run that ended early.
std::u16string SavedText(const RunSummary& summary) {
    return summary.writeFailed ? u"但写入baidu.csv时出错，结果不完整"
                               : u"信息保存在同目录下的baidu.csv里";
}

std::u16string StoppedText(const RunSummary& summary) {
    return u"运行已停止，已完成" + ProgressText(summary.checked, summary.keywords) + u"，" +
           SavedText(summary);
}

std::u16string AbortedText(const RunSummary& summary) {
    return u"运行中止（" + summary.abortReason + u"），已完成" +
           ProgressText(summary.checked, summary.keywords) + u"，" + SavedText(summary);
}

bool IsTrimmed(char16_t c) {
    return c == u' ' || c == u'\u3000';
}

}  // namespace

std::u16string_view TrimSpaces(std::u16string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin])) {
        ++begin;
    }
    while (end > begin && IsTrimmed(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::u16string WithCrLfLineBreaks(std::u16string_view text) {
    std::u16string result;
    result.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
            result += u'\r';
        }
        result += text[i];
    }
    return result;
}

bool KeywordEntries::Next(std::u16string_view& entry) {
    if (done_) {
        return false;
    }
    for (std::size_t i = position_; i < list_.size(); ++i) {
        const char16_t c = list_[i];
        const bool crLf = c == u'\r' && i + 1 < list_.size() && list_[i + 1] == u'\n';
        if (c == u',' || crLf) {
            entry = list_.substr(position_, i - position_);
            position_ = i + (crLf ? 2 : 1);
            return true;
        }
    }
    entry = list_.substr(position_);
    done_ = true;
    return true;
}

namespace {

// Checks the keywords, writing into `summary` as it goes, so that what was done is known even
// when something throws.
void CheckKeywords(RunFields& fields, PageFetcher& fetcher, const RunOptions& options,
                   ResultsFile& results, RunSummary& summary) {
    // Both inputs are taken once: the window stays editable during a run, and an edit must not
    // change the run under way (a website cleared mid-run would be found in every listing).
    const std::u16string keywordList = fields.KeywordList();
    const std::u16string website = fields.Website();
    const std::u16string_view trimmedWebsite = TrimSpaces(website);

    // A blank website is found in every listing and would report 左1 for every keyword.
    if (trimmedWebsite.empty()) {
        fields.SetStatus(u"请先填写查看网址");
        summary.end = RunEnd::NoWebsite;
        return;
    }

    // The file first: a run that cannot keep its results sends no request at all.
    switch (results.Open(options.resultsPath)) {
        case OutputFile::OpenResult::Opened:
            break;
        case OutputFile::OpenResult::InUse:
            fields.SetStatus(u"baidu.csv 正被其他程序（如 Excel）打开，请关闭后重试");
            summary.end = RunEnd::ResultsFileInUse;
            return;
        case OutputFile::OpenResult::Failed:
            fields.SetStatus(u"无法创建结果文件baidu.csv，请检查程序所在目录是否可写");
            summary.end = RunEnd::ResultsFileUnavailable;
            return;
    }

    // The home page is requested once per run, then the search engine's own home page, as a
    // browser would open it before searching, so the searches carry its cookies and come from
    // it. Their answers play no part in the check, and failures are ignored.
    const FetchOptions sideRequest{.referer = {}, .sideRequest = true};
    (void)fetcher.FetchPage(options.homePageUrl, sideRequest, options.stop);
    const std::string searchHome = SearchHomePage(options.searchUrlPrefix);
    if (!searchHome.empty()) {
        (void)fetcher.FetchPage(searchHome, sideRequest, options.stop);
    }

    // The entries are walked over the list three times (counting, fetching ahead, checking)
    // rather than split up and held.
    int count = 0;
    std::u16string_view entry;
    for (KeywordEntries entries(keywordList); entries.Next(entry);) {
        ++count;
        summary.keywords += TrimSpaces(entry).empty() ? 0 : 1;
    }

    KeywordEntries toFetch(keywordList);
    const auto nextAddress = [&]() {
        std::u16string_view keyword;
        while (toFetch.Next(keyword) && TrimSpaces(keyword).empty()) {
        }
        return SearchAddress(options.searchUrlPrefix, TrimSpaces(keyword));
    };
    FetchAhead pages(fetcher, nextAddress, static_cast<std::size_t>(summary.keywords),
                     FetchOptions{.referer = searchHome, .sideRequest = false}, options.lookAhead,
                     options.stop);
    const auto reject = [&](std::u16string_view keyword, std::string_view reason) {
        if (options.onPageRejected) {
            options.onPageRejected(keyword, reason);
        }
    };

    KeywordEntries toCheck(keywordList);
    int emptyCount = 0;
    for (int i = 0; i < count; ++i) {
        if (options.stop.stop_requested()) {
            summary.end = RunEnd::Stopped;
            break;
        }
        toCheck.Next(entry);
        const std::u16string_view keyword = TrimSpaces(entry);
        if (keyword.empty()) {
            ++emptyCount;
        } else {
            const FetchResult page = pages.TakeNext();
            if (!page.ok() && options.stop.stop_requested()) {
                // Cut short by the stop, not a failure of the keyword.
                summary.end = RunEnd::Stopped;
                break;
            }
            std::optional<PositionLabels> labels;
            if (!page.ok()) {
                summary.blocked += page.failure().kind == FetchFailureKind::Blocked ? 1 : 0;
            } else if (const std::optional<bool> isResult = IsResultPage(page.body());
                       isResult == false) {
                // An empty answer, a login wall or a script stub: nothing was checked.
                reject(keyword, "not a result page");
            } else {
                if (isResult) {
                    labels = AnalyzeResultPage(page.body(), website);
                }
                if (!labels) {
                    reject(
                        keyword,
                        "the result page could not be read (markup broken beyond any real page)");
                }
            }
            if (labels) {
                fields.SetLeftLabel(labels->left);
                fields.SetRightLabel(labels->right);
            } else {
                // The previous keyword's page must not stand in for this one.
                ++summary.failed;
                fields.SetLeftLabel(std::u16string(kFetchFailedLabel));
                fields.SetRightLabel(std::u16string(kFetchFailedLabel));
            }
            results.WriteLine(keyword, trimmedWebsite, TrimSpaces(fields.LeftLabel()),
                              TrimSpaces(fields.RightLabel()));
            ++summary.checked;
        }
        fields.SetProgress(ProgressText(i + 1 - emptyCount, count - emptyCount));
    }

    results.Close();
    summary.writeFailed = results.writeFailed();
    fields.SetStatus(summary.end == RunEnd::Stopped ? StoppedText(summary)
                                                    : CompletionText(summary));
}

}  // namespace

std::u16string DescribeFailure(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return u"内存不足";
    } catch (const std::system_error& error) {
        return u"系统错误：" + DecodeUtf8(error.what());
    } catch (const std::exception& error) {
        return DecodeUtf8(error.what());
    } catch (...) {
        return u"未知错误";
    }
}

RunSummary RunKeywordCheck(RunFields& fields, PageFetcher& fetcher, const RunOptions& options) {
    RunSummary summary;
    ResultsFile results;
    try {
        CheckKeywords(fields, fetcher, options, results, summary);
    } catch (...) {
        // Lines already written are kept; the file is closed before the status says so.
        results.Close();
        summary.writeFailed = results.writeFailed();
        summary.end = RunEnd::Aborted;
        summary.abortReason = DescribeFailure(std::current_exception());
        try {
            // Before the file was opened there is nothing to say about it.
            fields.SetStatus(results.everOpened() ? AbortedText(summary)
                                                  : u"运行中止（" + summary.abortReason + u"）");
        } catch (...) {
            // The summary still tells the caller.
        }
    }
    return summary;
}

}  // namespace slotscope
