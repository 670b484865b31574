// slotscope-cli: the keyword run from a terminal or a scheduled job.

#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "app/cli_history.h"
#include "app/cli_options.h"
#include "app/cli_platform.h"
#include "core/build_config.h"
#include "base/file_open.h"
#include "core/keyword_run.h"
#include "page/own_site.h"
#include "base/text_codec.h"
#include "history/history_file.h"
#include "net/cookie_file.h"
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

std::filesystem::path PathFromUtf8(const std::string& path) {
    return {std::u8string(path.begin(), path.end())};
}

// Reads the whole stream, or until it holds more than `limit` bytes; false when reading failed
// (a folder, an I/O error), not only ended.
bool ReadAll(std::FILE* in, std::string& bytes, std::size_t limit = SIZE_MAX) {
    std::array<char, std::size_t{64} * 1024> buffer{};
    std::size_t read = 0;
    // A terminal's end of input (Ctrl-D) comes once: it is not asked for again.
    while (bytes.size() <= limit && std::feof(in) == 0 &&
           (read = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        bytes.append(buffer.data(), read);
    }
    return std::ferror(in) == 0;
}

// A cookie file is a regular file of at most this many bytes: a browser's export of every site's
// cookies is well under it.
constexpr std::size_t kLargestCookieFile = std::size_t{16} * 1024 * 1024;

// A file's bytes; an empty error when read, else one that names `what` and the file. A file
// that must be `regular` is never waited for (a pipe) nor read without end (a device), and holds
// at most `limit` bytes.
std::string ReadFileNamed(const std::string& what, const std::string& path, std::string& bytes,
                          bool regular = false, std::size_t limit = SIZE_MAX) {
    const std::string named = "cannot read the " + what + " file '" + path + "': ";
    std::error_code error;
    if (std::filesystem::is_directory(PathFromUtf8(path), error)) {
        return named + "it is a folder";
    }
    errno = 0;
    std::FILE* file = regular ? OpenRegularFile(path) : OpenFile(path, "rb");
    if (file == nullptr) {
        return named + (regular && errno == 0 ? "not a regular file" : std::strerror(errno));
    }
    errno = 0;
    const bool read = ReadAll(file, bytes, limit);
    const int readError = errno;
    std::fclose(file);
    if (bytes.size() > limit) {
        return named + "larger than " + std::to_string(limit / (std::size_t{1024} * 1024)) + " MiB";
    }
    return read ? "" : named + std::strerror(readError != 0 ? readError : EIO);
}

// The keyword list's bytes from a file or, for "-", standard input; an empty error when read.
std::string ReadKeywordBytes(const std::string& path, std::string& bytes) {
    if (path == "-") {
        return ReadAll(BinaryStandardInput(), bytes)
                   ? ""
                   : "cannot read the keywords from standard input";
    }
    return ReadFileNamed("keyword", path, bytes);
}

// The keyword list as the window's text box holds it: decoded by what the bytes are (a list
// saved by Notepad on Chinese Windows is GBK), line breaks as CR LF.
std::u16string KeywordListFromBytes(std::string_view bytes) {
    return WithCrLfLineBreaks(DecodeTextFile(bytes));
}

// Where the phone page's lines go: --mobile-output, or baidu_mobile.csv beside the results file
// where that is a file of its own. Empty, with `error` set, when there is no such place.
std::string MobileOutputPath(const Options& options, std::string& error) {
    if (!options.mobileOutputPath.empty()) {
        return options.mobileOutputPath;
    }
    const std::filesystem::path output = PathFromUtf8(options.outputPath);
    std::error_code ignored;
    // A link too (/dev/stdout is one): the folder it sits in is not where its file is.
    const std::filesystem::file_status status = std::filesystem::symlink_status(output, ignored);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        error = "--output '" + options.outputPath +
                "' is not a regular file, so the phone page's results need --mobile-output";
        return {};
    }
    const std::u8string path = (output.parent_path() / "baidu_mobile.csv").u8string();
    return {path.begin(), path.end()};
}

