#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_export.h"
#include "history/history_read.h"

namespace slotscope {

// The runs a report covers at most, the latest: a day's checks every half hour, or weeks of a few
// a day. Longer histories are the export's (slotscope-cli history).
inline constexpr int kReportRuns = 30;
// The keywords that did not change since the run before that a report shows at most; every one
// that changed is shown.
inline constexpr int kUnchangedKeywordsShown = 1000;

struct ReportOptions {
    int tableRuns = kReportRuns;  // the runs the keyword table shows, the newest first
    int unchangedKeywords = kUnchangedKeywordsShown;
    // The latest runs of each region and page the report covers; 0: all it is given.
    int sectionRuns = 0;
    // Shows a UTC time of the history in local time; LocalTimeText unless a test says otherwise.
    std::function<std::string(std::string_view)> localTime;
};

// `runs` of `site` (as HistoryReader::Runs gives them) as one self-contained HTML page (UTF-8)
// that loads nothing from anywhere and reads fully without scripts. Runs from each region (the
// machine's own connection apart) and of each main page (the phone's, or the desktop's) have a
// part of their own, headed where there are several, with the last options.sectionRuns of them:
// the runs covered, the latest run against the one before, charts of the share of
// keywords holding a left slot and of the average left slot, a table of the keywords over the
// last runs with their changes and each one's left slot over the runs, and who holds the slots
// in the latest run. The table shows every keyword whose slot changed in the latest run and at
// most options.unchangedKeywords others, and says how many more there are. Every text from a
// page, a keyword or a site is escaped. Written a piece at a time, a keyword's row as it is read,
// so a history of any length takes little memory.
ExportEnd WriteHistoryReport(HistoryReader& reader, const std::string& site,
                             const std::vector<StoredRun>& runs, const ReportOptions& options,
                             const ExportOut& out);

// The report of a site written to a file, as the window and the command line ask for it.
struct SiteReport {
    enum class Outcome {
        Written,
        NoHistory,  // no history file yet, or no run of the site in it
        Failed,     // the history could not be read, or the report not written
    };
    Outcome outcome = Outcome::Failed;
    std::string path;     // where it was written (UTF-8)
    std::string problem;  // why not, in English
};

// The report file beside a history file: slotscope-report.html.
std::string ReportPathBeside(const std::string& utf8HistoryPath);

// Reads the last `lastRuns` runs of `site` from each region on each page (0 or more than
// kReportRuns: kReportRuns) and writes
// their report to `utf8OutputPath` (empty: beside the history), through a new file that
// replaces the old one in one step.
SiteReport WriteSiteReport(const std::string& utf8HistoryPath, const std::string& site,
                           int lastRuns, std::string utf8OutputPath, const ReportOptions& options);

}  // namespace slotscope
