#include "history/history_report.h"

#include <algorithm>
#include <map>
#include <optional>
#include <span>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "base/side_file.h"
#include "history/local_time.h"
#include "history/report_changes.h"
#include "history/report_markup.h"
#include "history/report_page.h"
#include "history/site_history.h"
#include "page/own_site.h"

namespace slotscope {
namespace {

// The page a run's charts and counts read: the phone's for a phone run, else the desktop's.
std::string_view MainPage(const StoredRun& run) {
    return run.device == "mobile" ? "mobile" : "pc";
}

// Whether a side moved since the run before: what the report lists in full.
bool Moved(const StoredChange& change) {
    return change.kind == "up" || change.kind == "down" || change.kind == "gained" ||
           change.kind == "lost";
}

bool Changed(const StoredResult& result) {
    return Moved(result.left.change) || Moved(result.right.change);
}

// A keyword on a page, as one string for a set of them.
std::string KeyOf(const std::string& page, const std::string& keyword) {
    return page + '\n' + keyword;
}

// A keyword the report's tables show.
struct ShownLine {
    std::string page;
    std::string keyword;
    bool changed = false;  // its slot moved in the latest run
    bool latest = false;   // the latest run checked it: who holds its slots is shown
};

// The keywords the report's tables show, in their order, and how many it leaves out.
struct ShownKeywords {
    std::vector<ShownLine> lines;
    std::unordered_map<std::string, std::size_t> rows;  // KeyOf each of them, to its line
    int leftOut = 0;
    int unchanged = 0;  // shown, though they did not change

    void Offer(const std::string& page, const std::string& keyword, bool changed, bool latest,
               int most) {
        // A keyword a run checked twice (listed twice) has one row.
        if (const auto shown = rows.find(KeyOf(page, keyword)); shown != rows.end()) {
            lines[shown->second].changed = lines[shown->second].changed || changed;
            return;
        }
        if (!changed && unchanged >= most) {
            ++leftOut;
            return;
        }
        unchanged += changed ? 0 : 1;
        rows.emplace(KeyOf(page, keyword), lines.size());
        lines.push_back({page, keyword, changed, latest});
    }
    // The line of a keyword shown, if it is.
    std::optional<std::size_t> Row(const std::string& page, const std::string& keyword) const {
        const auto found = rows.find(KeyOf(page, keyword));
        return found == rows.end() ? std::nullopt : std::optional(found->second);
    }
};

// The ids of a part's rows: a keyword's row in the tables, and its row of who holds the slots.
std::string RowId(int section, std::size_t line) {
    return "s" + std::to_string(section) + "k" + std::to_string(line);
}
std::string HoldersId(int section, std::size_t line) {
    return "s" + std::to_string(section) + "h" + std::to_string(line);
}

// What the report reads before its body: how the latest run moved, which keywords the table
// shows, and every run's totals for the charts.
struct Survey {
    bool bothPages = false;  // keywords of the desktop and of the phone page say which they are
    LatestCounts counts;
    std::vector<SlotMove> moves;  // worst first
    ShownKeywords shown;
    std::vector<RunTotals> totals;
};

bool BothPages(const std::vector<StoredRun>& runs) {
    const auto phone = [](const StoredRun& run) { return run.device != "pc"; };
    const auto desktop = [](const StoredRun& run) { return run.device != "mobile"; };
    return std::any_of(runs.begin(), runs.end(), desktop) &&
           std::any_of(runs.begin(), runs.end(), phone);
}

// The latest run's keywords, then those that only earlier runs checked; nothing where the
// history could not be read.
std::optional<Survey> Read(HistoryReader& reader, const std::string& site,
                           const std::vector<StoredRun>& runs, int unchangedKeywords, int section) {
    Survey survey;
    survey.bothPages = BothPages(runs);
    const StoredRun& latest = runs.back();
    const int most = std::max(unchangedKeywords, 0);
    std::vector<StoredResult> changed;
    const bool read = reader.ResultsOfRun(latest.id,
                                          [&](const StoredResult& result) {
                                              survey.counts.Count(result);
                                              if (Changed(result)) {
                                                  changed.push_back(result);
                                              }
                                              survey.shown.Offer(result.page, result.keyword,
                                                                 Changed(result), true, most);
                                              return true;
                                          }) &&
                      reader.KeywordsBeforeTheLast(
                          site, runs, [&](const std::string& page, const std::string& keyword) {
                              survey.shown.Offer(page, keyword, false, false, most);
                              return true;
                          });
    bool movesRead = read;
    for (const StoredResult& result : changed) {
        std::optional<StoredResult> before;
        movesRead = movesRead && reader.CheckBefore(site, latest, result.page, result.keyword,
                                                    [&](const StoredResult& found) {
                                                        before = found;
                                                        return true;
                                                    });
        const std::optional<std::size_t> row = survey.shown.Row(result.page, result.keyword);
        for (SlotMove& move : MovesOf(result, before, SiteKey(site))) {
            move.anchor = row ? RowId(section, *row) : "";
            survey.moves.push_back(std::move(move));
        }
    }
    SortWorstFirst(survey.moves);
    std::optional<std::vector<RunTotals>> totals = movesRead ? reader.Totals(runs) : std::nullopt;
    if (!totals) {
        return std::nullopt;
    }
    survey.totals = std::move(*totals);
    return survey;
}

// The charts of the runs (started `when`), from their totals.
markup::Html RunCharts(const std::vector<RunTotals>& totals, const std::vector<std::string>& when,
                       std::string_view page) {
    std::vector<std::optional<double>> share(totals.size());
    std::vector<std::optional<double>> average(totals.size());
    int deepest = 1;
    for (std::size_t r = 0; r < totals.size(); ++r) {
        const RunTotals& run = totals[r];
        if (run.checked > 0) {
            share[r] = 100.0 * run.holding / run.checked;
        }
        if (run.holding > 0) {
            average[r] = static_cast<double>(run.slotSum) / run.holding;
        }
        deepest = std::max(deepest, run.deepest);
    }
    return Charts(share, average, deepest, when, page);
}

// A keyword's checks over the runs: its left slot in each, and the whole check in those the
// table shows, newest first; read one keyword after another into the same room.
class KeywordChecks final {
  public:
    KeywordChecks(const std::vector<StoredRun>& runs, std::size_t shownRuns)
        : firstRun_(runs.front().id), shown_(shownRuns), slots_(runs.size()), seen_(runs.size()) {
        for (std::size_t i = 0; i < runs.size(); ++i) {
            runIndex_[runs[i].id] = i;
        }
    }