// The history file: --history, else slotscope.db beside a results file that is a regular file
// (or is not there yet); empty for none. As SQLite will open it: absolute, "." and ".." taken
// out and no separator at its end ("baidu.csv/" is baidu.csv to SQLite), so that the file the
// run checks is the file SQLite opens.
std::string HistoryPath(const Options& options) {
    if (options.noHistory) {
        return {};
    }
    std::filesystem::path path;
    if (!options.historyPath.empty()) {
        path = PathFromUtf8(options.historyPath);
    } else {
        const std::filesystem::path output = PathFromUtf8(options.outputPath);
        std::error_code ignored;
        const std::filesystem::file_status status = std::filesystem::status(output, ignored);
        if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
            return {};  // a device or a pipe: no folder of results to keep a history beside
        }
        path = output.parent_path() / "slotscope.db";
    }
    std::error_code ignored;
    path = std::filesystem::absolute(path, ignored).lexically_normal();
    while (!path.has_filename() && path.has_parent_path() && path != path.root_path()) {
        path = path.parent_path();
    }
    const std::u8string text = path.make_preferred().u8string();
    return {text.begin(), text.end()};
}

// A file the run opens, named as the user named it.
struct NamedFile {
    std::string what;  // "--output", or "the history file 'x' beside --output"
    std::string path;
};

// Why two of the files name one file, or empty: by any spelling, through links, the history's
// side files included. Writing one would destroy the other, and a cookie file read as keywords
// would send the login in the searches' addresses and write it into the results.
std::string FileNamedTwice(const std::vector<NamedFile>& files) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t j = i + 1; j < files.size(); ++j) {
            if (SameFile(files[i].path, files[j].path)) {
                return files[i].what + " and " + files[j].what + " name the same file";
            }
        }
    }
    return {};
}

// The files of the run, as FileNamedTwice reads them.
std::vector<NamedFile> FilesOf(const Options& options, const std::string& mobileOutput,
                               const std::string& history) {
    std::vector<NamedFile> files;
    if (options.keywordsPath != "-") {
        files.push_back({"--keywords", options.keywordsPath});
    }
    if (!options.cookiesPath.empty()) {
        files.push_back({"--cookies", options.cookiesPath});
    }
    if (options.device != Device::Mobile) {
        files.push_back({"--output", options.outputPath});
    }
    if (options.device != Device::Pc) {
        files.push_back({options.mobileOutputPath.empty()
                             ? "the phone's results file '" + mobileOutput + "' beside --output"
                             : "--mobile-output",
                         mobileOutput});
    }
    if (!history.empty()) {
        const std::string what = options.historyPath.empty()
                                     ? "the history file '" + history + "' beside --output"
                                     : "--history";
        files.push_back({what, history});
        for (const char* side : {"-wal", "-shm", "-journal"}) {
            files.push_back({what + " (its " + std::string(side + 1) + " file)", history + side});
        }
    }
    return files;
}

// "3 up, 1 lost": how the left (or top) slots moved since the last run.
std::string ChangesLine(const ChangeCounts& changes) {
    std::string line;
    for (const auto& [count, name] :
         {std::pair{changes.up, "up"}, std::pair{changes.down, "down"},
          std::pair{changes.gained, "gained"}, std::pair{changes.lost, "lost"}}) {
        if (count > 0) {
            line += (line.empty() ? "" : ", ") + std::to_string(count) + " " + name;
        }
    }
    return line.empty() ? "no slot moved" : line;
}

