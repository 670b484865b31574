#include "core/keyword_run.h"

#include <exception>
#include <new>
#include <system_error>
#include <utility>

#include "base/text_codec.h"
#include "core/failure_counts.h"
#include "core/run_captions.h"
#include "core/run_history.h"
#include "core/run_steps.h"
#include "page/own_site.h"

namespace slotscope {
namespace {

// The run's pages, in the files' order, with the search prefix and home page of each.
std::vector<RunPage> PagesOf(const RunFiles& files, const RunOptions& options) {
    std::vector<RunPage> pages;
    for (const PageKind kind : files.Pages()) {
        const std::string_view prefix =
            kind == PageKind::Phone ? options.mobileSearchUrlPrefix : options.searchUrlPrefix;
        pages.push_back({kind, prefix, SearchHomePage(prefix)});
    }
    return pages;
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

// The first pass's pages in list order: each keyword's pages in turn. The list is walked as the
// requests are made rather than held as addresses.
class FirstPassPages final {
  public:
    FirstPassPages(std::u16string_view keywordList, std::size_t pageCount)
        : entries_(keywordList), pageCount_(pageCount) {}

    // The next page's index among the run's pages, and its keyword (valid until the next call).
    std::pair<std::size_t, std::u16string_view> Next() {
        if (nextPage_ == 0) {
            for (std::u16string_view entry; entries_.Next(entry);) {
                KeywordOf(entry, keyword_);
                if (!keyword_.empty()) {
                    break;
                }
            }
        }
        const std::size_t page = nextPage_;
        nextPage_ = (nextPage_ + 1) % pageCount_;
        return {page, keyword_};
    }

  private:
    KeywordEntries entries_;
    const std::size_t pageCount_;
    std::u16string keyword_;
    std::size_t nextPage_ = 0;
};

}  // namespace

KeywordRun::KeywordRun(RunFields& fields, PageFetcher& fetcher, const RunOptions& options,
                       RunFiles& files, RunSummary& summary)
    : fields_(fields),
      fetcher_(fetcher),
      options_(options),
      files_(files),
      summary_(summary),
      pages_(PagesOf(files, options)),
      retried_(pages_.size(), 0) {}

bool KeywordRun::Open() {
    return TakeInputs() && OpenFiles();
}

void KeywordRun::Proceed() {
    files_.Clear();
    BeginHistory();
    SideRequests();
    FirstPass();
    files_.Close();
    summary_.writeFailed = files_.writeFailed();
    VerifyRounds();
    ReplaceFiles();
    End();
}

// Takes the keyword list and the website, and counts the keywords; false, with the status text
// set, when there is no site or no keyword to check.
bool KeywordRun::TakeInputs() {
    // Both inputs are taken once: the window stays editable during a run, and an edit must not
    // change the run under way (a website cleared mid-run would be found in every listing).
    keywordList_ = fields_.KeywordList();
    website_ = fields_.Website();

    // A blank website would be found in every listing and report 左1 for every keyword.
    CheckedSite site = SiteToCheck(website_);
    if (site.problem != SiteProblem::None) {
        fields_.SetStatus(RefusedSiteText(website_));
        summary_.end = site.problem == SiteProblem::Empty ? RunEnd::NoWebsite : RunEnd::BadWebsite;
        return false;
    }
    site_ = std::move(site.site);

    // The entries are walked over the list three times (counting, fetching ahead, checking)
    // rather than split up and held; one keyword's text at a time, in a buffer reused.
    std::u16string_view entry;
    std::u16string keyword;
    for (KeywordEntries entries(keywordList_); entries.Next(entry);) {
        KeywordOf(entry, keyword);
        summary_.keywords += keyword.empty() ? 0 : 1;
    }
    // A list without a keyword would empty the files for nothing.
    if (summary_.keywords == 0) {
        fields_.SetStatus(NoKeywordsText());
        summary_.end = RunEnd::NoKeywords;
        return false;
    }
    return true;
}

// The files first: a run that cannot keep its results sends no request at all.
bool KeywordRun::OpenFiles() {
    if (const std::optional<RunFiles::Unopened> unopened = files_.OpenKeeping()) {
        summary_.unopenedPath = files_.PathOf(unopened->page);
        summary_.end = unopened->result == OutputFile::OpenResult::InUse
                           ? RunEnd::ResultsFileInUse
                           : RunEnd::ResultsFileUnavailable;
        fields_.SetStatus(UnopenedFileText(summary_, files_.FileName(unopened->page)));
        return false;
    }
    regularFiles_ = files_.AllRegular();
    return true;
}

void KeywordRun::BeginHistory() {
    if (options_.history != nullptr) {
        options_.history->Begin(site_, options_.device, options_.region, options_.stop);
    }
}

// The home page is requested once per run, then each search engine's own home page, as a
// browser would open it before searching, so the searches carry its cookies and come from it.
// Their answers play no part in the check, and failures are ignored.
void KeywordRun::SideRequests() {
    (void)fetcher_.FetchPage(options_.homePageUrl, FetchOptions{.referer = {}, .sideRequest = true},
                             options_.stop);
    for (const RunPage& page : pages_) {
        if (!page.searchHome.empty()) {
            (void)fetcher_.FetchPage(
                page.searchHome,
                FetchOptions{.referer = {}, .sideRequest = true, .page = page.kind}, options_.stop);
        }
    }
}

PageRequest KeywordRun::RequestFor(std::size_t page, std::u16string_view keyword) const {
    const RunPage& run = pages_[page];
    return PageRequest{
        SearchAddress(run.searchPrefix, keyword, run.kind),
        FetchOptions{.referer = run.searchHome, .sideRequest = false, .page = run.kind}};
}

// Every keyword in list order: its pages fetched ahead, its lines written as soon as all its
// pages are in.
void KeywordRun::FirstPass() {
    FirstPassPages toFetch(keywordList_, pages_.size());
    FetchAhead fetched(
        fetcher_,
        [&] {
            const auto [page, keyword] = toFetch.Next();
            return RequestFor(page, keyword);
        },
        static_cast<std::size_t>(summary_.keywords) * pages_.size(), options_.lookAhead,
        options_.stop, options_.delay, options_.oneAtATimeAfterVerification);

    std::u16string_view entry;
    std::u16string keyword;
    for (KeywordEntries toCheck(keywordList_); toCheck.Next(entry);) {
        if (options_.stop.stop_requested()) {
            summary_.end = RunEnd::Stopped;
            return;
        }
        KeywordOf(entry, keyword);
        if (keyword.empty()) {
            continue;
        }
        std::optional<KeywordPages> taken = TakePages(fetched, keyword);
        if (!taken) {
            summary_.end = RunEnd::Stopped;
            return;
        }
        WriteLines(std::move(*taken));
    }
}

// All of a keyword's pages, read; nothing when a stop cut them short. All pages come first: a
// stop between them writes none of the keyword's lines, so the files hold the same keywords.
std::optional<KeywordPages> KeywordRun::TakePages(FetchAhead& fetched,
                                                  std::u16string_view keyword) {
    KeywordPages taken{std::u16string(keyword), summary_.checked + 1, {}};
    for (std::size_t page = 0; page < pages_.size(); ++page) {
        const FetchResult result = fetched.TakeNext();
        if (!result.ok() && options_.stop.stop_requested()) {
            // Cut short by the stop, not a failure of the keyword.
            return std::nullopt;
        }
        taken.pages.push_back(
            ReadPage(result, RequestFor(page, keyword), keyword, site_, options_));
    }
    return taken;
}

// Shows the keyword's labels, writes its lines and keeps its rows in the history.
void KeywordRun::WriteLines(KeywordPages keyword) {
    ShowLabels(fields_, keyword);
    // The history is taken before the lines are written and its rows kept right after, so
    // that it never holds more than the files, nor a written line's row waits. Lines that may
    // wait for a reader are written first: the history is not held meanwhile, which would stop
    // every other run that keeps it.
    if (options_.history != nullptr && regularFiles_) {
        options_.history->Hold();
    }
    // The results file keeps the website as typed, without the white space around it.
    const std::u16string_view website = TrimmedWebsite(website_);
    std::vector<KeywordOutcome> outcomes;
    for (std::size_t page = 0; page < pages_.size(); ++page) {
        const PositionLabels& labels = keyword.pages[page].labels;
        files_.For(pages_[page].kind)
            .WriteLine(keyword.keyword, website, labels.left, labels.right);
        if (options_.history != nullptr) {
            outcomes.push_back(keyword.Outcome(page));
        }
    }
    if (options_.history != nullptr) {
        options_.history->Record(outcomes);
    }
    CountFailure(keyword.Failure(), summary_);
    ++summary_.checked;
    if (options_.verifyRounds > 0) {
        checked_.push_back(std::move(keyword));
    }
    // Counted in keywords: blank lines and the list's last line break are none.
    fields_.SetProgress(ProgressText(summary_.checked, summary_.keywords));
    if (options_.onChecked) {
        options_.onChecked(summary_.checked);
    }
}

void KeywordRun::End() {
    EndHistory(options_, summary_);
    fields_.SetStatus(EndText(summary_, files_.Names(false), files_.Names(true)));
}

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

GuardedRun::GuardedRun(RunFields& fields, PageFetcher& fetcher, const RunOptions& options)
    : fields_(fields),
      options_(options),
      files_(options),
      run_(fields, fetcher, options, files_, summary_) {}

bool GuardedRun::Open() {
    try {
        return run_.Open();
    } catch (...) {
        Abort(std::current_exception());
        return false;
    }
}

void GuardedRun::Proceed() {
    try {
        run_.Proceed();
    } catch (...) {
        Abort(std::current_exception());
    }
}

void GuardedRun::Abort(const std::exception_ptr& failure) {
    // Lines already written are kept; the files are closed before the status says so.
    files_.Close();
    summary_.writeFailed = files_.writeFailed();
    summary_.end = RunEnd::Aborted;
    summary_.abortReason = DescribeFailure(failure);
    if (files_.everOpened()) {
        try {
            EndHistory(options_, summary_);
        } catch (...) {
            // The history says what it could not keep.
        }
    }
    try {
        // Before the file was opened there is nothing to say about it.
        fields_.SetStatus(
            EndText(summary_, files_.everOpened() ? files_.Names(false) : u"", files_.Names(true)));
    } catch (...) {
        // The summary still tells the caller.
    }
}

RunSummary RunKeywordCheck(RunFields& fields, PageFetcher& fetcher, const RunOptions& options) {
    GuardedRun run(fields, fetcher, options);
    if (run.Open()) {
        run.Proceed();
    }
    return run.summary();
}

}  // namespace slotscope
