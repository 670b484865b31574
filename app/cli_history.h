#pragma once

#include "app/cli_command_line.h"

namespace slotscope::cli {

// The subcommands that read the history: `history` prints a site's runs as JSON or CSV, `report`
// writes them as an HTML page, `export` as an Excel workbook. Returns the exit code.
int HistoryCommand(const ReadOptions& options);
int ReportCommand(const ReadOptions& options);
int ExportCommand(const ReadOptions& options);

}  // namespace slotscope::cli
