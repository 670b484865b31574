#pragma once

#include <string>
#include <vector>

#include "core/keyword_run.h"

namespace slotscope::cli {

struct Options {
    std::string site;
    bool siteGiven = false;
    std::string keywordsPath = "-";  // "-" is standard input
    std::string outputPath = "baidu.csv";
    std::string mobileOutputPath;  // empty: baidu_mobile.csv beside the results file
    Device device = Device::Pc;
    int jobs = 3;
    double timeoutSeconds = 60;
    int verifyRounds = 2;     // rounds for keywords that met a verification page
    double verifyPause = 30;  // seconds before the first round; doubled for each later one
    Pacing delay;             // a pause before each search request on each connection
    std::string searchUrlPrefix;
    std::string mobileSearchUrlPrefix;
    std::string homePageUrl;
    std::string cookiesPath;  // the user's own Baidu session; empty: none
    std::string historyPath;  // empty: slotscope.db beside the results file
    bool noHistory = false;
    bool quiet = false;
    bool help = false;
};

// Reads the command line (without the program name). On a usage error returns false and sets
// `error` to a one-line description naming the option.
bool ParseArguments(const std::vector<std::string>& arguments, Options& options,
                    std::string& error);

// The text --help prints.
const char* UsageText();

// Why --site as given names no site to check (see SiteToCheck), for a usage error; empty when it
// names one.
std::string SiteError(const std::string& site);

}  // namespace slotscope::cli
