#include "core/results_file.h"

#include "base/file_open.h"
#include "base/side_file.h"
#include "base/text_codec.h"

namespace slotscope {

std::u16string ResultsLine(std::u16string_view keyword, std::u16string_view website,
                           std::u16string_view left, std::u16string_view right) {
    constexpr std::u16string_view separator = u" , ";
    std::u16string line;
    line.reserve(keyword.size() + website.size() + left.size() + right.size() +
                 3 * separator.size());
    line.append(keyword).append(separator).append(website).append(separator);
    line.append(left).append(separator).append(right);
    return line;
}

OutputFile::OpenResult ResultsFile::Open(const std::string& path) {
    const OutputFile::OpenResult result = OpenKeeping(path);
    Clear();
    return result;
}

OutputFile::OpenResult ResultsFile::OpenKeeping(const std::string& path) {
    Close();
    writeFailed_ = false;
    const OutputFile::OpenResult result = file_.OpenForWriting(path);
    open_ = result == OutputFile::OpenResult::Opened;
    everOpened_ = everOpened_ || open_;
    return result;
}

void ResultsFile::Clear() {
    if (open_ && !file_.Truncate()) {
        writeFailed_ = true;
    }
}

namespace {

// A line's bytes: GBK, ended by CR LF.
std::string LineBytes(std::u16string_view keyword, std::u16string_view website,
                      std::u16string_view left, std::u16string_view right) {
    std::string bytes = EncodeGbk(ResultsLine(keyword, website, left, right));
    bytes += "\r\n";
    return bytes;
}

}  // namespace

void ResultsFile::WriteLine(std::u16string_view keyword, std::u16string_view website,
                            std::u16string_view left, std::u16string_view right) {
    if (!open_ || !file_.Write(LineBytes(keyword, website, left, right))) {
        writeFailed_ = true;
    }
}

bool ResultsFile::Replace(const std::string& path, const std::vector<ResultsLineTexts>& lines) {
    SideFile file(path, ".new", SideFile::Access::AsTarget);
    for (const ResultsLineTexts& line : lines) {
        if (!file.Write(LineBytes(line.keyword, line.website, line.left, line.right))) {
            return false;
        }
    }
    return file.Commit();
}

void ResultsFile::Close() {
    if (open_ && !file_.Close()) {
        writeFailed_ = true;
    }
    open_ = false;
}

}  // namespace slotscope
