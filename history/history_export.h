#pragma once

#include <string>

#include "history/history_read.h"

namespace slotscope {

// A site's history as JSON: {"site", "runs": [...], "results": [...]}, runs oldest first,
// results by run, then order; null where there is nothing. A result of a run that checked both
// pages also says which ("page": "pc" or "mobile").
std::string HistoryJson(const SiteHistory& history);

// The same as CSV for a spreadsheet: UTF-8 with a byte-order mark (so Excel reads it as such),
// CR LF line ends, one row per keyword per run and page; a side's shown sites joined by "; ".
std::string HistoryCsv(const SiteHistory& history);

}  // namespace slotscope
