#include "core/keyword_run.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <random>
#include <system_error>
#include <vector>

#include "core/fetch_ahead.h"
#include "page/own_site.h"
#include "page/result_page.h"
#include "core/results_file.h"
#include "core/run_captions.h"
#include "core/run_history.h"
#include "base/text_codec.h"

namespace slotscope {
namespace {

// The results files of a run, by page.
class RunFiles final {
  public:
    explicit RunFiles(const RunOptions& options)
        : device_(options.device),
          desktopName_(NameOf(options.resultsPath, u"baidu.csv")),
          phoneName_(NameOf(options.mobileResultsPath, u"baidu_mobile.csv")) {}

    ResultsFile& For(PageKind page) { return page == PageKind::Phone ? phone_ : desktop_; }

    // The pages every keyword has, in the order they are fetched and written.
    std::vector<PageKind> Pages() const {
        switch (device_) {
            case Device::Pc:
                return {PageKind::Desktop};
            case Device::Mobile:
                return {PageKind::Phone};
            case Device::Both:
                break;
        }
        return {PageKind::Desktop, PageKind::Phone};
    }

    void Close() {
        desktop_.Close();
        phone_.Close();
    }
    bool writeFailed() const { return desktop_.writeFailed() || phone_.writeFailed(); }
    bool everOpened() const { return desktop_.everOpened() || phone_.everOpened(); }

    // The files as the status text names them: all of them, or those whose writes failed.
    std::u16string Names(bool onlyFailed) const {
        std::u16string names;
        for (const PageKind page : Pages()) {
            const ResultsFile& file = page == PageKind::Phone ? phone_ : desktop_;
            if (!onlyFailed || file.writeFailed()) {
                if (!names.empty()) {
                    names += u"和";
                }
                names += FileName(page);
            }
        }
        return names;
    }

    // The file's name, as the captions give it.
    const std::u16string& FileName(PageKind page) const {
        return page == PageKind::Phone ? phoneName_ : desktopName_;
    }

  private:
    static std::u16string NameOf(const std::string& path, std::u16string_view unnamed) {
        const std::u8string name =
            std::filesystem::path(std::u8string(path.begin(), path.end())).filename().u8string();
        return name.empty() ? std::u16string(unnamed)
                            : DecodeUtf8(std::string(name.begin(), name.end()));
    }

    const Device device_;
    const std::u16string desktopName_;
    const std::u16string phoneName_;
    ResultsFile desktop_;
    ResultsFile phone_;
};

// C0, DEL and C1, but tab, which a keyword may hold.
bool IsControl(char16_t c) {
    return (c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F);
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
        if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')) {
            result += u'\n';
        }
    }
    return result;
}

void KeywordOf(std::u16string_view entry, std::u16string& keyword) {
    keyword.clear();
    for (const char16_t c : TrimSpaces(entry)) {
        if (!IsControl(c)) {
            keyword += c;
        }
    }
    // A control character between spaces leaves them at an end.
    const std::u16string_view trimmed = TrimSpaces(keyword);
    if (trimmed.size() != keyword.size()) {
        keyword = std::u16string(trimmed);
    }
}

std::u16string KeywordOf(std::u16string_view entry) {
    std::u16string keyword;
    KeywordOf(entry, keyword);
    return keyword;
}

