#pragma once

// The files a keyword run reads and writes, as its command line names them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <vector>

#include "app/cli_command_line.h"
#include "regions/region_list.h"

namespace slotscope::cli {

// A file's bytes; an empty error when read, else one that names `what` and the file. A file
// that must be `regular` is never waited for (a pipe) nor read without end (a device), and holds
// at most `limit` bytes.
std::string ReadFileNamed(const std::string& what, const std::string& path, std::string& bytes,
                          bool regular = false, std::size_t limit = SIZE_MAX);

// The keyword list's bytes from a file or, for "-", standard input; an empty error when read.
std::string ReadKeywordBytes(const std::string& path, std::string& bytes);

// The keyword list as the window's text box holds it: decoded by what the bytes are (a list
// saved by Notepad on Chinese Windows is GBK), line breaks as CR LF.
std::u16string KeywordListFromBytes(std::string_view bytes);

// Where the phone page's lines go: --mobile-output, or baidu_mobile.csv beside the results file
// where that is a file of its own. Empty, with `error` set, when there is no such place.
std::string MobileOutputPath(const Options& options, std::string& error);

// The history file: --history, else slotscope.db beside a results file that is a regular file
// (or is not there yet); empty for none. As SQLite will open it: absolute, "." and ".." taken
// out and no separator at its end ("baidu.csv/" is baidu.csv to SQLite), so that the file the
// run checks is the file SQLite opens.
std::string HistoryPath(const Options& options);

// A file the run opens, named as the user named it.
struct NamedFile {
    std::string what;  // "--output", or "the history file 'x' beside --output"
    std::string path;
};

// Why two of the files name one file, or empty: by any spelling, through links, the history's
// side files included. Writing one would destroy the other, and a cookie file read as keywords
// would send the login in the searches' addresses and write it into the results.
std::string FileNamedTwice(const std::vector<NamedFile>& files);

// The files of the run, as FileNamedTwice reads them: the regions file and each region's
// results files among them.
std::vector<NamedFile> FilesOf(const Options& options, const std::string& mobileOutput,
                               const std::string& history, const std::vector<Region>& regions);

// The largest regions file read.
inline constexpr std::size_t kMaxRegionsFileBytes = std::size_t{1024} * 1024;

// The regions the run checks from, as --regions and --region name them, in the file's order;
// none without --regions. The usage error names the file and the line, and never quotes what a
// password could be.
tl::expected<std::vector<Region>, std::string> RegionsOf(const Options& options);

}  // namespace slotscope::cli