int Run(const Options& options) {
    Console console(options.quiet);

    std::string mobileOutput;
    if (options.device != Device::Pc) {
        std::string error;
        mobileOutput = MobileOutputPath(options, error);
        if (mobileOutput.empty()) {
            console.Line("slotscope-cli: " + error);
            return kExitUsage;
        }
    }
    const std::string historyPath = HistoryPath(options);
    if (const std::string twice = FileNamedTwice(FilesOf(options, mobileOutput, historyPath));
        !twice.empty()) {
        console.Line("slotscope-cli: " + twice);
        return kExitUsage;
    }

    if (const std::string error = SiteError(options.site); !error.empty()) {
        console.Line("slotscope-cli: " + error);
        return kExitUsage;
    }
    const std::u16string site = DecodeUtf8(options.site);

    std::string bytes;
    if (options.keywordsPath == "-" && InputIsTerminal()) {
        console.Line(std::string("slotscope-cli: reading keywords from the terminal, one per line; "
                                 "end the list with ") +
                     EndOfInputKeys());
    }
    if (const std::string error = ReadKeywordBytes(options.keywordsPath, bytes); !error.empty()) {
        console.Line("slotscope-cli: " + error);
        return kExitUsage;
    }

    // Ctrl-C and SIGTERM stop the run as the window's stop button does.
    std::stop_source stop;
    StopOnInterrupt(stop, kExitStopped);

    ConsoleFields fields(KeywordListFromBytes(bytes), site, console);
    bytes = std::string();

    FetchSettings settings;
    settings.timeout = std::chrono::milliseconds(std::llround(options.timeoutSeconds * 1000));
    if (!options.cookiesPath.empty()) {
        // A login: what goes wrong is said by line, never by what the file holds.
        std::string text;
        if (const std::string error = ReadFileNamed("--cookies", options.cookiesPath, text,
                                                    /*regular=*/true, kLargestCookieFile);
            !error.empty()) {
            console.Line("slotscope-cli: " + error);
            return kExitUsage;
        }
        SessionCookies cookies = ReadSessionCookies(
            text, {HostOf(options.searchUrlPrefix), HostOf(options.mobileSearchUrlPrefix)});
        if (!cookies.error.empty()) {
            console.Line("slotscope-cli: --cookies '" + options.cookiesPath +
                         "': " + cookies.error);
            return kExitUsage;
        }
        if (cookies.leftOut > 0) {
            console.Note("slotscope-cli: --cookies '" + options.cookiesPath +
                         "': " + std::to_string(cookies.leftOut) +
                         (cookies.leftOut == 1 ? " cookie" : " cookies") +
                         " for other sites left out; only the search's own are sent");
        }
        settings.cookies = std::move(cookies.jarLines);
    }
    HttpPageFetcher fetcher(settings);

    RunOptions run;
    run.resultsPath = options.outputPath;
    run.mobileResultsPath = mobileOutput;
    run.device = options.device;
    run.homePageUrl = options.homePageUrl;
    run.searchUrlPrefix = options.searchUrlPrefix;
    run.mobileSearchUrlPrefix = options.mobileSearchUrlPrefix;
    run.lookAhead = options.jobs;
    run.verifyRounds = options.verifyRounds;
    run.verifyPause = std::chrono::milliseconds(std::llround(options.verifyPause * 1000));
    run.onVerifyPause = [&console](int keywords, std::chrono::milliseconds pause) {
        console.Note("slotscope-cli: " + std::to_string(keywords) +
                     (keywords == 1 ? " keyword" : " keywords") +
                     " met a verification page; trying again in " +
                     std::to_string((pause.count() + 999) / 1000) + " s");
    };
    run.delay = options.delay;
    run.stop = stop.get_token();
    // A failed page is named by its keyword; the address follows where the connection failed,
    // as it tells which host or proxy did. The side requests' failures change nothing: unsaid.
    run.onPageFailed = [&console](std::u16string_view keyword, PageKind page, CheckFailure failure,
                                  std::string_view reason, std::string_view address) {
        std::string line = "slotscope-cli: " + EncodeUtf8(keyword) +
                           (page == PageKind::Phone ? " (phone): " : " (desktop): ") +
                           std::string(reason);
        if (failure == CheckFailure::Fetch) {
            line += " (" + WithoutUserInfo(address) + ")";
        }
        console.Note(line);
    };
    std::unique_ptr<HistoryFile> history;
    if (!historyPath.empty()) {
        history = std::make_unique<HistoryFile>(historyPath, SLOTSCOPE_VERSION);
        run.history = history.get();
    }
    const RunSummary summary = RunKeywordCheck(fields, fetcher, run);

    if (summary.end == RunEnd::NoKeywords) {
        console.Line("slotscope-cli: no keywords in " + (options.keywordsPath == "-"
                                                             ? std::string("standard input")
                                                             : "'" + options.keywordsPath + "'"));
    } else if (summary.end == RunEnd::ResultsFileUnavailable) {
        console.Line("slotscope-cli: cannot create the results file '" + summary.unopenedPath +
                     "'");
    } else if (summary.end == RunEnd::ResultsFileInUse) {
        console.Line("slotscope-cli: cannot write the results file '" + summary.unopenedPath +
                     "': another program (such as Excel) has it open; close it and try again");
    }
    if (!summary.historyProblem.empty()) {
        // Every keyword's row may be there though the rounds' revisions or the end are not: the
        // problem then says which.
        const int kept = summary.historyKeywords;
        console.Line("slotscope-cli: " + summary.historyProblem +
                     (kept <= 0 ? "; this run was not kept in it"
                      : kept < summary.checked
                          ? "; it holds this run's first " + std::to_string(kept) + " of " +
                                std::to_string(summary.checked) + " keywords"
                          : ""));
    } else if (summary.changes.compared) {
        console.Line(std::string("slotscope-cli: since the last run, ") +
                     (options.device == Device::Mobile ? "top" : "left") +
                     " slots: " + ChangesLine(summary.changes));
    }
    console.Line(EncodeUtf8(fields.Status()));
    switch (summary.end) {
        case RunEnd::Completed:
            return summary.failed > 0 || summary.writeFailed || !summary.historyProblem.empty()
                       ? kExitSomeFailed
                       : kExitOk;
        case RunEnd::Stopped:
            return kExitStopped;
        case RunEnd::NoWebsite:
        case RunEnd::BadWebsite:
        case RunEnd::NoKeywords:
        case RunEnd::ResultsFileUnavailable:
        case RunEnd::ResultsFileInUse:
            return kExitUsage;
        case RunEnd::Aborted:
            return kExitSomeFailed;
    }
    return kExitSomeFailed;
}

}  // namespace
}  // namespace slotscope::cli

