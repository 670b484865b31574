// slotscope-cli: the keyword run from a terminal or a scheduled job.

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <stop_token>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "app/cli_platform.h"
#include "core/keyword_run.h"
#include "core/text_codec.h"
#include "net/page_fetch.h"

namespace slotscope::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;

// Everything the program prints goes to standard error through here, from the run's thread
// and from the fetching threads.
class Console final {
  public:
    explicit Console(bool quiet) : quiet_(quiet), terminal_(ErrorIsTerminal()) {}

    void Progress(const std::u16string& text) {
        if (quiet_) {
            return;
        }
        std::lock_guard lock(mutex_);
        if (terminal_) {
            std::string line = "\r";  // back to the start of the line, then clear its rest
            line += EncodeUtf8(text);
            line += "\x1b[K";
            Write(line);
            progressShown_ = true;
        } else {
            Write(EncodeUtf8(text) + "\n");
        }
    }

    void Note(const std::string& line) {
        if (quiet_) {
            return;
        }
        Line(line);
    }

    // Shown even when quiet.
    void Line(const std::string& line) {
        std::lock_guard lock(mutex_);
        EndProgressLine();
        Write(line + "\n");
    }

  private:
    void EndProgressLine() {
        if (progressShown_) {
            Write("\r\x1b[K");
            progressShown_ = false;
        }
    }
    static void Write(const std::string& bytes) { WriteError(bytes); }

    const bool quiet_;
    const bool terminal_;
    bool progressShown_ = false;
    std::mutex mutex_;
};

class ConsoleFields final : public MemoryRunFields {
  public:
    ConsoleFields(std::u16string keywordList, std::u16string website, Console& console)
        : MemoryRunFields(std::move(keywordList), std::move(website)), console_(console) {}

    void SetProgress(const std::u16string& text) override {
        MemoryRunFields::SetProgress(text);
        console_.Progress(text);
    }

  private:
    Console& console_;
};

// Says why a page could not be fetched; the run itself only counts failures.
class ReportingFetcher final : public PageFetcher {
  public:
    ReportingFetcher(PageFetcher& inner, Console& console) : inner_(inner), console_(console) {}

    using PageFetcher::FetchPage;

    FetchResult FetchPage(const std::string& address, const FetchOptions& options,
                          std::stop_token stop) override {
        FetchResult result = inner_.FetchPage(address, options, stop);
        if (!result.ok() && result.failure().kind != FetchFailureKind::Stopped) {
            console_.Note("slotscope-cli: " + address + ": " + result.failure().reason);
        }
        return result;
    }

  private:
    PageFetcher& inner_;
    Console& console_;
};

bool ReadAll(std::istream& in, std::string& bytes) {
    std::ostringstream buffer;
    buffer << in.rdbuf();
    bytes = std::move(buffer).str();
    return !in.bad();
}

// The keyword list as the window's text box holds it: decoded by what the bytes are (a list
// saved by Notepad on Chinese Windows is GBK), line breaks as CR LF.
std::u16string KeywordListFromBytes(std::string_view bytes) {
    return WithCrLfLineBreaks(DecodeTextFile(bytes));
}

std::filesystem::path PathFromUtf8(const std::string& path) {
    return {std::u8string(path.begin(), path.end())};
}

int Run(const Options& options) {
    Console console(options.quiet);

    const std::u16string site = DecodeUtf8(options.site);
    if (TrimSpaces(site).empty()) {
        console.Line("slotscope-cli: --site is empty; give the website to look for");
        return kExitUsage;
    }

    std::string bytes;
    if (options.keywordsPath == "-") {
        if (!ReadAll(std::cin, bytes)) {
            console.Line("slotscope-cli: cannot read the keywords from standard input");
            return kExitUsage;
        }
    } else {
        std::ifstream file(PathFromUtf8(options.keywordsPath), std::ios::binary);
        if (!file || !ReadAll(file, bytes)) {
            console.Line("slotscope-cli: cannot read the keyword file '" + options.keywordsPath +
                         "': " + std::strerror(errno));
            return kExitUsage;
        }
    }

    // Ctrl-C and SIGTERM stop the run as the window's stop button does.
    std::stop_source stop;
    StopOnInterrupt(stop, kExitStopped);

    ConsoleFields fields(KeywordListFromBytes(bytes), site, console);
    bytes = std::string();

    FetchSettings settings;
    settings.timeout = std::chrono::milliseconds(std::llround(options.timeoutSeconds * 1000));
    HttpPageFetcher http(settings);
    ReportingFetcher fetcher(http, console);

    RunOptions run;
    run.resultsPath = options.outputPath;
    run.homePageUrl = options.homePageUrl;
    run.searchUrlPrefix = options.searchUrlPrefix;
    run.lookAhead = options.jobs;
    run.stop = stop.get_token();
    run.onUnreadablePage = [&console](std::u16string_view keyword) {
        console.Note("slotscope-cli: " + EncodeUtf8(keyword) +
                     ": the result page could not be read (markup broken beyond any real page)");
    };
    const RunSummary summary = RunKeywordCheck(fields, fetcher, run);

    if (summary.end == RunEnd::ResultsFileUnavailable) {
        console.Line("slotscope-cli: cannot create the results file '" + options.outputPath + "'");
    }
    console.Line(EncodeUtf8(fields.Status()));
    switch (summary.end) {
        case RunEnd::Completed:
            return summary.failed > 0 || summary.writeFailed ? kExitSomeFailed : kExitOk;
        case RunEnd::Stopped:
            return kExitStopped;
        case RunEnd::NoWebsite:
        case RunEnd::ResultsFileUnavailable:
            return kExitUsage;
    }
    return kExitSomeFailed;
}

}  // namespace
}  // namespace slotscope::cli

int main(int argc, char** argv) {
    namespace cli = slotscope::cli;
    cli::KeepMemoryFlat();
    const std::vector<std::string> arguments = cli::Utf8Arguments(argc, argv);
    cli::Options options;
    std::string error;
    if (!cli::ParseArguments(arguments, options, error)) {
        std::fprintf(stderr, "slotscope-cli: %s\nTry 'slotscope-cli --help'.\n", error.c_str());
        return cli::kExitUsage;
    }
    if (options.help) {
        std::fputs(cli::UsageText(), stdout);
        return cli::kExitOk;
    }
    return cli::Run(options);
}