    bool Read(HistoryReader& reader, const std::string& page, const std::string& keyword) {
        std::fill(shown_.begin(), shown_.end(), std::nullopt);
        std::fill(slots_.begin(), slots_.end(), std::nullopt);
        std::fill(seen_.begin(), seen_.end(), false);
        return reader.ResultsOfKeyword(page, keyword, firstRun_, [&](const StoredResult& result) {
            const auto found = runIndex_.find(result.run);
            // A keyword listed twice in a run: its first check, as who holds its slots shows.
            if (found != runIndex_.end() && !seen_[found->second]) {
                seen_[found->second] = true;
                slots_[found->second] = result.left.slot;
                // The newest run first: places counted back from the last run.
                const std::size_t back = slots_.size() - 1 - found->second;
                if (back < shown_.size()) {
                    shown_[back] = result;
                }
            }
            return true;
        });
    }
    std::span<const std::optional<StoredResult>> shown() const { return shown_; }
    const std::vector<std::optional<int>>& slots() const { return slots_; }

  private:
    long long firstRun_;
    std::unordered_map<long long, std::size_t> runIndex_;
    std::vector<std::optional<StoredResult>> shown_;
    std::vector<std::optional<int>> slots_;
    std::vector<bool> seen_;
};

// One table of the keywords: those that moved in the latest run, or the others; each keyword
// read on its own and written as it is read.
ExportEnd WriteTable(HistoryReader& reader, const Survey& survey, bool moved, int section,
                     KeywordChecks& checks, markup::Writer& html) {
    for (std::size_t line = 0; line < survey.shown.lines.size(); ++line) {
        const ShownLine& shown = survey.shown.lines[line];
        if (shown.changed != moved) {
            continue;
        }
        if (!checks.Read(reader, shown.page, shown.keyword)) {
            return ExportEnd::ReadFailed;
        }
        const RowIds ids{RowId(section, line),
                         shown.latest ? HoldersId(section, line) : std::string()};
        html.Write(KeywordRow(shown.page, shown.keyword, survey.bothPages, ids, checks.shown(),
                              checks.slots()));
        if (!html.written()) {
            return ExportEnd::WriteFailed;
        }
    }
    html.Write(KeywordsEnd());
    return ExportEnd::Written;
}

// The keywords over the last `options.tableRuns` runs, newest first: those that moved, then the
// others folded away (open where none moved).
ExportEnd WriteKeywords(HistoryReader& reader, const std::vector<StoredRun>& runs,
                        const Survey& survey, const ReportOptions& options, int section,
                        markup::Writer& html) {
    const std::size_t shownRuns =
        std::min(runs.size(), static_cast<std::size_t>(std::max(options.tableRuns, 1)));
    KeywordChecks checks(runs, shownRuns);
    std::vector<RunColumn> columns;
    for (std::size_t back = 0; back < shownRuns; ++back) {
        const StoredRun& run = runs[runs.size() - 1 - back];
        columns.push_back({run.id, options.localTime
                                       ? options.localTime(run.started)
                                       : LocalTimeText(run.started, TimeShown::Seconds)});
    }
    const auto changed =
        static_cast<std::size_t>(std::count_if(survey.shown.lines.begin(), survey.shown.lines.end(),
                                               [](const ShownLine& line) { return line.changed; }));
    const std::size_t unchanged = survey.shown.lines.size() - changed;
    html.Write(KeywordsHeading(shownRuns));
    if (changed > 0) {
        html.Write(KeywordsHead(columns, MainPage(runs.back())));
        if (const ExportEnd end = WriteTable(reader, survey, true, section, checks, html);
            end != ExportEnd::Written) {
            return end;
        }
    }
    if (unchanged > 0) {
        html.Write(UnchangedStart(unchanged, changed == 0));
        html.Write(KeywordsHead(columns, MainPage(runs.back())));
        if (const ExportEnd end = WriteTable(reader, survey, false, section, checks, html);
            end != ExportEnd::Written) {
            return end;
        }
        html.Write(UnchangedEnd());
    }
    return ExportEnd::Written;
}

// Who holds the slots in the latest run (started `when`), for the keywords of the table; then
// the page's end.
ExportEnd WriteHolders(HistoryReader& reader, const std::string& site, const StoredRun& latest,
                       const Survey& survey, std::string_view when, int section,
                       markup::Writer& html) {
    html.Write(HoldersHead(when, MainPage(latest), survey.bothPages));
    const std::string own = SiteKey(site);
    std::vector<bool> written(survey.shown.lines.size());
    const bool holdersRead = reader.ResultsOfRun(latest.id, [&](const StoredResult& result) {
        // A keyword checked twice: its first check, as its row shows.
        const std::optional<std::size_t> line = survey.shown.Row(result.page, result.keyword);
        if (line && !written[*line]) {
            written[*line] = true;
            html.Write(HolderRow(result, survey.bothPages, own, HoldersId(section, *line)));
        }
        return html.written();
    });
    if (!html.written()) {
        return ExportEnd::WriteFailed;
    }
    if (!holdersRead) {
        return ExportEnd::ReadFailed;
    }
    html.Write(HoldersEnd());
    return html.written() ? ExportEnd::Written : ExportEnd::WriteFailed;
}

// The report's parts: the runs from one region read on one page, the latest `most` of each, the
// machine's own connection first, then the regions by name, the desktop before the phone.
std::vector<std::vector<StoredRun>> SectionsOf(const std::vector<StoredRun>& runs, int most) {
    std::map<std::tuple<bool, std::string, bool>, std::vector<StoredRun>> sections;
    for (const StoredRun& run : runs) {
        sections[{!run.region.empty(), run.region, MainPage(run) == "mobile"}].push_back(run);
    }
    std::vector<std::vector<StoredRun>> ordered;
    for (auto& [key, section] : sections) {
        if (most > 0 && section.size() > static_cast<std::size_t>(most)) {
            section.erase(section.begin(), section.end() - most);
        }
        ordered.push_back(std::move(section));
    }
    return ordered;
}

// One region's runs on one page: the latest against the one before, the charts, the keywords
// and who holds the slots.
ExportEnd WriteSection(HistoryReader& reader, const std::string& site,
                       const std::vector<StoredRun>& runs, const ReportOptions& options,
                       int section, markup::Writer& html) {
    const std::string shownSite = SiteKey(site);
    const std::optional<Survey> survey =
        Read(reader, site, runs, options.unchangedKeywords, section);
    if (!survey) {
        return ExportEnd::ReadFailed;
    }
    std::vector<std::string> when;
    when.reserve(runs.size());
    for (const StoredRun& run : runs) {
        when.push_back(options.localTime ? options.localTime(run.started)
                                         : LocalTimeText(run.started));
    }
    html.Write(RunsCovered(runs.size(), when.front(), when.back()));
    html.Write(LatestHeading(runs.back(), when.back()));
    // A run alone in its part may still compare with an earlier one the part does not cover.
    if (runs.size() < 2 && !survey->counts.compared) {
        html.Write(OnlyOneRun());
    } else {
        html.Write(ChangesList(survey->moves, survey->bothPages, survey->counts.compared));
    }
    html.Write(CountsLine(survey->counts, runs.back().device));
    html.Write(RunCharts(survey->totals, when, MainPage(runs.back())));
    if (const ExportEnd end = WriteKeywords(reader, runs, *survey, options, section, html);
        end != ExportEnd::Written) {
        return end;
    }
    if (survey->shown.leftOut > 0) {
        html.Write(LeftOutNote(survey->shown.leftOut, shownSite));
    }
    return WriteHolders(reader, site, runs.back(), *survey, when.back(), section, html);
}

}  // namespace

ExportEnd WriteHistoryReport(HistoryReader& reader, const std::string& site,
                             const std::vector<StoredRun>& runs, const ReportOptions& options,
                             const ExportOut& out) {
    markup::Writer html(out);
    html.Write(PageHead(SiteKey(site)));
    if (runs.empty()) {
        html.Write(NoRunsYet());
        return html.Flush() ? ExportEnd::Written : ExportEnd::WriteFailed;
    }
    const std::vector<std::vector<StoredRun>> sections = SectionsOf(runs, options.sectionRuns);
    for (std::size_t part = 0; part < sections.size(); ++part) {
        const std::vector<StoredRun>& section = sections[part];
        if (sections.size() > 1) {
            html.Write(SectionHeading(section.back().region, MainPage(section.back())));
        }
        if (const ExportEnd end =
                WriteSection(reader, site, section, options, static_cast<int>(part) + 1, html);
            end != ExportEnd::Written) {
            return end;
        }
    }
    html.Write(PageEnd());
    return html.Flush() ? ExportEnd::Written : ExportEnd::WriteFailed;
}

std::string ReportPathBeside(const std::string& utf8HistoryPath) {
    return FileBeside(utf8HistoryPath, "slotscope-report.html");
}

SiteReport WriteSiteReport(const std::string& utf8HistoryPath, const std::string& site,
                           int lastRuns, std::string utf8OutputPath, const ReportOptions& options) {
    SiteReport report;
    report.path =
        utf8OutputPath.empty() ? ReportPathBeside(utf8HistoryPath) : std::move(utf8OutputPath);
    const auto opened = OpenSiteHistory(utf8HistoryPath, site, report.path, "report");
    if (!opened) {
        report.outcome =
            opened.error().none ? SiteReport::Outcome::NoHistory : SiteReport::Outcome::Failed;
        report.problem = opened.error().problem;
        return report;
    }
    ReportOptions covering = options;
    covering.sectionRuns = lastRuns > 0 ? std::min(lastRuns, kReportRuns) : kReportRuns;
    HistoryReader& history = *opened->reader;
    // The old report stays whole until the new one is: a new file put in its place.
    SideFile file(report.path, ".partial", SideFile::Access::AsTarget);
    const ExportEnd end =
        WriteHistoryReport(history, site, opened->runs, covering,
                           [&](std::string_view text) { return file.Write(text); });
    if (end == ExportEnd::ReadFailed) {
        report.problem = "history file " + utf8HistoryPath + ": " + history.problem();
        return report;
    }
    if (end != ExportEnd::Written || !file.Commit()) {
        report.problem = "the report could not be written to " + report.path;
        return report;
    }
    report.outcome = SiteReport::Outcome::Written;
    return report;
}

}  // namespace slotscope
