#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/fetch_ahead.h"
#include "core/keyword_pages.h"
#include "core/keyword_run.h"
#include "core/page_fetcher.h"
#include "core/run_fields.h"
#include "core/run_files.h"
#include "page/page_kind.h"

namespace slotscope {

// A page every keyword of the run is checked on, and where its searches go and come from.
struct RunPage {
    PageKind kind = PageKind::Desktop;
    std::string_view searchPrefix;
    // The search engine's own home page, requested before the searches, which name it as their
    // referer; empty when the prefix names no host.
    std::string searchHome;
};

// One run of RunKeywordCheck, step by step. Each step writes into the summary as it goes, so
// that what was done is known even when a step throws.
class KeywordRun final {
  public:
    KeywordRun(RunFields& fields, PageFetcher& fetcher, const RunOptions& options, RunFiles& files,
               RunSummary& summary);
    KeywordRun(const KeywordRun&) = delete;
    KeywordRun& operator=(const KeywordRun&) = delete;

    // The steps until the files are open, none of them emptied yet: false when the run ends
    // there, with the status text set.
    bool Open();
    // The rest, from emptying the files to the status text at the end.
    void Proceed();

  private:
    // The run's steps, in order.
    bool TakeInputs();
    bool OpenFiles();
    void BeginHistory();
    void SideRequests();
    void FirstPass();
    void VerifyRounds();
    void ReplaceFiles();
    void End();

    // The first pass.
    std::optional<KeywordPages> TakePages(FetchAhead& fetched, std::u16string_view keyword);
    void WriteLines(KeywordPages keyword);

    // The rounds after verification pages.
    std::vector<std::size_t> BlockedKeywords() const;
    bool PauseBeforeRound(std::size_t keywords, std::chrono::milliseconds pause);
    std::optional<KeywordPages> Retry(const KeywordPages& keyword);
    bool PaceRetry();
    void ReplaceFile(std::size_t page);

    // A keyword's request for the run's page `page`.
    PageRequest RequestFor(std::size_t page, std::u16string_view keyword) const;
    bool stopped() const { return summary_.end == RunEnd::Stopped; }

    RunFields& fields_;
    PageFetcher& fetcher_;
    const RunOptions& options_;
    RunFiles& files_;
    RunSummary& summary_;
    const std::vector<RunPage> pages_;

    // Both inputs are taken once, when the run starts.
    std::u16string keywordList_;
    std::u16string website_;
    std::u16string site_;  // the site the pages are read for
    // All files are regular files (see RunFiles::AllRegular).
    bool regularFiles_ = false;

    // Every keyword's pages, kept only for the rounds after verification pages.
    std::vector<KeywordPages> checked_;
    // The pages of the run that a round fetched again, by index.
    std::vector<char> retried_;
    std::minstd_rand random_;  // the pacing of the rounds' requests
};

// A run with the files and the summary it owns, its steps guarded: a failure of the run itself
// ends it as Aborted, keeping every finished line, with the reason in the status text.
class GuardedRun final {
  public:
    GuardedRun(RunFields& fields, PageFetcher& fetcher, const RunOptions& options);
    GuardedRun(const GuardedRun&) = delete;
    GuardedRun& operator=(const GuardedRun&) = delete;

    // As KeywordRun's: false when the run ended in opening its files.
    bool Open();
    void Proceed();
    // Closes the files Open left open, for a run that goes no further: their lines are kept.
    void Abandon() { files_.Close(); }

    const RunSummary& summary() const { return summary_; }
    const RunFiles& files() const { return files_; }

  private:
    void Abort(const std::exception_ptr& failure);

    RunFields& fields_;
    const RunOptions& options_;
    RunFiles files_;
    RunSummary summary_;
    KeywordRun run_;
};

}  // namespace slotscope
