#pragma once

// slotscope-cli's command line: the keyword run's options and those of the subcommands that read
// the history, each declared once with the check of its value (cli_command_line.cpp).

#include <chrono>
#include <optional>
#include <string>
#include <tl/expected.hpp>
#include <vector>

#include "alerts/alert_message.h"
#include "core/keyword_run.h"
#include "core/run_limits.h"
#include "core/schedule.h"
#include "core/search_address.h"

namespace slotscope::cli {

// The keyword run's.
struct Options {
    std::string site;
    std::string keywordsPath = "-";  // "-" is standard input
    std::string outputPath = std::string(limits::kResultsFileName);
    std::string mobileOutputPath;  // empty: baidu_mobile.csv beside the results file
    Device device = Device::Pc;
    int jobs = limits::kDefaultPagesAtOnce;
    double timeoutSeconds = std::chrono::duration<double>(limits::kRequestTimeout).count();
    // Rounds for keywords that met a verification page, and the seconds before the first round;
    // doubled for each later one.
    int verifyRounds = limits::kDefaultVerifyRounds;
    double verifyPause = std::chrono::duration<double>(limits::kVerifyPause).count();
    Pacing delay;  // a pause before each search request on each connection
    std::string searchUrlPrefix = std::string(SearchUrlPrefix);
    std::string mobileSearchUrlPrefix = std::string(MobileSearchUrlPrefix);
    std::string homePageUrl = std::string(HomePageUrl);
    std::string cookiesPath;  // the user's own Baidu session; empty: none
    std::string regionsPath;  // the regions and their proxies; empty: this machine's connection
    std::vector<std::string> regions;  // the regions to check; none: every region of the file
    std::string notifyPath;            // the channels told of each run; empty: none
    AlertRule alert = AlertRule::Lost;
    std::string historyPath;  // empty: slotscope.db beside the results file
    bool noHistory = false;
    bool quiet = false;
};

// `history` prints a site's runs as JSON or CSV, `report` writes them as an HTML page, `export`
// as an Excel workbook.
struct ReadOptions {
    std::string site;
    std::string historyPath = "slotscope.db";
    int runs = 0;  // 0: all
    std::string format = "json";
    std::optional<std::string> region;  // `history`: only the runs from this region
    std::string outputPath;             // the report's or workbook's; empty: beside the history
};

enum class Command { Run, History, Report, Export, Watch, NotifyTest };

// `watch`: runs on a schedule, `times` of them at most (0: until stopped).
struct WatchOptions {
    Schedule schedule;
    int times = 0;
};

struct CommandLine {
    Command command = Command::Run;
    bool help = false;   // --help: print the command's text and do nothing else
    Options run;         // for Command::Run and Command::Watch; its notifyPath for NotifyTest
    WatchOptions watch;  // for Command::Watch
    ReadOptions read;    // for Command::History, Command::Report and Command::Export
};

// Reads the command line (without the program name): the keyword run's options, or a
// subcommand's name and its options. A usage error is a one-line description naming the option.
tl::expected<CommandLine, std::string> ParseCommandLine(const std::vector<std::string>& arguments);

// The text --help prints (cli_usage.cpp), and the subcommands' part of it.
const char* UsageText();
const char* SubcommandUsageText();

// Why --site as given names no site to check (see SiteToCheck), for a usage error; empty when it
// names one.
std::string SiteError(const std::string& site);

}  // namespace slotscope::cli