int main(int argc, char** argv) {
    namespace cli = slotscope::cli;
    cli::KeepMemoryFlat();
    const std::vector<std::string> arguments = cli::Utf8Arguments(argc, argv);
    if (!arguments.empty() && (arguments[0] == "history" || arguments[0] == "report")) {
        const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
        try {
            return arguments[0] == "history" ? cli::HistoryCommand(rest) : cli::ReportCommand(rest);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "slotscope-cli: aborted: %s\n", error.what());
            return cli::kExitSomeFailed;
        }
    }
    cli::Options options;
    std::string error;
    if (!cli::ParseArguments(arguments, options, error)) {
        std::fprintf(stderr, "slotscope-cli: %s\nTry 'slotscope-cli --help'.\n", error.c_str());
        return cli::kExitUsage;
    }
    if (options.help) {
        std::fputs(cli::UsageText(), stdout);
        std::fputs(cli::SubcommandUsageText(), stdout);
        return cli::kExitOk;
    }
    try {
        return cli::Run(options);
    } catch (const std::exception& error) {
        // The run reports its own failures; this is one outside it (memory running out while
        // reading the keywords, say).
        std::fprintf(stderr, "slotscope-cli: aborted: %s\n", error.what());
        return cli::kExitSomeFailed;
    }
}
