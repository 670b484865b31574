#include "history/site_history.h"

#include "base/file_open.h"

namespace slotscope {

tl::expected<SiteHistory, NoSiteHistory> OpenSiteHistory(const std::string& utf8HistoryPath,
                                                         const std::string& site,
                                                         const std::string& utf8OutputPath,
                                                         std::string_view what) {
    if (!IsRegularFile(utf8HistoryPath)) {
        return tl::unexpected(NoSiteHistory{true, "no history yet: " + utf8HistoryPath});
    }
    auto reader = HistoryReader::Open(utf8HistoryPath);
    auto runs = reader.and_then([&](const auto& opened) { return opened->Runs(site, 0); });
    if (!runs) {
        return tl::unexpected(
            NoSiteHistory{false, "history file " + utf8HistoryPath + ": " + runs.error()});
    }
    if (runs->empty()) {
        return tl::unexpected(NoSiteHistory{true, "no run of " + site + " in " + utf8HistoryPath});
    }
    for (const char* side : {"", "-wal", "-shm"}) {
        if (SameFile(utf8OutputPath, utf8HistoryPath + side)) {
            return tl::unexpected(NoSiteHistory{
                false,
                "the " + std::string(what) + " would replace the history file " + utf8HistoryPath});
        }
    }
    return SiteHistory{std::move(*reader), std::move(*runs)};
}

std::string FileBeside(const std::string& utf8HistoryPath, std::string_view name) {
    const std::size_t slash = utf8HistoryPath.find_last_of("/\\");
    const std::string folder =
        slash == std::string::npos ? std::string() : utf8HistoryPath.substr(0, slash + 1);
    return folder + std::string(name);
}

}  // namespace slotscope
