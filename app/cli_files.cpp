#include "app/cli_files.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/cli_platform.h"
#include "base/file_open.h"
#include "base/text_codec.h"
#include "core/run_files.h"

namespace slotscope::cli {
namespace {

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

}  // namespace

std::string ReadFileNamed(const std::string& what, const std::string& path, std::string& bytes,
                          bool regular, std::size_t limit) {
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

std::string ReadKeywordBytes(const std::string& path, std::string& bytes) {
    if (path == "-") {
        return ReadAll(BinaryStandardInput(), bytes)
                   ? ""
                   : "cannot read the keywords from standard input";
    }
    return ReadFileNamed("keyword", path, bytes);
}

std::u16string KeywordListFromBytes(std::string_view bytes) {
    return WithCrLfLineBreaks(DecodeTextFile(bytes));
}

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

std::vector<NamedFile> FilesOf(const Options& options, const std::string& mobileOutput,
                               const std::string& history, const std::vector<Region>& regions) {
    std::vector<NamedFile> files;
    if (options.keywordsPath != "-") {
        files.push_back({"--keywords", options.keywordsPath});
    }
    if (!options.cookiesPath.empty()) {
        files.push_back({"--cookies", options.cookiesPath});
    }
    if (!options.regionsPath.empty()) {
        files.push_back({"--regions", options.regionsPath});
    }
    if (!options.notifyPath.empty()) {
        files.push_back({"--notify", options.notifyPath});
    }
    const std::string phone =
        options.mobileOutputPath.empty()
            ? "the phone's results file '" + mobileOutput + "' beside --output"
            : "--mobile-output";
    // A run over regions writes each region's files, named after the run's own.
    std::vector<std::u16string> names;
    names.reserve(regions.size() + 1);
    for (const Region& region : regions) {
        names.push_back(region.name);
    }
    if (names.empty()) {
        names.emplace_back();
    }
    for (const std::u16string& name : names) {
        const std::string of = name.empty() ? "" : " for region " + EncodeUtf8(name);
        if (options.device != Device::Mobile) {
            files.push_back({"--output" + of, name.empty()
                                                  ? options.outputPath
                                                  : RegionResultsPath(options.outputPath, name)});
        }
        if (options.device != Device::Pc) {
            files.push_back(
                {phone + of, name.empty() ? mobileOutput : RegionResultsPath(mobileOutput, name)});
        }
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

}  // namespace slotscope::cli

namespace slotscope::cli {

tl::expected<std::vector<Region>, std::string> RegionsOf(const Options& options) {
    if (options.regionsPath.empty()) {
        return std::vector<Region>{};
    }
    std::string bytes;
    if (std::string error = ReadFileNamed("--regions", options.regionsPath, bytes,
                                          /*regular=*/true, kMaxRegionsFileBytes);
        !error.empty()) {
        return tl::unexpected(std::move(error));
    }
    const std::string file = "--regions '" + options.regionsPath + "'";
    auto regions = ReadRegionList(DecodeTextFile(bytes));
    if (!regions) {
        return tl::unexpected(file +
                              (regions.error().line > 0
                                   ? ": line " + std::to_string(regions.error().line)
                                   : std::string()) +
                              ": " + regions.error().message);
    }
    if (options.regions.empty()) {
        return std::move(*regions);
    }
    std::vector<std::u16string> names;
    for (const std::string& name : options.regions) {
        names.push_back(DecodeUtf8(name));
    }
    auto chosen = ChooseRegions(*regions, names);
    if (!chosen) {
        return tl::unexpected("--region " + EncodeUtf8(chosen.error()) + ": no such region in " +
                              file);
    }
    return std::move(*chosen);
}

}  // namespace slotscope::cli
