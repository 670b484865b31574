#include "app/cli_command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "base/numbers.h"
#include "base/text_codec.h"
#include "history/history_report.h"
#include "page/own_site.h"
#include "regions/region_list.h"

namespace slotscope::cli {
namespace {

// Below a millisecond the time-out would round to 0, which means none at all.
constexpr double kShortestTimeoutSeconds = 0.001;

// A usage error met inside CLI11's parse, as its line: thrown through the parse, caught at its
// end.
class Refusal : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Keeps an option's value, or says why it cannot (a usage error's line, which names the option).
using Take = std::function<std::string(const std::string& name, const std::string& value)>;

// An option with one value: what follows its "=", or else the next argument whatever it is. Each
// time it is given the value is checked as it is read; the last one counts.
void AddValue(CLI::App& app, const std::string& name, Take take) {
    const auto read = [name, take = std::move(take)](const std::string& value) {
        if (const std::string why = take(name, value); !why.empty()) {
            throw Refusal(why);
        }
    };
    app.add_option_function<std::string>(name, read)->trigger_on_parse();
}

Take Text(std::string& kept) {
    return [&kept](const std::string& /*name*/, const std::string& value) {
        kept = value;
        return std::string();
    };
}

Take FileName(std::string& kept) {
    return [&kept](const std::string& name, const std::string& value) {
        if (value.empty()) {
            return "option " + name + " needs a file name";
        }
        kept = value;
        return std::string();
    };
}

Take Whole(int lowest, int highest, int& kept) {
    return [lowest, highest, &kept](const std::string& name, const std::string& value) {
        const std::optional<int> number = WholeNumber(value, lowest, highest);
        if (!number) {
            return name + " must be a whole number from " + std::to_string(lowest) + " to " +
                   std::to_string(highest) + ", not '" + value + "'";
        }
        kept = *number;
        return std::string();
    };
}

// Seconds as a usage error writes them: "0.001", "3600".
std::string SecondsText(double seconds) {
    std::array<char, 32> text{};
    const std::to_chars_result end = std::to_chars(text.data(), text.data() + text.size(), seconds);
    return {text.data(), end.ptr};
}

Take Seconds(double lowest, double highest, double& kept) {
    return [lowest, highest, &kept](const std::string& name, const std::string& value) {
        const std::optional<double> seconds = DecimalSeconds(value, lowest, highest);
        if (!seconds) {
            return name + " must be from " + SecondsText(lowest) + " to " + SecondsText(highest) +
                   " seconds, not '" + value + "'";
        }
        kept = *seconds;
        return std::string();
    };
}

Take DeviceOf(Device& kept) {
    return [&kept](const std::string& name, const std::string& value) {
        static constexpr std::array<std::pair<std::string_view, Device>, 3> kDevices = {
            {{"pc", Device::Pc}, {"mobile", Device::Mobile}, {"both", Device::Both}}};
        const auto* found =
            std::ranges::find(kDevices, value, &std::pair<std::string_view, Device>::first);
        if (found == kDevices.end()) {
            return name + " must be pc, mobile or both, not '" + value + "'";
        }
        kept = found->second;
        return std::string();
    };
}

Take PacingOf(Pacing& kept) {
    return [&kept](const std::string& name, const std::string& value) {
        const std::optional<Pacing> pacing = ParsePacing(value);
        if (!pacing) {
            return name + " must be seconds (0 to " + SecondsText(limits::kLongestPacingSeconds) +
                   ") or a range MIN-MAX, not '" + value + "'";
        }
        kept = *pacing;
        return std::string();
    };
}

Take FormatOf(std::string& kept) {
    return [&kept](const std::string& name, const std::string& value) {
        if (value != "json" && value != "csv") {
            return name + " must be json or csv, not '" + value + "'";
        }
        kept = value;
        return std::string();
    };
}

// A region's name, as a regions file would name it, handed to `keep`.
Take RegionNamed(std::function<void(const std::string&)> keep) {
    return [keep = std::move(keep)](const std::string& name, const std::string& value) {
        if (!IsValidUtf8(value)) {
            return name + " must be UTF-8 text";
        }
        if (const std::string fault = RegionNameFault(DecodeUtf8(value)); !fault.empty()) {
            return name + ": " + fault;
        }
        keep(value);
        return std::string();
    };
}

Take RegionOf(std::optional<std::string>& kept) {
    return RegionNamed([&kept](const std::string& value) { kept = value; });
}

// Every time it is given adds a region.
Take RegionsOf(std::vector<std::string>& kept) {
    return RegionNamed([&kept](const std::string& value) { kept.push_back(value); });
}

Take RuleOf(AlertRule& kept) {
    return [&kept](const std::string& name, const std::string& value) {
        const std::optional<AlertRule> rule = AlertRuleNamed(value);
        if (!rule) {
            return name + " must be lost, drop, change or every, not '" + value + "'";
        }
        kept = *rule;
        return std::string();
    };
}

Take IntervalOf(std::chrono::seconds& kept) {
    return [&kept](const std::string& name, const std::string& value) {
        const std::optional<std::chrono::seconds> interval = ParseInterval(value);
        if (!interval) {
            return name + " must be an interval such as 30s, 10m or 2h (at least 10s), not '" +
                   value + "'";
        }
        kept = *interval;
        return std::string();
    };
}

Take TimeWindowOf(std::optional<std::pair<int, int>>& kept) {
    return [&kept](const std::string& name, const std::string& value) {
        kept = ParseTimeWindow(value);
        return kept
                   ? std::string()
                   : name + " must be two different times of day, HH:MM-HH:MM, not '" + value + "'";
    };
}

Take WeekdaysOf(std::bitset<7>& kept) {
    return [&kept](const std::string& name, const std::string& value) {
        const std::optional<std::bitset<7>> days = ParseWeekdays(value);
        if (!days) {
            return name + " must be weekdays 1 (Monday) to 7, as 1-5 or 1,3,5, not '" + value + "'";
        }
        kept = *days;
        return std::string();
    };
}

// A report (and a workbook) draws at most kReportRuns; `history` exports any number.
Take RunsOf(bool report, int& kept) {
    return [report, &kept](const std::string& name, const std::string& value) {
        const std::optional<int> runs =
            WholeNumber(value, 1, report ? kReportRuns : std::numeric_limits<int>::max());
        if (!runs) {
            return report ? name + " for a report must be a whole number from 1 to " +
                                std::to_string(kReportRuns) +
                                " (slotscope-cli history exports every run), not '" + value + "'"
                          : name + " must be a whole number of at least 1, not '" + value + "'";
        }
        kept = *runs;
        return std::string();
    };
}

void DeclareRunOptions(CLI::App& app, Options& run) {
    AddValue(app, "--site", Text(run.site));
    AddValue(app, "--keywords", Text(run.keywordsPath));
    AddValue(app, "--device", DeviceOf(run.device));
    AddValue(app, "--output", FileName(run.outputPath));
    AddValue(app, "--mobile-output", FileName(run.mobileOutputPath));
    AddValue(app, "--jobs", Whole(limits::kFewestPagesAtOnce, limits::kMostPagesAtOnce, run.jobs));
    AddValue(app, "--timeout",
             Seconds(kShortestTimeoutSeconds, limits::kLongestTimeoutSeconds, run.timeoutSeconds));
    AddValue(app, "--delay", PacingOf(run.delay));
    AddValue(app, "--verify-rounds", Whole(0, limits::kMostVerifyRounds, run.verifyRounds));
    AddValue(app, "--verify-pause",
             Seconds(0, limits::kLongestVerifyPauseSeconds, run.verifyPause));
    AddValue(app, "--search-url-prefix", Text(run.searchUrlPrefix));
    AddValue(app, "--mobile-search-url-prefix", Text(run.mobileSearchUrlPrefix));
    AddValue(app, "--home-page-url", Text(run.homePageUrl));
    AddValue(app, "--cookies", Text(run.cookiesPath));
    AddValue(app, "--regions", FileName(run.regionsPath));
    AddValue(app, "--region", RegionsOf(run.regions));
    AddValue(app, "--notify", FileName(run.notifyPath));
    AddValue(app, "--alert", RuleOf(run.alert));
    AddValue(app, "--history", FileName(run.historyPath));
    app.add_flag("--no-history", run.noHistory);
    app.add_flag("--quiet", run.quiet);
}

void DeclareWatchOptions(CLI::App& app, WatchOptions& watch) {
    AddValue(app, "--every", IntervalOf(watch.schedule.every));
    AddValue(app, "--between", TimeWindowOf(watch.schedule.between));
    AddValue(app, "--days", WeekdaysOf(watch.schedule.days));
    AddValue(app, "--times", Whole(1, std::numeric_limits<int>::max(), watch.times));
}

// `report` and `export` take --output, `history` --format and --region.
void DeclareReadOptions(CLI::App& app, bool report, ReadOptions& read) {
    AddValue(app, "--site", Text(read.site));
    AddValue(app, "--history", FileName(read.historyPath));
    AddValue(app, "--runs", RunsOf(report, read.runs));
    if (report) {
        AddValue(app, "--output", FileName(read.outputPath));
    } else {
        AddValue(app, "--format", FormatOf(read.format));
        AddValue(app, "--region", RegionOf(read.region));
    }
}

// The arguments read from the first, as one option (with its value) at a time: what CLI11 is
// given, and the usage error met on the way that stops the reading there, if any.
struct Spelling {
    std::vector<std::string> spelt;
    std::string error;
};

// Only the options `app` declares, spelt out whole: an unknown argument (a word, "-", "-hx") is
// named as typed where it stands; "--name=" has the empty text as its value, and an option with a
// value takes the next argument whatever it is; a flag takes no value, but --help ignores one.
Spelling Spell(const CLI::App& app, const std::vector<std::string>& arguments) {
    Spelling reading;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::size_t equals =
            argument.starts_with("--") ? argument.find('=') : std::string::npos;
        const std::string name = argument.substr(0, equals);
        if (name == "--help" || argument == "-h") {
            reading.spelt.emplace_back("--help");
            continue;
        }
        const CLI::Option* option =
            name.starts_with("--") ? app.get_option_no_throw(name) : nullptr;
        if (option == nullptr) {
            reading.error = "unknown option '" + argument + "'";
            break;
        }
        if (option->get_items_expected_max() == 0) {
            if (equals != std::string::npos) {
                reading.error = "option " + name + " takes no value";
                break;
            }
            reading.spelt.push_back(name);
            continue;
        }
        if (equals == std::string::npos && i + 1 == arguments.size()) {
            reading.error = "option " + name + " needs a value";
            break;
        }
        // As one argument, so that no value is read as an option; CLI11 would read "--name="
        // as "--name" followed by the next argument.
        const std::string value =
            equals != std::string::npos ? argument.substr(equals + 1) : arguments[++i];
        if (value.empty()) {
            reading.spelt.insert(reading.spelt.end(), {name, ""});
        } else {
            reading.spelt.push_back(name);
            reading.spelt.back().append("=").append(value);
        }
    }
    std::ranges::reverse(reading.spelt);  // CLI11 reads them from the last
    return reading;
}

