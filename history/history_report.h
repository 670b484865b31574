#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "history/history_read.h"

namespace slotscope {

struct ReportOptions {
    int tableRuns = 10;  // the runs the keyword table shows, the latest last
    // Shows a UTC time of the history in local time; LocalTimeText unless a test says otherwise.
    std::function<std::string(std::string_view)> localTime;
};

// A site's history as one self-contained HTML page (UTF-8) that loads nothing from anywhere and
// reads fully without scripts: the runs covered, the latest run against the one before, charts
// of the share of keywords holding a left slot and of the average left slot, a table of the
// keywords over the last runs with their changes, each keyword's left slot over the runs, and
// who holds the slots in the latest run. Every text from a page, a keyword or a site is escaped.
std::string HistoryReport(const SiteHistory& history, const ReportOptions& options = {});

}  // namespace slotscope

namespace slotscope {

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

// Reads the last `lastRuns` runs (0: all) of `site` and writes their report to `utf8OutputPath`
// (empty: beside the history), through a new file that replaces the old one in one step.
SiteReport WriteSiteReport(const std::string& utf8HistoryPath, const std::string& site,
                           int lastRuns, std::string utf8OutputPath, const ReportOptions& options);

}  // namespace slotscope
