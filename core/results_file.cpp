#include "core/results_file.h"

#include "core/file_open.h"
#include "core/text_codec.h"

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

ResultsFile::~ResultsFile() {
    Close();
}

bool ResultsFile::Open(const std::string& path) {
    Close();
    writeFailed_ = false;
    file_ = OpenFile(path, "wb");
    if (file_ == nullptr) {
        return false;
    }
    // Unbuffered: each line goes to the operating system in one write, and a failed write is
    // seen at once instead of at some later flush.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
}

void ResultsFile::WriteLine(std::u16string_view keyword, std::u16string_view website,
                            std::u16string_view left, std::u16string_view right) {
    if (file_ == nullptr) {
        writeFailed_ = true;
        return;
    }
    std::string bytes = EncodeGbk(ResultsLine(keyword, website, left, right));
    bytes += "\r\n";
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        writeFailed_ = true;
        std::clearerr(file_);
    }
}

void ResultsFile::Close() {
    if (file_ == nullptr) {
        return;
    }
    if (std::fclose(file_) != 0) {
        writeFailed_ = true;
    }
    file_ = nullptr;
}

}  // namespace slotscope