// Reads `arguments` into the options `app` declares; the first usage error's line, or empty.
std::string Read(CLI::App& app, const std::vector<std::string>& arguments) {
    Spelling reading = Spell(app, arguments);
    try {
        // The values before a usage error are read first: a refused one among them comes first.
        app.parse(reading.spelt);
    } catch (const Refusal& refusal) {
        return refusal.what();
    } catch (const CLI::ParseError& error) {
        return error.what();
    }
    if (!reading.error.empty()) {
        return reading.error;
    }
    if (const std::vector<std::string> left = app.remaining(); !left.empty()) {
        return "unknown option '" + left.front() + "'";
    }
    return {};
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

namespace {

// The subcommands, by the word that names them first on the line.
constexpr std::array<std::pair<std::string_view, Command>, 5> kSubcommands = {{
    {"history", Command::History},
    {"report", Command::Report},
    {"export", Command::Export},
    {"watch", Command::Watch},
    {"notify-test", Command::NotifyTest},
}};

void Declare(CLI::App& app, CommandLine& line) {
    switch (line.command) {
        case Command::Run:
        case Command::Watch:
            DeclareRunOptions(app, line.run);
            if (line.command == Command::Watch) {
                DeclareWatchOptions(app, line.watch);
            }
            return;
        case Command::NotifyTest:
            AddValue(app, "--notify", FileName(line.run.notifyPath));
            return;
        case Command::History:
        case Command::Report:
        case Command::Export:
            break;
    }
    DeclareReadOptions(app, line.command != Command::History, line.read);
}

// What a run's or a watch's options lack or hold together that cannot be; empty when nothing.
std::string RunOptionsError(const CommandLine& line, const CLI::App& app) {
    const Options& run = line.run;
    if (app.count("--site") == 0) {
        return "--site is required";
    }
    if (!run.regions.empty() && run.regionsPath.empty()) {
        return "--region needs --regions FILE";
    }
    if (app.count("--alert") > 0 && run.notifyPath.empty()) {
        return "--alert needs --notify FILE";
    }
    if (!run.notifyPath.empty() && run.noHistory) {
        return "--notify tells what changed since the last run, which the history keeps: it "
               "cannot go with --no-history";
    }
    if (line.command == Command::Watch && line.watch.schedule.every.count() == 0) {
        return "watch needs --every INTERVAL (such as 30m)";
    }
    return {};
}

}  // namespace

tl::expected<CommandLine, std::string> ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    std::vector<std::string> options = arguments;
    if (!arguments.empty()) {
        const auto* subcommand =
            std::find_if(kSubcommands.begin(), kSubcommands.end(),
                         [&](const auto& named) { return named.first == arguments.front(); });
        if (subcommand != kSubcommands.end()) {
            line.command = subcommand->second;
            options.erase(options.begin());
        }
    }
    CLI::App app;
    // --help prints UsageText, declared below as any flag; the unknown arguments are left over for
    // Read to name.
    app.set_help_flag();
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("-h,--help", line.help);
    Declare(app, line);
    if (std::string error = Read(app, options); !error.empty()) {
        return tl::unexpected(std::move(error));
    }
    if (line.help) {
        return line;
    }
    if (line.command == Command::Run || line.command == Command::Watch) {
        if (std::string error = RunOptionsError(line, app); !error.empty()) {
            return tl::unexpected(std::move(error));
        }
        return line;
    }
    if (line.command == Command::NotifyTest) {
        if (line.run.notifyPath.empty()) {
            return tl::unexpected(std::string("notify-test needs --notify FILE"));
        }
        return line;
    }
    if (app.count("--site") == 0 || line.read.site.empty()) {
        return tl::unexpected(std::string("--site is required"));
    }
    if (std::string error = SiteError(line.read.site); !error.empty()) {
        return tl::unexpected(std::move(error));
    }
    return line;
}

}  // namespace slotscope::cli
