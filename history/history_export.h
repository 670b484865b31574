#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_read.h"

namespace slotscope {

// Where an export's text goes, a piece at a time; false when it could not be written.
using ExportOut = std::function<bool(std::string_view text)>;

// Why an export stopped.
enum class ExportEnd {
    Written,
    ReadFailed,   // the history could not be read: the reader's problem() says why
    WriteFailed,  // `out` took no more
};

// `runs` of `site` (as HistoryReader::Runs gives them) as JSON: {"site", "runs": [...],
// "results": [...]}, runs oldest first, results by run, then order; null where there is nothing.
// A result of a run that checked both pages also says which ("page": "pc" or "mobile"). Written
// a result at a time, as they are read: a history of any length takes no more memory than one.
ExportEnd WriteHistoryJson(HistoryReader& reader, const std::string& site,
                           const std::vector<StoredRun>& runs, const ExportOut& out);

// The same as CSV for people with a spreadsheet: UTF-8 with a byte-order mark (so Excel and WPS
// read it as such), CR LF line ends, Chinese column names and words, the run's start in local
// time (and in UTC in a column of its own), one row per keyword per run and page; a side's shown
// sites joined by "; ", and its paid listings as "site｜title｜text" joined by "; ". A
// cell that a spreadsheet would take for a formula (one starting with = + - @, a tab or a CR)
// starts with ' instead, so that a keyword or a page's text is never run.
ExportEnd WriteHistoryCsv(HistoryReader& reader, const std::vector<StoredRun>& runs,
                          const ExportOut& out);

// A CSV cell: quoted where it holds a separator, a quote or a line break, and never a formula.
std::string CsvField(std::string_view text);

// The Chinese words of the CSV for what the history keeps in English: a device or page (电脑,
// 手机, 两者), a side's change (上升2, 新上, 不变, …) and a failure (验证页, 连接失败, …; empty
// for none). A word this version does not know (a newer one's) is given as kept, as a CSV cell.
std::string DeviceWord(std::string_view device);
std::string ChangeWord(const StoredChange& change);
std::string FailureWord(const std::optional<std::string>& failed);

}  // namespace slotscope
