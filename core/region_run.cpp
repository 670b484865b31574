#include "core/region_run.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

#include "core/run_captions.h"
#include "core/run_files.h"
#include "core/run_steps.h"

namespace slotscope {
namespace {

// The user's fields as the regions' runs share them: the inputs taken once for all, the
// progress counting the keywords every region has done, the labels of the first region, and
// the pauses of every region, named.
class SharedFields final {
  public:
    SharedFields(RunFields& fields, std::size_t regions)
        : fields_(fields),
          keywordList_(fields.KeywordList()),
          website_(fields.Website()),
          done_(regions, 0) {}

    const std::u16string& keywordList() const { return keywordList_; }
    const std::u16string& website() const { return website_; }

    // The keywords of the run, once its regions have counted them.
    void SetKeywords(int keywords) { keywords_ = keywords; }
    void Done(std::size_t region, int checked) {
        std::lock_guard lock(mutex_);
        done_[region] = checked;
        const int everywhere = *std::min_element(done_.begin(), done_.end());
        if (everywhere > shown_) {
            shown_ = everywhere;
            fields_.SetProgress(ProgressText(everywhere, keywords_));
        }
    }
    void SetLabels(const std::u16string* left, const std::u16string* right) {
        std::lock_guard lock(mutex_);
        if (left != nullptr) {
            fields_.SetLeftLabel(*left);
        }
        if (right != nullptr) {
            fields_.SetRightLabel(*right);
        }
    }
    void SetStatus(const std::u16string& text) {
        std::lock_guard lock(mutex_);
        fields_.SetStatus(text);
    }

  private:
    std::mutex mutex_;
    RunFields& fields_;
    const std::u16string keywordList_;
    const std::u16string website_;
    std::vector<int> done_;
    int shown_ = 0;
    int keywords_ = 0;
};

// A region's own fields: the shared inputs, its own labels (the first region's shown too), and
// its progress and status kept to itself: the run as a whole tells those.
class RegionFields final : public MemoryRunFields {
  public:
    RegionFields(SharedFields& shared, bool showsLabels)
        : MemoryRunFields(shared.keywordList(), shared.website()),
          shared_(shared),
          showsLabels_(showsLabels) {}

    void SetLeftLabel(const std::u16string& text) override {
        MemoryRunFields::SetLeftLabel(text);
        if (showsLabels_) {
            shared_.SetLabels(&text, nullptr);
        }
    }
    void SetRightLabel(const std::u16string& text) override {
        MemoryRunFields::SetRightLabel(text);
        if (showsLabels_) {
            shared_.SetLabels(nullptr, &text);
        }
    }

  private:
    SharedFields& shared_;
    const bool showsLabels_;
};

// A region's run with what it owns.
struct RegionRun {
    RegionRun(SharedFields& shared, const RunRegion& region, std::size_t index,
              const RunOptions& options)
        : fields(shared, index == 0), options(OptionsFor(shared, region, index, options)) {
        run = std::make_unique<GuardedRun>(fields, *region.fetcher, this->options);
    }

    static RunOptions OptionsFor(SharedFields& shared, const RunRegion& region, std::size_t index,
                                 const RunOptions& options) {
        RunOptions own = options;
        if (!region.name.empty()) {
            own.resultsPath = RegionResultsPath(options.resultsPath, region.name);
            own.mobileResultsPath = RegionResultsPath(options.mobileResultsPath, region.name);
        }
        own.region = region.name;
        own.history = region.history;
        own.oneAtATimeAfterVerification = !region.pool;
        own.onChecked = [&shared, index](int checked) { shared.Done(index, checked); };
        own.onVerifyPause = [&shared, user = options.onVerifyPause](
                                std::u16string_view name, int keywords,
                                std::chrono::milliseconds pause) {
            shared.SetStatus(ShownRegionName(name) + u"：" + VerifyPauseText(keywords, pause));
            if (user) {
                user(name, keywords, pause);
            }
        };
        return own;
    }

    RegionFields fields;
    RunOptions options;
    std::unique_ptr<GuardedRun> run;
};

// The run as a whole, from the regions' runs: ended as the one that weighs most (aborted, then
// stopped); keywords done where every region has done them; failures of all regions together.
RunSummary TotalOf(const std::vector<RegionOutcome>& regions) {
    RunSummary total;
    total.keywords = regions.front().summary.keywords;
    total.checked = total.keywords;
    total.historyKeywords = total.keywords;
    for (const RegionOutcome& region : regions) {
        const RunSummary& summary = region.summary;
        if (summary.end == RunEnd::Aborted && total.end != RunEnd::Aborted) {
            total.end = RunEnd::Aborted;
            total.abortReason = ShownRegionName(region.name) + u"：" + summary.abortReason;
        } else if (summary.end != RunEnd::Completed && total.end == RunEnd::Completed) {
            total.end = summary.end;
        }
        total.checked = std::min(total.checked, summary.checked);
        total.failed += summary.failed;
        total.blocked += summary.blocked;
        total.fetchFailed += summary.fetchFailed;
        total.notResultPages += summary.notResultPages;
        total.unreadable += summary.unreadable;
        total.writeFailed = total.writeFailed || summary.writeFailed;
        if (total.historyProblem.empty() && !summary.historyProblem.empty()) {
            total.historyProblem = summary.historyProblem;
        }
        total.historyKeywords = std::min(total.historyKeywords, summary.historyKeywords);
    }
    return total;
}

}  // namespace

RegionsSummary RunRegionsCheck(RunFields& fields, const std::vector<RunRegion>& regions,
                               const RunOptions& options) {
    RegionsSummary result;
    if (regions.size() == 1 && regions.front().name.empty()) {
        // The machine's own connection alone: the run as it always was.
        RunOptions own = options;
        own.history = regions.front().history;
        own.oneAtATimeAfterVerification = !regions.front().pool;
        RunFiles names(own);
        result.total = RunKeywordCheck(fields, *regions.front().fetcher, own);
        result.regions.push_back({u"", result.total, names.NameList(false), {}});
        return result;
    }

    SharedFields shared(fields, regions.size());
    std::vector<std::unique_ptr<RegionRun>> runs;
    for (std::size_t r = 0; r < regions.size(); ++r) {
        runs.push_back(std::make_unique<RegionRun>(shared, regions[r], r, options));
    }
    // Every region's files are opened before any is emptied: one that cannot be opened leaves
    // them all as they were, and the run ends there as a run of one region would.
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (!runs[r]->run->Open()) {
            for (std::size_t opened = 0; opened < r; ++opened) {
                runs[opened]->run->Abandon();
            }
            result.total = runs[r]->run->summary();
            result.regions.push_back({regions[r].name, result.total, {}, {}});
            shared.SetStatus(runs[r]->fields.Status());
            return result;
        }
    }
    shared.SetKeywords(runs.front()->run->summary().keywords);
    {
        std::vector<std::jthread> threads;
        threads.reserve(runs.size());
        for (const auto& run : runs) {
            threads.emplace_back([&run] { run->run->Proceed(); });
        }
    }
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const GuardedRun& run = *runs[r]->run;
        result.regions.push_back({regions[r].name, run.summary(), run.files().NameList(false),
                                  run.files().NameList(true)});
    }
    result.total = TotalOf(result.regions);
    shared.SetStatus(RegionsEndText(result));
    return result;
}

}  // namespace slotscope
