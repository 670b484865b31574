#pragma once

#include <string>
#include <vector>

namespace slotscope::cli {

// The subcommands that read the history: `history` prints a site's runs as JSON or CSV, `report`
// writes them as an HTML page. `arguments` follow the subcommand's name. Returns the exit code.
int HistoryCommand(const std::vector<std::string>& arguments);
int ReportCommand(const std::vector<std::string>& arguments);

// The subcommands' part of --help.
const char* SubcommandUsageText();

}  // namespace slotscope::cli
