#include "core/run_files.h"

#include <algorithm>
#include <filesystem>

#include "base/text_codec.h"
#include "core/run_limits.h"

namespace slotscope {
namespace {

std::vector<PageKind> PagesOf(Device device) {
    switch (device) {
        case Device::Pc:
            return {PageKind::Desktop};
        case Device::Mobile:
            return {PageKind::Phone};
        case Device::Both:
            break;
    }
    return {PageKind::Desktop, PageKind::Phone};
}

// The file name of a path, or `unnamed` for a path that names none.
std::u16string NameOf(const std::string& path, std::u16string_view unnamed) {
    const std::u8string name =
        std::filesystem::path(std::u8string(path.begin(), path.end())).filename().u8string();
    return name.empty() ? std::u16string(unnamed)
                        : DecodeUtf8(std::string(name.begin(), name.end()));
}

}  // namespace

std::string RegionResultsPath(std::string_view path, std::u16string_view region) {
    // The file's name starts after the last separator (either one on Windows).
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    // A leading dot (".csv") is the name, not an extension.
    const std::size_t stemEnd =
        dot == std::string_view::npos || dot <= nameStart ? path.size() : dot;
    return std::string(path.substr(0, stemEnd)) + "_" + EncodeUtf8(region) +
           std::string(path.substr(stemEnd));
}

RunFiles::RunFiles(const RunOptions& options)
    : pages_(PagesOf(options.device)),
      desktopPath_(options.resultsPath),
      phonePath_(options.mobileResultsPath),
      desktopName_(NameOf(options.resultsPath, limits::kResultsFileName16)),
      phoneName_(NameOf(options.mobileResultsPath, limits::kPhoneResultsFileName16)) {}

std::optional<RunFiles::Unopened> RunFiles::Open() {
    std::optional<Unopened> unopened = OpenKeeping();
    if (!unopened) {
        Clear();
    }
    return unopened;
}

std::optional<RunFiles::Unopened> RunFiles::OpenKeeping() {
    for (const PageKind page : pages_) {
        const OutputFile::OpenResult opened = For(page).OpenKeeping(PathOf(page));
        if (opened != OutputFile::OpenResult::Opened) {
            Close();
            return Unopened{page, opened};
        }
    }
    return std::nullopt;
}

void RunFiles::Clear() {
    for (const PageKind page : pages_) {
        For(page).Clear();
    }
}

bool RunFiles::AllRegular() const {
    return std::all_of(pages_.begin(), pages_.end(),
                       [&](PageKind page) { return IsRegularFile(ResolvedPath(PathOf(page))); });
}

bool RunFiles::Replace(PageKind page, const std::vector<ResultsLineTexts>& lines) {
    if (ResultsFile::Replace(ResolvedPath(PathOf(page)), lines)) {
        return true;
    }
    For(page).MarkWriteFailed();
    return false;
}

void RunFiles::Close() {
    desktop_.Close();
    phone_.Close();
}

std::vector<std::u16string> RunFiles::NameList(bool onlyFailed) const {
    std::vector<std::u16string> names;
    for (const PageKind page : pages_) {
        if (!onlyFailed || For(page).writeFailed()) {
            names.push_back(FileName(page));
        }
    }
    return names;
}

std::u16string RunFiles::Names(bool onlyFailed) const {
    std::u16string names;
    for (const std::u16string& name : NameList(onlyFailed)) {
        names += (names.empty() ? u"" : u"和") + name;
    }
    return names;
}

}  // namespace slotscope
