// slotscope-cli: the keyword run from a terminal or a scheduled job, its schedule, its history
// and its alerts.

#include <cstdio>
#include <exception>
#include <stop_token>
#include <string>
#include <tl/expected.hpp>

#include "app/cli_alerts.h"
#include "app/cli_command_line.h"
#include "app/cli_console.h"
#include "app/cli_history.h"
#include "app/cli_platform.h"
#include "app/cli_run.h"
#include "app/cli_watch.h"

namespace slotscope::cli {
namespace {

int Run(const Options& options) {
    Console console(options.quiet);
    // Ctrl-C and SIGTERM stop the run as the window's stop button does.
    std::stop_source stop;
    StopOnInterrupt(stop, kExitStopped);
    RunState state;
    return RunOnce(options, stop.get_token(), console, state);
}

int Dispatch(const CommandLine& line) {
    switch (line.command) {
        case Command::Run:
            return Run(line.run);
        case Command::Watch:
            return WatchCommand(line.run, line.watch);
        case Command::NotifyTest:
            return NotifyTestCommand(line.run.notifyPath);
        case Command::History:
            return HistoryCommand(line.read);
        case Command::Report:
            return ReportCommand(line.read);
        case Command::Export:
            return ExportCommand(line.read);
    }
    return kExitSomeFailed;
}

}  // namespace
}  // namespace slotscope::cli

int main(int argc, char** argv) {
    namespace cli = slotscope::cli;
    cli::KeepMemoryFlat();
    const tl::expected<cli::CommandLine, std::string> line =
        cli::ParseCommandLine(cli::Utf8Arguments(argc, argv));
    if (!line) {
        cli::WriteError("slotscope-cli: " + line.error() + "\nTry 'slotscope-cli --help'.\n");
        return cli::kExitUsage;
    }
    if (line->help) {
        if (line->command == cli::Command::Run || line->command == cli::Command::Watch) {
            std::fputs(cli::UsageText(), stdout);
        }
        std::fputs(cli::SubcommandUsageText(), stdout);
        return cli::kExitOk;
    }
    try {
        return cli::Dispatch(*line);
    } catch (const std::exception& error) {
        // The run reports its own failures; this is one outside it (memory running out while
        // reading the keywords, say).
        std::fprintf(stderr, "slotscope-cli: aborted: %s\n", error.what());
    }
    return cli::kExitSomeFailed;
}
