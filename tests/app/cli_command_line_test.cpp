// The command line as ParseCommandLine reads it: every value where it belongs, and usage errors
// that name the option.

#include "app/cli_command_line.h"

#include <gtest/gtest.h>

#include <bitset>
#include <chrono>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace slotscope::cli {
namespace {

using namespace std::chrono_literals;
using Arguments = std::vector<std::string>;

// The arguments between spaces.
Arguments Words(const std::string& text) {
    std::istringstream words(text);
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

std::string ErrorOf(const Arguments& arguments) {
    const tl::expected<CommandLine, std::string> line = ParseCommandLine(arguments);
    return line ? "(read)" : line.error();
}

TEST(CliCommandLineTest, EveryValueGoesToItsOwnOption) {
    const auto line = ParseCommandLine(Words(
        "--site=shop.cn --keywords k.txt --device both --output o.csv --mobile-output m.csv "
        "--jobs 5 --timeout 2.5 --delay 1-3 --verify-rounds 4 --verify-pause 7 "
        "--search-url-prefix s --mobile-search-url-prefix ms --home-page-url h --cookies c.txt "
        "--history h.db --no-history --quiet"));
    ASSERT_TRUE(line) << line.error();
    const Options& run = line->run;
    EXPECT_EQ(line->command, Command::Run);
    EXPECT_EQ(run.site, "shop.cn");
    EXPECT_EQ(run.keywordsPath, "k.txt");
    EXPECT_EQ(run.device, Device::Both);
    EXPECT_EQ(run.outputPath, "o.csv");
    EXPECT_EQ(run.mobileOutputPath, "m.csv");
    EXPECT_EQ(run.jobs, 5);
    EXPECT_EQ(run.timeoutSeconds, 2.5);
    EXPECT_EQ(run.delay.shortest, 1s);
    EXPECT_EQ(run.delay.longest, 3s);
    EXPECT_EQ(run.verifyRounds, 4);
    EXPECT_EQ(run.verifyPause, 7);
    EXPECT_EQ(run.searchUrlPrefix, "s");
    EXPECT_EQ(run.mobileSearchUrlPrefix, "ms");
    EXPECT_EQ(run.homePageUrl, "h");
    EXPECT_EQ(run.cookiesPath, "c.txt");
    EXPECT_EQ(run.historyPath, "h.db");
    EXPECT_TRUE(run.noHistory);
    EXPECT_TRUE(run.quiet);
}

TEST(CliCommandLineTest, EveryOptionWithAValueRefusesToGoWithout) {
    const std::vector<std::pair<Arguments, Arguments>> commands = {
        {{},
         Words("--site --keywords --device --output --mobile-output --jobs --timeout --delay "
               "--verify-rounds --verify-pause --search-url-prefix --mobile-search-url-prefix "
               "--home-page-url --cookies --history")},
        {{"history"}, Words("--site --history --runs --format --region")},
        {{"report"}, Words("--site --history --runs --output")},
    };
    for (const auto& [command, names] : commands) {
        for (const std::string& name : names) {
            Arguments arguments = command;
            arguments.insert(arguments.end(), {"--site", "a", name});
            EXPECT_EQ(ErrorOf(arguments), "option " + name + " needs a value");
        }
    }
}

TEST(CliCommandLineTest, HistorysRegionIsARegionsName) {
    const auto line = ParseCommandLine({"history", "--site", "a.cn", "--region", "广州-天河"});
    ASSERT_TRUE(line) << line.error();
    EXPECT_EQ(line->read.region, std::optional<std::string>("广州-天河"));
    EXPECT_EQ(ParseCommandLine({"history", "--site", "a.cn"})->read.region, std::nullopt);
    const std::vector<std::pair<std::string, std::string>> wrong = {
        {"a/b", "--region: a region name cannot hold"},
        {"", "--region: a region needs a name"},
        {"bj.", "--region: a region name cannot start or end"},
        {"\xFF", "--region must be UTF-8 text"},
    };
    for (const auto& [name, error] : wrong) {
        EXPECT_TRUE(ErrorOf({"history", "--site", "a", "--region", name}).starts_with(error))
            << name << ": " << ErrorOf({"history", "--site", "a", "--region", name});
    }
    EXPECT_EQ(ErrorOf({"report", "--site", "a", "--region", "bj"}), "unknown option '--region'");
}

TEST(CliCommandLineTest, UnknownOptionsAreNamed) {
    const std::vector<std::pair<Arguments, std::string>> cases = {
        {{"--site", "a", "--colour=red", "--jobs", "2"}, "--colour=red"},
        {{"--site", "a", "-x"}, "-x"},
        {{"--site", "a", "--", "b"}, "--"},
        {{"--site", "a", "history"}, "history"},
        {{"report", "--site", "a", "--format", "csv"}, "--format"},
        {{"history", "--site", "a", "--quiet"}, "--quiet"},
        // Short flags are not grouped: only -h itself is one.
        {{"--site", "a", "-help"}, "-help"},
        {{"--site", "a", "-hh"}, "-hh"},
        {{"-h=1"}, "-h=1"},
        {{"report", "-hs"}, "-hs"},
    };
    for (const auto& [arguments, named] : cases) {
        EXPECT_EQ(ErrorOf(arguments), "unknown option '" + named + "'");
    }
}

TEST(CliCommandLineTest, AFlagTakesNoValueAndNothingAfterEqualsIsAValue) {
    for (const std::string flag : {"--quiet=yes", "--no-history="}) {
        EXPECT_EQ(ErrorOf({"--site", "a", flag}),
                  "option " + flag.substr(0, flag.find('=')) + " takes no value");
    }
    EXPECT_EQ(ErrorOf({"--site", "a", "--output=", "--quiet"}),
              "option --output needs a file name");
    const auto line = ParseCommandLine({"--site", "a", "--keywords=", "--quiet"});
    ASSERT_TRUE(line) << line.error();
    EXPECT_EQ(line->run.keywordsPath, "");
    EXPECT_TRUE(line->run.quiet);
    const auto help = ParseCommandLine({"--help=1"});  // its value is of no matter
    ASSERT_TRUE(help) << help.error();
    EXPECT_TRUE(help->help);
    // A value is the next argument whatever it looks like.
    const auto site = ParseCommandLine({"--site", "--quiet=yes"});
    ASSERT_TRUE(site) << site.error();
    EXPECT_EQ(site->run.site, "--quiet=yes");
}

TEST(CliCommandLineTest, TheFirstErrorOnTheLineIsNamed) {
    const std::vector<std::pair<Arguments, std::string>> cases = {
        {Words("--bogus --jobs 0"), "unknown option '--bogus'"},
        {Words("--jobs 0 --bogus"), "--jobs must be a whole number from 1 to 16, not '0'"},
        {Words("--quiet=1 --jobs 0"), "option --quiet takes no value"},
        {Words("--jobs 0 --site"), "--jobs must be a whole number from 1 to 16, not '0'"},
        {Words("history --runs 0 --bogus"), "--runs must be a whole number of at least 1, not '0'"},
    };
    for (const auto& [arguments, error] : cases) {
        EXPECT_EQ(ErrorOf(arguments), error) << arguments.front();
    }
}

TEST(CliCommandLineTest, TheLastOfARepeatedOptionCountsAndEachIsChecked) {
    const auto line = ParseCommandLine({"--site", "a", "--jobs", "2", "--site", "b", "--jobs=4"});
    ASSERT_TRUE(line) << line.error();
    EXPECT_EQ(line->run.site, "b");
    EXPECT_EQ(line->run.jobs, 4);
    EXPECT_EQ(ErrorOf({"--site", "a", "--jobs", "0", "--jobs", "3"}),
              "--jobs must be a whole number from 1 to 16, not '0'");
}

TEST(CliCommandLineTest, AWatchsScheduleAndTheAlertsRule) {
    const auto line = ParseCommandLine(
        Words("watch --site a.cn --notify n.txt --alert drop --every 10m --between 22:00-06:30 "
              "--days 1-5 --times 3"));
    ASSERT_TRUE(line) << line.error();
    EXPECT_EQ(line->command, Command::Watch);
    EXPECT_EQ(line->run.notifyPath, "n.txt");
    EXPECT_EQ(line->run.alert, AlertRule::Drop);
    EXPECT_EQ(line->watch.schedule.every, 10min);
    EXPECT_EQ(line->watch.schedule.between, (std::pair{22 * 60, 6 * 60 + 30}));
    EXPECT_EQ(line->watch.schedule.days, std::bitset<7>(0x1F));
    EXPECT_EQ(line->watch.times, 3);

    const std::vector<std::pair<std::string, std::string>> errors = {
        {"--site a.cn --alert lost", "--alert needs --notify FILE"},
        {"--site a.cn --notify n.txt --alert sometimes",
         "--alert must be lost, drop, change or every, not 'sometimes'"},
        {"--site a.cn --notify n.txt --no-history",
         "--notify tells what changed since the last run, which the history keeps: it cannot go "
         "with --no-history"},
        {"watch --site a.cn", "watch needs --every INTERVAL (such as 30m)"},
        {"watch --site a.cn --every 5s",
         "--every must be an interval such as 30s, 10m or 2h (at least 10s), not '5s'"},
        {"watch --site a.cn --every 1h --between 9-17",
         "--between must be two different times of day, HH:MM-HH:MM, not '9-17'"},
        {"watch --site a.cn --every 1h --days 1-8",
         "--days must be weekdays 1 (Monday) to 7, as 1-5 or 1,3,5, not '1-8'"},
        {"watch --site a.cn --every 1h --times 0",
         "--times must be a whole number from 1 to 2147483647, not '0'"},
        {"--site a.cn --every 1h", "unknown option '--every'"},
        {"notify-test", "notify-test needs --notify FILE"},
        {"notify-test --notify n.txt --site a.cn", "unknown option '--site'"},
    };
    for (const auto& [arguments, error] : errors) {
        EXPECT_EQ(ErrorOf(Words(arguments)), error) << arguments;
    }
}

}  // namespace
}  // namespace slotscope::cli
