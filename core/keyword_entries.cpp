#include <cstddef>
#include <string>
#include <string_view>

#include "core/keyword_run.h"

namespace slotscope {
namespace {

// C0, DEL and C1, but tab, which a keyword may hold.
bool IsControl(char16_t c) {
    return (c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F);
}

bool IsTrimmed(char16_t c) {
    return c == u' ' || c == u'\u3000';
}

}  // namespace

std::u16string_view TrimSpaces(std::u16string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin])) {
        ++begin;
    }
    while (end > begin && IsTrimmed(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::u16string WithCrLfLineBreaks(std::u16string_view text) {
    std::u16string result;
    result.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
            result += u'\r';
        }
        result += text[i];
        if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')) {
            result += u'\n';
        }
    }
    return result;
}

void KeywordOf(std::u16string_view entry, std::u16string& keyword) {
    keyword.clear();
    for (const char16_t c : TrimSpaces(entry)) {
        if (!IsControl(c)) {
            keyword += c;
        }
    }
    // A control character between spaces leaves them at an end.
    const std::u16string_view trimmed = TrimSpaces(keyword);
    if (trimmed.size() != keyword.size()) {
        keyword = std::u16string(trimmed);
    }
}

std::u16string KeywordOf(std::u16string_view entry) {
    std::u16string keyword;
    KeywordOf(entry, keyword);
    return keyword;
}

bool KeywordEntries::Next(std::u16string_view& entry) {
    if (done_) {
        return false;
    }
    for (std::size_t i = position_; i < list_.size(); ++i) {
        const char16_t c = list_[i];
        if (c == u',' || c == u'\r' || c == u'\n') {
            const bool crLf = c == u'\r' && i + 1 < list_.size() && list_[i + 1] == u'\n';
            entry = list_.substr(position_, i - position_);
            position_ = i + (crLf ? 2 : 1);
            return true;
        }
    }
    entry = list_.substr(position_);
    done_ = true;
    return true;
}

}  // namespace slotscope