bool KeywordEntries::Next(std::u16string_view& entry) {
    if (done_) {
        return false;
    }
    for (std::size_t i = position_; i < list_.size(); ++i) {
        const char16_t c = list_[i];
        if (c == u',' || c == u'\r' || c == u'\n') {
            const bool crLf = c == u'\r' && i + 1 < list_.size() && list_[i + 1] == u'\n';
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

// Opens every file of the run, then empties them; false, with the status text set, when one
// cannot be opened.
bool OpenFiles(RunFields& fields, const RunOptions& options, RunFiles& files, RunSummary& summary) {
    for (const PageKind page : files.Pages()) {
        const std::string& path =
            page == PageKind::Phone ? options.mobileResultsPath : options.resultsPath;
        const std::u16string name = files.FileName(page);
        const OutputFile::OpenResult opened = files.For(page).OpenKeeping(path);
        if (opened != OutputFile::OpenResult::Opened) {
            files.Close();
            summary.unopenedPath = path;
        }
        switch (opened) {
            case OutputFile::OpenResult::Opened:
                break;
            case OutputFile::OpenResult::InUse:
                fields.SetStatus(name + u" 正被其他程序（如 Excel）打开，请关闭后重试");
                summary.end = RunEnd::ResultsFileInUse;
                return false;
            case OutputFile::OpenResult::Failed:
                fields.SetStatus(u"无法创建结果文件" + name + u"，请检查程序所在目录是否可写");
                summary.end = RunEnd::ResultsFileUnavailable;
                return false;
        }
    }
    for (const PageKind page : files.Pages()) {
        files.For(page).Clear();
    }
    return true;
}

// How a keyword's check failed on one page, and why, in English for a log line.
struct PageFailure {
    CheckFailure kind = CheckFailure::None;
    std::string reason;
};

// What one fetched page gives: its labels and the sites its paid listings show, or nothing when
// the keyword failed on it (told to options.onPageFailed).
std::optional<PositionLabels> ReadPage(const FetchResult& page, const PageRequest& request,
                                       std::u16string_view keyword, std::u16string_view site,
                                       const RunOptions& options, PageFailure& failure,
                                       ShownSites& sites) {
    sites = {};
    failure = {};
    if (!page.ok()) {
        failure = {page.failure().kind == FetchFailureKind::Blocked ? CheckFailure::Blocked
                                                                    : CheckFailure::Fetch,
                   page.failure().reason};
    } else {
        const PageCheck check = CheckResultPage(page.body(), site, request.options.page);
        switch (check.outcome) {
            case PageCheck::Outcome::Read:
                sites = check.sites;
                return check.labels;
            case PageCheck::Outcome::NotResultPage:
                // An empty answer, a login wall or a script stub: nothing was checked.
                failure = {CheckFailure::NotResultPage, "not a result page"};
                break;
            case PageCheck::Outcome::Unreadable:
                failure = {CheckFailure::Unreadable,
                           "the result page could not be read (markup broken beyond any real "
                           "page)"};
                break;
        }
    }
    if (options.onPageFailed) {
        options.onPageFailed(keyword, request.options.page, failure.kind, failure.reason,
                             request.address);
    }
    return std::nullopt;
}

// A keyword's lines as written: per page, the two labels as the label fields held them, and
// how that page failed, if it did.
struct WrittenKeyword {
    std::u16string keyword;
    std::vector<PositionLabels> lines;
    std::vector<PageFailure> failures;
    std::vector<ShownSites> sites;
    int order = 0;  // among the run's keywords, from 1

    bool blocked() const { return Failure() == CheckFailure::Blocked; }
    // What the keyword counts as among the failures: a verification page on any page first,
    // then a failed fetch, then a page that was none or could not be read.
    CheckFailure Failure() const {
        CheckFailure worst = CheckFailure::None;
        for (const CheckFailure kind : {CheckFailure::Unreadable, CheckFailure::NotResultPage,
                                        CheckFailure::Fetch, CheckFailure::Blocked}) {
            for (const PageFailure& failure : failures) {
                worst = failure.kind == kind ? kind : worst;
            }
        }
        return worst;
    }
    KeywordOutcome Outcome(std::size_t page, PageKind kind) const {
        return {order,
                keyword,
                kind,
                lines[page].left,
                lines[page].right,
                failures[page].kind,
                sites[page],
                failures[page].reason};
    }
};

// Counts a keyword's failure in the summary.
void CountFailure(const WrittenKeyword& keyword, RunSummary& summary) {
    switch (keyword.Failure()) {
        case CheckFailure::None:
            return;
        case CheckFailure::Blocked:
            ++summary.blocked;
            break;
        case CheckFailure::Fetch:
            ++summary.fetchFailed;
            break;
        case CheckFailure::NotResultPage:
            ++summary.notResultPages;
            break;
        case CheckFailure::Unreadable:
            ++summary.unreadable;
            break;
    }
    ++summary.failed;
}

// Shows each page's labels in the label fields (查询失败 for a page without) and reads them back
// for its line, as the window's fields hold them.
WrittenKeyword ShowLabels(RunFields& fields, std::u16string_view keyword, int order,
                          const std::vector<std::optional<PositionLabels>>& labels,
                          std::vector<PageFailure> failures, std::vector<ShownSites> sites) {
    WrittenKeyword written{
        std::u16string(keyword), {}, std::move(failures), std::move(sites), order};
    for (const std::optional<PositionLabels>& page : labels) {
        // The previous page must not stand in for one that failed.
        const bool read = page.has_value();
        fields.SetLeftLabel(read ? page->left : std::u16string(kFetchFailedLabel));
        fields.SetRightLabel(read ? page->right : std::u16string(kFetchFailedLabel));
        written.lines.push_back({std::u16string(TrimSpaces(fields.LeftLabel())),
                                 std::u16string(TrimSpaces(fields.RightLabel()))});
    }
    return written;
}

// Waits `pause`; false when a stop came first.
bool PauseUnlessStopped(std::chrono::milliseconds pause, const std::stop_token& stop) {
    std::mutex mutex;
    std::condition_variable_any wakeUp;
    // cppcheck-suppress localMutex
    std::unique_lock lock(mutex);
    return !wakeUp.wait_for(lock, stop, pause, [] { return false; }) && !stop.stop_requested();
}

std::u16string Seconds(std::chrono::milliseconds time) {
    const std::string text = std::to_string((time.count() + 999) / 1000);
    return {text.begin(), text.end()};
}

// Tells the history how the run ended, and the summary what the history could not keep and
// how the keywords moved.
void EndHistory(const RunOptions& options, RunSummary& summary) {
    if (options.history == nullptr) {
        return;
    }
    options.history->End(summary);
    summary.historyProblem = options.history->problem();
    summary.historyKeywords = options.history->keptKeywords();
    summary.changes = options.history->changes();
}

// Checks the keywords, writing into `summary` as it goes, so that what was done is known even
// when something throws.
void CheckKeywords(RunFields& fields, PageFetcher& fetcher, const RunOptions& options,
                   RunFiles& files, RunSummary& summary) {
    // Both inputs are taken once: the window stays editable during a run, and an edit must not
    // change the run under way (a website cleared mid-run would be found in every listing).
    const std::u16string keywordList = fields.KeywordList();
    const std::u16string website = fields.Website();
    // The results file keeps the website as typed, without the white space around it.
    const std::u16string_view trimmedWebsite = TrimmedWebsite(website);

    // A blank website would be found in every listing and report 左1 for every keyword.
    const CheckedSite site = SiteToCheck(website);
    if (site.problem != SiteProblem::None) {
        fields.SetStatus(RefusedSiteText(website));
        summary.end = site.problem == SiteProblem::Empty ? RunEnd::NoWebsite : RunEnd::BadWebsite;
        return;
    }

    // The entries are walked over the list three times (counting, fetching ahead, checking)
    // rather than split up and held.
    std::u16string_view entry;
    // One keyword's text at a time, in a buffer each walk reuses.
    std::u16string keyword;
    for (KeywordEntries entries(keywordList); entries.Next(entry);) {
        KeywordOf(entry, keyword);
        summary.keywords += keyword.empty() ? 0 : 1;
    }
    // A list without a keyword would empty the files for nothing.
    if (summary.keywords == 0) {
        fields.SetStatus(u"请先填写竞价关键词");
        summary.end = RunEnd::NoKeywords;
        return;
    }

    // The files first: a run that cannot keep its results sends no request at all.
    if (!OpenFiles(fields, options, files, summary)) {
        return;
    }
    const std::vector<PageKind> pages = files.Pages();
    const auto pathOf = [&](PageKind page) -> const std::string& {
        return page == PageKind::Phone ? options.mobileResultsPath : options.resultsPath;
    };
    // Files, not devices or pipes: they can be replaced after the rounds, and a line written to
    // them never waits for a reader (as one to a pipe into a pager can, as long as it likes).
    const bool regularFiles = std::all_of(pages.begin(), pages.end(), [&](PageKind page) {
        return IsRegularFile(ResolvedPath(pathOf(page)));
    });
    if (options.history != nullptr) {
        options.history->Begin(site.site, options.device, options.stop);
    }
    const auto prefix = [&](PageKind page) -> const std::string& {
        return page == PageKind::Phone ? options.mobileSearchUrlPrefix : options.searchUrlPrefix;
    };

    // The home page is requested once per run, then each search engine's own home page, as a
    // browser would open it before searching, so the searches carry its cookies and come from
    // it. Their answers play no part in the check, and failures are ignored.
    (void)fetcher.FetchPage(options.homePageUrl, FetchOptions{.referer = {}, .sideRequest = true},
                            options.stop);
    std::vector<std::string> searchHomes;
    for (const PageKind page : pages) {
        searchHomes.push_back(SearchHomePage(prefix(page)));
        if (!searchHomes.back().empty()) {
            (void)fetcher.FetchPage(searchHomes.back(),
                                    FetchOptions{.referer = {}, .sideRequest = true, .page = page},
                                    options.stop);
        }
    }

    KeywordEntries toFetch(keywordList);
    std::u16string_view entryToFetch;
    std::u16string fetching;
    // A keyword's request for the run's page `index`.
    const auto requestFor = [&](std::size_t index, std::u16string_view text) {
        const PageKind page = pages[index];
        return PageRequest{
            SearchAddress(prefix(page), text, page),
            FetchOptions{.referer = searchHomes[index], .sideRequest = false, .page = page}};
    };
    std::size_t nextPage = 0;
    const auto nextRequest = [&]() {
        if (nextPage == 0) {
            while (toFetch.Next(entryToFetch)) {
                KeywordOf(entryToFetch, fetching);
                if (!fetching.empty()) {
                    break;
                }
            }
        }
        const std::size_t index = nextPage;
        nextPage = (nextPage + 1) % pages.size();
        return requestFor(index, fetching);
    };
    FetchAhead fetched(fetcher, nextRequest,
                       static_cast<std::size_t>(summary.keywords) * pages.size(), options.lookAhead,
                       options.stop, options.delay);

    std::vector<std::optional<PositionLabels>> labels(pages.size());
    // Every keyword's lines, kept only for the rounds after verification pages.
    std::vector<WrittenKeyword> checked;
    for (KeywordEntries toCheck(keywordList); toCheck.Next(entry);) {
        if (options.stop.stop_requested()) {
            summary.end = RunEnd::Stopped;
            break;
        }
        KeywordOf(entry, keyword);
        if (!keyword.empty()) {
            // All of a keyword's pages first: a stop between them writes none of its lines, so
            // the files hold the same keywords.
            std::vector<PageFailure> failures(pages.size());
            std::vector<ShownSites> sites(pages.size());
            for (std::size_t p = 0; p < pages.size() && summary.end != RunEnd::Stopped; ++p) {
                const FetchResult page = fetched.TakeNext();
                if (!page.ok() && options.stop.stop_requested()) {
                    // Cut short by the stop, not a failure of the keyword.
                    summary.end = RunEnd::Stopped;
                } else {
                    labels[p] = ReadPage(page, requestFor(p, keyword), keyword, site.site, options,
                                         failures[p], sites[p]);
                }
            }
            if (summary.end == RunEnd::Stopped) {
                break;
            }
            WrittenKeyword written = ShowLabels(fields, keyword, summary.checked + 1, labels,
                                                std::move(failures), std::move(sites));
            // The history is taken before the lines are written and its rows kept right after,
            // so that it never holds more than the files, nor a written line's row waits. Lines
            // that may wait for a reader are written first: the history is not held meanwhile,
            // which would stop every other run that keeps it.
            if (options.history != nullptr && regularFiles) {
                options.history->Hold();
            }
            std::vector<KeywordOutcome> outcomes;
            for (std::size_t p = 0; p < pages.size(); ++p) {
                files.For(pages[p]).WriteLine(keyword, trimmedWebsite, written.lines[p].left,
                                              written.lines[p].right);
                if (options.history != nullptr) {
                    outcomes.push_back(written.Outcome(p, pages[p]));
                }
            }
            if (options.history != nullptr) {
                options.history->Record(outcomes);
            }
            CountFailure(written, summary);
            ++summary.checked;
            if (options.verifyRounds > 0) {
                checked.push_back(std::move(written));
            }
            // Counted in keywords: blank lines and the list's last line break are none.
            fields.SetProgress(ProgressText(summary.checked, summary.keywords));
        }
    }

    files.Close();
    summary.writeFailed = files.writeFailed();

    // Keywords that met a verification page get further rounds, one page at a time after a
    // pause; the files are then replaced by ones with every keyword's final lines. A file that
    // cannot be replaced (a device, a pipe) keeps its lines, and then there are no rounds, so
    // that the caption and the exit status tell what the file holds.
    const auto blockedKeywords = [&] {
        std::vector<std::size_t> waiting;
        for (std::size_t k = 0; k < checked.size(); ++k) {
            if (checked[k].blocked()) {
                waiting.push_back(k);
            }
        }
        return waiting;
    };
    std::vector<char> retriedPages(pages.size(), 0);
    std::minstd_rand random{std::random_device{}()};
    std::chrono::milliseconds pause = options.verifyPause;
    for (int round = 0; regularFiles && round < options.verifyRounds &&
                        summary.end != RunEnd::Stopped && !summary.writeFailed;
         ++round, pause *= 2) {
        const std::vector<std::size_t> waiting = blockedKeywords();
        if (waiting.empty()) {
            break;
        }
        fields.SetStatus(u"等待" + Seconds(pause) + u"秒后重试" +
                         Decimal(static_cast<int>(waiting.size())) + u"个词");
        if (options.onVerifyPause) {
            options.onVerifyPause(static_cast<int>(waiting.size()), pause);
        }
        if (!PauseUnlessStopped(pause, options.stop)) {
            summary.end = RunEnd::Stopped;
            break;
        }
        for (const std::size_t k : waiting) {
            // Only the pages that met a verification page: the others keep what they gave.
            std::vector<std::optional<PositionLabels>> retried(pages.size());
            std::vector<PageFailure> failures = checked[k].failures;
            std::vector<ShownSites> sites = checked[k].sites;
            for (std::size_t p = 0; p < pages.size() && summary.end != RunEnd::Stopped; ++p) {
                if (failures[p].kind != CheckFailure::Blocked) {
                    retried[p] = failures[p].kind == CheckFailure::None
                                     ? std::optional(checked[k].lines[p])
                                     : std::nullopt;
                    continue;
                }
                std::uniform_int_distribution<std::chrono::milliseconds::rep> delay(
                    options.delay.shortest.count(), options.delay.longest.count());
                if (options.delay.longest.count() > 0 &&
                    !PauseUnlessStopped(std::chrono::milliseconds(delay(random)), options.stop)) {
                    summary.end = RunEnd::Stopped;
                    break;
                }
                const PageRequest request = requestFor(p, checked[k].keyword);
                const FetchResult page =
                    fetcher.FetchPage(request.address, request.options, options.stop);
                if (!page.ok() && options.stop.stop_requested()) {
                    summary.end = RunEnd::Stopped;
                } else {
                    retried[p] = ReadPage(page, request, checked[k].keyword, site.site, options,
                                          failures[p], sites[p]);
                    retriedPages[p] = 1;
                }
            }
            if (summary.end == RunEnd::Stopped) {
                break;
            }
            checked[k] = ShowLabels(fields, checked[k].keyword, checked[k].order, retried,
                                    std::move(failures), std::move(sites));
        }
    }
    if (std::find(retriedPages.begin(), retriedPages.end(), 1) != retriedPages.end()) {
        summary.failed = summary.blocked = summary.fetchFailed = summary.notResultPages =
            summary.unreadable = 0;
        for (const WrittenKeyword& keyword : checked) {
            CountFailure(keyword, summary);
        }
        for (std::size_t p = 0; p < pages.size(); ++p) {
            if (retriedPages[p] == 0) {
                continue;
            }
            std::vector<ResultsLineTexts> lines;
            lines.reserve(checked.size());
            for (const WrittenKeyword& keyword : checked) {
                lines.push_back({keyword.keyword, trimmedWebsite, keyword.lines[p].left,
                                 keyword.lines[p].right});
            }
            if (!ResultsFile::Replace(ResolvedPath(pathOf(pages[p])), lines)) {
                files.For(pages[p]).MarkWriteFailed();
                summary.writeFailed = true;
            } else if (options.history != nullptr) {
                // The history follows the file it stands beside.
                std::vector<KeywordOutcome> outcomes;
                outcomes.reserve(checked.size());
                for (const WrittenKeyword& keyword : checked) {
                    outcomes.push_back(keyword.Outcome(p, pages[p]));
                }
                options.history->Revise(outcomes);
            }
        }
    }
    EndHistory(options, summary);
    fields.SetStatus(summary.end == RunEnd::Stopped
                         ? StoppedText(summary, files.Names(false), files.Names(true))
                         : CompletionText(summary, files.Names(false), files.Names(true)));
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
    RunFiles files(options);
    try {
        CheckKeywords(fields, fetcher, options, files, summary);
    } catch (...) {
        // Lines already written are kept; the files are closed before the status says so.
        files.Close();
        summary.writeFailed = files.writeFailed();
        summary.end = RunEnd::Aborted;
        summary.abortReason = DescribeFailure(std::current_exception());
        if (files.everOpened()) {
            try {
                EndHistory(options, summary);
            } catch (...) {
                // The history says what it could not keep.
            }
        }
        try {
            // Before the file was opened there is nothing to say about it.
            fields.SetStatus(files.everOpened()
                                 ? AbortedText(summary, files.Names(false), files.Names(true))
                                 : u"运行中止（" + summary.abortReason + u"）");
        } catch (...) {
            // The summary still tells the caller.
        }
    }
    return summary;
}

}  // namespace slotscope
