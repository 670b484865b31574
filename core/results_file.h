#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/file_open.h"

namespace slotscope {

// The four fields of a results line.
struct ResultsLineTexts {
    std::u16string keyword;
    std::u16string_view website;
    std::u16string left;
    std::u16string right;
};

// The results file: one GBK line per checked keyword, "keyword , website , left , right" and CR LF,
// no header and no quoting. Opening truncates what an earlier run left. Every line goes to the
// operating system in one write as soon as it is written, so a run that is interrupted keeps
// every line it finished, and only whole lines.
class ResultsFile final {
  public:
    ResultsFile() = default;
    ResultsFile(const ResultsFile&) = delete;
    ResultsFile& operator=(const ResultsFile&) = delete;

    // Creates or truncates the file.
    OutputFile::OpenResult Open(const std::string& path);
    // Creates the file or opens it as it is; Clear empties it. A run with two files opens both
    // before it empties either, so a file it cannot open leaves the other's lines in place.
    OutputFile::OpenResult OpenKeeping(const std::string& path);
    void Clear();

    // Appends one line. A failed write (disk full) is remembered, not retried.
    void WriteLine(std::u16string_view keyword, std::u16string_view website,
                   std::u16string_view left, std::u16string_view right);

    // Closes the file; a failure here (data not written out) counts as a write failure too.
    void Close();

    // Whether any write since Open failed.
    bool writeFailed() const { return writeFailed_; }
    // Records that the file's lines did not reach it in another way (see Replace).
    void MarkWriteFailed() { writeFailed_ = true; }
    // Whether the file was ever opened, closed since or not.
    bool everOpened() const { return everOpened_; }

    // Puts `lines` in place of the regular file at `path` (no link) in one step: they are
    // written to a new file in the same folder, with the old one's permissions, which then
    // replaces it, so no moment leaves a partial or missing file. False when the lines could not
    // be put in place; the old file then stays.
    static bool Replace(const std::string& path, const std::vector<ResultsLineTexts>& lines);

  private:
    OutputFile file_;
    bool open_ = false;
    bool everOpened_ = false;
    bool writeFailed_ = false;
};

// One results line without its CR LF, as text.
std::u16string ResultsLine(std::u16string_view keyword, std::u16string_view website,
                           std::u16string_view left, std::u16string_view right);

}  // namespace slotscope
