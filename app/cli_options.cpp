#include "app/cli_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "page/own_site.h"
#include "core/search_address.h"
#include "base/text_codec.h"

namespace slotscope::cli {
namespace {

// A whole number from `lowest` to `highest`.
bool ParseWhole(const std::string& text, int lowest, int highest, int& number) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < lowest ||
        value > highest) {
        return false;
    }
    number = value;
    return true;
}

// Seconds in decimal digits, from `lowest` to `highest`.
bool ParseSeconds(const std::string& text, double lowest, double highest, double& seconds) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value) || value < lowest ||
        value > highest) {
        return false;
    }
    seconds = value;
    return true;
}

constexpr double kHour = 3600;

bool ParseDevice(const std::string& text, Device& device) {
    if (text == "pc") {
        device = Device::Pc;
    } else if (text == "mobile") {
        device = Device::Mobile;
    } else if (text == "both") {
        device = Device::Both;
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::string SiteError(const std::string& site) {
    switch (SiteToCheck(DecodeUtf8(site)).problem) {
        case SiteProblem::None:
            break;
        case SiteProblem::Empty:
            return "--site is empty; give the website to look for";
        case SiteProblem::NotAHost:
            return "--site '" + WithoutUserInfo(site) +
                   "' names no website; give its host name, such as shop.cn or www.shop.cn";
    }
    return {};
}

const char* UsageText() {
    return "Usage: slotscope-cli --site SITE [--keywords FILE] [--device pc|mobile|both]\n"
           "                     [--output FILE] [--mobile-output FILE] [--jobs N]\n"
           "                     [--timeout SECONDS] [--delay SECONDS|MIN-MAX]\n"
           "                     [--verify-rounds N] [--verify-pause SECONDS]\n"
           "                     [--search-url-prefix URL]\n"
           "                     [--mobile-search-url-prefix URL] [--home-page-url URL]\n"
           "                     [--cookies FILE] [--history FILE | --no-history] [--quiet]\n"
           "\n"
           "Checks where SITE stands among the paid listings of each keyword's result page and\n"
           "writes one line per keyword to the results file (GBK, CR LF): for the desktop page\n"
           "left and right, for the phone page top and bottom.\n"
           "\n"
           "  --site SITE              the website to look for, as typed after \"www.\"\n"
           "  --keywords FILE          keyword list, one per line or comma-separated, in UTF-8,\n"
           "                           UTF-16 (with BOM) or GBK; standard input when absent\n"
           "                           or \"-\"\n"
           "  --device DEVICE          pc: the desktop page, into --output (default);\n"
           "                           mobile: the phone page, into --mobile-output;\n"
           "                           both: both pages, into both files\n"
           "  --output FILE            results file (default: baidu.csv here)\n"
           "  --mobile-output FILE     the phone page's results file (default:\n"
           "                           baidu_mobile.csv beside --output)\n"
           "  --jobs N                 pages fetched at once, 1 to 16 (default: 3)\n"
           "  --timeout SECONDS        time allowed for one request (default: 60)\n"
           "  --verify-rounds N        rounds for keywords that met a verification page,\n"
           "                           0 to 10 (default: 2)\n"
           "  --verify-pause SECONDS   the pause before the first round, doubled for each\n"
           "                           later one (default: 30)\n"
           "  --delay SECONDS|MIN-MAX  a pause before each search request on each\n"
           "                           connection, random within the range (default: none)\n"
           "  --search-url-prefix URL  address the encoded keyword is appended to\n"
           "                           (default: https://www.baidu.com/s?wd=); your\n"
           "                           cookies go only over https:// or to this machine\n"
           "  --mobile-search-url-prefix URL\n"
           "                           the same for the phone page, keyword in UTF-8\n"
           "                           (default: https://m.baidu.com/s?word=)\n"
           "  --home-page-url URL      page requested once at the start of a run\n"
           "  --cookies FILE           your own Baidu session: a Netscape cookie file (only\n"
           "                           the search's own cookies are taken), or the Cookie\n"
           "                           line copied from the browser's developer tools\n"
           "                           (\"BAIDUID=...; BDUSS=...\")\n"
           "  --history FILE           keep every run in this history file (default:\n"
           "                           slotscope.db beside --output; none where --output is\n"
           "                           not a regular file)\n"
           "  --no-history             keep no history\n"
           "  --quiet                  print only the final status\n"
           "  --help                   print this text\n"
           "\n"
           "Exit status: 0 every keyword checked; 1 some keywords failed, a write failed or\n"
           "the history could not be kept;\n"
           "2 bad usage or nothing could be run; 130 stopped by a signal.\n";
}

bool ParseArguments(const std::vector<std::string>& arguments, Options& options,
                    std::string& error) {
    options.searchUrlPrefix = std::string(SearchUrlPrefix);
    options.mobileSearchUrlPrefix = std::string(MobileSearchUrlPrefix);
    options.homePageUrl = std::string(HomePageUrl);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool hasValue = false;
        if (const std::size_t equals = name.find('=');
            name.starts_with("--") && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--quiet" || name == "--no-history") {
            if (hasValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            (name == "--quiet" ? options.quiet : options.noHistory) = true;
            continue;
        }
        static constexpr std::array<std::string_view, 15> kWithValue = {
            "--site",          "--keywords",
            "--output",        "--jobs",
            "--timeout",       "--search-url-prefix",
            "--home-page-url", "--device",
            "--mobile-output", "--mobile-search-url-prefix",
            "--delay",         "--cookies",
            "--verify-rounds", "--verify-pause",
            "--history"};
        const bool known = std::ranges::find(kWithValue, name) != kWithValue.end();
        if (!known) {
            error = "unknown option '" + arguments[i] + "'";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = arguments[++i];
        }
        if (name == "--site") {
            options.site = value;
            options.siteGiven = true;
        } else if (name == "--keywords") {
            options.keywordsPath = value;
        } else if (name == "--output") {
            if (value.empty()) {
                error = "option --output needs a file name";
                return false;
            }
            options.outputPath = value;
        } else if (name == "--mobile-output") {
            if (value.empty()) {
                error = "option --mobile-output needs a file name";
                return false;
            }
            options.mobileOutputPath = value;
        } else if (name == "--device") {
            if (!ParseDevice(value, options.device)) {
                error = "--device must be pc, mobile or both, not '" + value + "'";
                return false;
            }
        } else if (name == "--verify-rounds") {
            if (!ParseWhole(value, 0, 10, options.verifyRounds)) {
                error = "--verify-rounds must be a whole number from 0 to 10, not '" + value + "'";
                return false;
            }
        } else if (name == "--verify-pause") {
            if (!ParseSeconds(value, 0, kHour, options.verifyPause)) {
                error = "--verify-pause must be from 0 to 3600 seconds, not '" + value + "'";
                return false;
            }
        } else if (name == "--history") {
            if (value.empty()) {
                error = "option --history needs a file name";
                return false;
            }
            options.historyPath = value;
        } else if (name == "--cookies") {
            options.cookiesPath = value;
        } else if (name == "--delay") {
            const std::optional<Pacing> delay = ParsePacing(value);
            if (!delay) {
                error =
                    "--delay must be seconds (0 to 3600) or a range MIN-MAX, not '" + value + "'";
                return false;
            }
            options.delay = *delay;
        } else if (name == "--mobile-search-url-prefix") {
            options.mobileSearchUrlPrefix = value;
        } else if (name == "--jobs") {
            if (!ParseWhole(value, 1, 16, options.jobs)) {
                error = "--jobs must be a whole number from 1 to 16, not '" + value + "'";
                return false;
            }
        } else if (name == "--timeout") {
            // Below a millisecond the time-out would round to 0, which means none at all.
            if (!ParseSeconds(value, 0.001, 24 * kHour, options.timeoutSeconds)) {
                error = "--timeout must be from 0.001 to 86400 seconds, not '" + value + "'";
                return false;
            }
        } else if (name == "--search-url-prefix") {
            options.searchUrlPrefix = value;
        } else {
            options.homePageUrl = value;
        }
    }
    if (!options.help && !options.siteGiven) {
        error = "--site is required";
        return false;
    }
    return true;
}

}  // namespace slotscope::cli
