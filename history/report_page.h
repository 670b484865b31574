#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_read.h"
#include "history/report_markup.h"

namespace slotscope {

// The report page's parts, in the order it shows them: its markup written once, every text
// from a page, a keyword, a site or the clock escaped where it goes in.

// How the latest run's keywords moved since each one's check before, on each side of each page
// (left and right on the desktop's, the top and bottom blocks on the phone's), and how many
// could not be checked.
struct LatestCounts {
    struct Side {
        int up = 0;
        int down = 0;
        int gained = 0;
        int lost = 0;

        void Count(const StoredChange& change);
    };
    Side left;
    Side right;
    Side top;
    Side bottom;
    int failed = 0;
    bool compared = false;  // some keyword had a check before to compare with

    void Count(const StoredResult& result);
};

// The page up to its heading, for `site`; then, where the site has no runs, the rest of it.
markup::Html PageHead(std::string_view site);
markup::Html NoRunsYet();

// The runs covered, and the latest run (started `when`) against the one before.
markup::Html RunsCovered(std::size_t runs, std::string_view first, std::string_view latest);
markup::Html LatestHeading(const StoredRun& latest, std::string_view when);
markup::Html OnlyOneRun();
// The counts of a run on `device` ("pc", "mobile" or "both"), a line per side of each page.
markup::Html CountsLine(const LatestCounts& counts, std::string_view device);

// The charts, a value per run (started `when`): the share of keywords holding a left slot, the
// average left slot over slots 1 to `deepest`; on the phone's page ("mobile"), the top block's.
markup::Html Charts(const std::vector<std::optional<double>>& share,
                    const std::vector<std::optional<double>>& average, int deepest,
                    const std::vector<std::string>& when, std::string_view page);

// The keywords' tables: those whose slot moved in the latest run, then the others folded away
// (open where none moved), so that hundreds of keywords read without a script. Each table
// scrolls sideways on its own, under a keyword column that stays in view; the newest run is next
// to the keywords. A run's column: its start, to the second, and its number in the history (as
// the CSV export gives it), so that runs of the same minute are told apart.
struct RunColumn {
    long long id = 0;
    std::string when;
};
markup::Html KeywordsHeading(std::size_t runs);
markup::Html UnchangedStart(std::size_t keywords, bool open);
markup::Html UnchangedEnd();
markup::Html KeywordsHead(std::span<const RunColumn> newestFirst, std::string_view page);
// A keyword's row: the keyword, its left slot over all runs (oldest first) beside it, and its
// check in each shown run, newest first (none where a run did not check it). `id` names the row;
// `holders` the row of who holds its slots, where it has one.
struct RowIds {
    std::string id;
    std::string holders;
};
markup::Html KeywordRow(const std::string& page, const std::string& keyword, bool bothPages,
                        const RowIds& ids, std::span<const std::optional<StoredResult>> newestFirst,
                        const std::vector<std::optional<int>>& slots);
markup::Html KeywordsEnd();
// The keywords left out of the tables, and how to export them all.
markup::Html LeftOutNote(int leftOut, std::string_view site);

// Who holds the slots in the latest run (started `when`), a row per keyword, the user's own
// site `own` marked; the sides named for `page`, or for both where the part holds both pages.
markup::Html HoldersHead(std::string_view when, std::string_view page, bool bothPages);
// `id` names the row, for the keyword's row to link to.
markup::Html HolderRow(const StoredResult& result, bool bothPages, const std::string& own,
                       const std::string& id);
markup::Html HoldersEnd();

// Before each region's and page's part, where the report has more than one: "地域：北京（手机）",
// the machine's own connection as 本机.
markup::Html SectionHeading(std::string_view region, std::string_view page);
markup::Html PageEnd();

}  // namespace slotscope
