// The results file: a written line is the GBK of the line's text and CR LF, and reading it back
// as GB18030 gives the text again (an unpaired surrogate is written as U+FFFD). Code page 936
// and GB18030 differ on the euro sign (0x80) and on private-use characters, so the read-back is
// checked for lines without those.

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/text_codec.h"
#include "core/results_file.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

const std::string& ScratchPath() {
    static const std::string path = [] {
        char name[] = "/tmp/slotscope-fuzz-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) {
            close(fd);
        }
        return std::string(name);
    }();
    return path;
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
            bytes.append(buffer, n);
        }
        std::fclose(file);
    }
    return bytes;
}

// The text with every unpaired surrogate replaced by U+FFFD.
std::u16string WellFormed(std::u16string_view text) {
    std::u16string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            result += c;
            result += text[++i];
        } else {
            result += high || low ? u'\uFFFD' : c;
        }
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parts = slotscope::fuzz::Parts(data, size, 4);
    {
        slotscope::ResultsFile file;
        FUZZ_CHECK(file.Open(ScratchPath()) == slotscope::OutputFile::OpenResult::Opened);
        file.WriteLine(parts[0], parts[1], parts[2], parts[3]);
        file.Close();
        FUZZ_CHECK(!file.writeFailed());
    }
    const std::string bytes = ReadAll(ScratchPath());
    const std::u16string line = slotscope::ResultsLine(parts[0], parts[1], parts[2], parts[3]);
    FUZZ_CHECK(line == parts[0] + u" , " + parts[1] + u" , " + parts[2] + u" , " + parts[3]);
    FUZZ_CHECK(bytes == slotscope::EncodeGbk(line) + "\r\n");
    const bool readsBack = std::none_of(line.begin(), line.end(), [](char16_t c) {
        return c == u'\u20AC' || (c >= 0xE000 && c <= 0xF8FF);
    });
    if (readsBack) {
        FUZZ_CHECK(slotscope::DecodeGb18030(bytes) == WellFormed(line) + u"\r\n");
    }
    return 0;
}
