#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_open.h"
#include "core/keyword_run.h"
#include "core/results_file.h"
#include "page/page_kind.h"

namespace slotscope {

// A region's results file beside the run's own, named after it: the stem of `path`, `_` and the
// region's name, then the extension ("baidu.csv" from 北京: "baidu_北京.csv"). Paths are UTF-8.
std::string RegionResultsPath(std::string_view path, std::u16string_view region);

// The results files of a run, one per page kind its keywords are checked on.
class RunFiles final {
  public:
    explicit RunFiles(const RunOptions& options);
    RunFiles(const RunFiles&) = delete;
    RunFiles& operator=(const RunFiles&) = delete;

    // The pages every keyword has, in the order they are fetched and written.
    const std::vector<PageKind>& Pages() const { return pages_; }

    ResultsFile& For(PageKind page) { return page == PageKind::Phone ? phone_ : desktop_; }
    const std::string& PathOf(PageKind page) const {
        return page == PageKind::Phone ? phonePath_ : desktopPath_;
    }
    // The file's name, as the captions give it.
    const std::u16string& FileName(PageKind page) const {
        return page == PageKind::Phone ? phoneName_ : desktopName_;
    }

    // A file that could not be opened, and how.
    struct Unopened {
        PageKind page = PageKind::Desktop;
        OutputFile::OpenResult result = OutputFile::OpenResult::Failed;
    };
    // Opens every file, then empties them, so that a file that cannot be opened leaves the
    // others' lines in place. When one cannot, all are closed and that one is told.
    std::optional<Unopened> Open();
    // The two halves of Open, for runs that open several sets of files before emptying any.
    std::optional<Unopened> OpenKeeping();
    void Clear();

    // Whether every file is a regular file, not a device or a pipe: such a file can be replaced
    // in one step, and a line written to it never waits for a reader.
    bool AllRegular() const;

    // Puts `lines` in place of the page's file in one step; false, with the file's writes
    // marked failed, when they could not be put in place.
    bool Replace(PageKind page, const std::vector<ResultsLineTexts>& lines);

    void Close();
    bool writeFailed() const { return desktop_.writeFailed() || phone_.writeFailed(); }
    bool everOpened() const { return desktop_.everOpened() || phone_.everOpened(); }

    // The files as the status text names them: all of them, or those whose writes failed.
    std::u16string Names(bool onlyFailed) const;
    std::vector<std::u16string> NameList(bool onlyFailed) const;

  private:
    const ResultsFile& For(PageKind page) const {
        return page == PageKind::Phone ? phone_ : desktop_;
    }

    const std::vector<PageKind> pages_;
    const std::string desktopPath_;
    const std::string phonePath_;
    const std::u16string desktopName_;
    const std::u16string phoneName_;
    ResultsFile desktop_;
    ResultsFile phone_;
};

}  // namespace slotscope
