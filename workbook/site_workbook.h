#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace slotscope {

struct WorkbookOptions {
    // Shows a UTC time of the history in local time to the second ("2026-12-08 10:11:19");
    // LocalTimeText unless a test says otherwise.
    std::function<std::string(std::string_view)> localTime;
};

// A site's workbook written to a file, as the window and the command line ask for it.
struct SiteWorkbook {
    enum class Outcome {
        Written,
        NoHistory,  // no history file yet, or no run of the site in it
        Failed,     // the history could not be read, or the workbook not written
    };
    Outcome outcome = Outcome::Failed;
    std::string path;     // where it was written (UTF-8)
    std::string problem;  // why not, in English
    // Checks a sheet had no room for (Excel's sheets end at 1,048,576 rows): the oldest runs'.
    long long rowsLeftOut = 0;
};

// The workbook of a site beside a history file: slotscope-<site>.xlsx, the site as the history
// keeps it ("slotscope-shop.cn.xlsx").
std::string WorkbookPathBeside(const std::string& utf8HistoryPath, const std::string& site);

// Reads the last `lastRuns` runs of `site` from each region on each page (0 or more than
// kReportRuns: kReportRuns, as the report) and writes them to `utf8OutputPath` (empty: beside the
// history) as an Excel workbook, through a new file that replaces the old one in one step:
// - 最新: the latest check of each page from each region, keyword by keyword: labels, each
//   side's change (↑2, ↓1, 新上, 掉出, …; green where it rose or came in, red where it fell or
//   dropped out), slot and the sites holding its slots;
// - 历史: every keyword of every run covered, the latest run first: its start as a date cell,
//   labels, slots, changes and failure;
// - 竞争对手: every other site seen in a slot, on how many keywords it held one in the latest
//   checks and in all the runs covered, its best slot and the title of its latest paid listing.
// Each sheet's header row stays in view and filters its rows.
SiteWorkbook WriteSiteWorkbook(const std::string& utf8HistoryPath, const std::string& site,
                               int lastRuns, std::string utf8OutputPath,
                               const WorkbookOptions& options = {});

}  // namespace slotscope
