#include "core/keyword_run.h"

#include <cstddef>
#include <optional>

#include "core/fetch_ahead.h"
#include "core/result_page.h"
#include "core/results_file.h"

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

std::u16string StoppedText(const RunSummary& summary) {
    return u"运行已停止，已完成" + ProgressText(summary.checked, summary.keywords) +
           u"，信息保存在同目录下的baidu.csv里";
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

RunSummary RunKeywordCheck(RunFields& fields, PageFetcher& fetcher, const RunOptions& options) {
    RunSummary summary;

    // A blank website is found in every listing and would report 左1 for every keyword.
    if (TrimSpaces(fields.Website()).empty()) {
        fields.SetStatus(u"请先填写查看网址");
        summary.end = RunEnd::NoWebsite;
        return summary;
    }

    // The file first: a run that cannot keep its results sends no request at all.
    ResultsFile results;
    if (!results.Open(options.resultsPath)) {
        fields.SetStatus(u"无法创建结果文件baidu.csv，请检查程序所在目录是否可写");
        summary.end = RunEnd::ResultsFileUnavailable;
        return summary;
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

    // The list is read once; the entries are walked over this copy three times (counting,
    // fetching ahead, checking) rather than split up and held.
    const std::u16string keywordList = fields.KeywordList();
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
            if (page.ok()) {
                labels = AnalyzeResultPage(page.body(), fields.Website());
                if (!labels && options.onUnreadablePage) {
                    options.onUnreadablePage(keyword);
                }
            } else if (page.failure().kind == FetchFailureKind::Blocked) {
                ++summary.blocked;
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
            results.WriteLine(keyword, TrimSpaces(fields.Website()), TrimSpaces(fields.LeftLabel()),
                              TrimSpaces(fields.RightLabel()));
            ++summary.checked;
        }
        fields.SetProgress(ProgressText(i + 1 - emptyCount, count - emptyCount));
    }

    results.Close();
    summary.writeFailed = results.writeFailed();
    fields.SetStatus(summary.end == RunEnd::Stopped ? StoppedText(summary)
                                                    : CompletionText(summary));
    return summary;
}

}  // namespace slotscope
