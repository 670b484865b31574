#include "net/page_body.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "base/ascii.h"
#include "base/text_codec.h"

namespace slotscope {
namespace {

constexpr std::size_t kMetaWindow = std::size_t{2} * 1024;
constexpr std::size_t kVerificationWindow = std::size_t{4} * 1024;

// Position of `lowerNeedle` in `text` ignoring ASCII case, from `from`; npos when absent.
std::size_t FindCaseless(std::string_view text, std::string_view lowerNeedle,
                         std::size_t from = 0) {
    if (from > text.size()) {
        return std::string_view::npos;
    }
    const auto* const found = std::search(text.begin() + static_cast<std::ptrdiff_t>(from),
                                          text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                                          [](char a, char b) { return ascii::Lower(a) == b; });
    return found == text.end() && !lowerNeedle.empty()
               ? std::string_view::npos
               : static_cast<std::size_t>(found - text.begin());
}

bool IsNameChar(char c) {
    return ascii::IsLabelCharacter(c) || c == '_';
}

// The charset name after "charset" at `at` (pointing just past the word), or empty.
std::string_view CharsetValueAt(std::string_view text, std::size_t at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    if (at >= text.size() || text[at] != '=') {
        return {};
    }
    ++at;
    while (at < text.size() &&
           (text[at] == ' ' || text[at] == '\t' || text[at] == '"' || text[at] == '\'')) {
        ++at;
    }
    std::size_t end = at;
    while (end < text.size() && IsNameChar(text[end])) {
        ++end;
    }
    return text.substr(at, end - at);
}

// The first charset=NAME in `text`, or empty.
std::string_view FindCharset(std::string_view text) {
    for (std::size_t at = FindCaseless(text, "charset"); at != std::string_view::npos;
         at = FindCaseless(text, "charset", at + 1)) {
        const std::string_view value = CharsetValueAt(text, at + 7);
        if (!value.empty()) {
            return value;
        }
    }
    return {};
}

bool NameIs(std::string_view name, std::string_view lower) {
    return ascii::EqualsLower(name, lower);
}

// A charset this program reads, by name; false for an unknown name.
bool KnownCharset(std::string_view name, BodyCharset& charset) {
    if (NameIs(name, "utf-8") || NameIs(name, "utf8")) {
        charset = BodyCharset::Utf8;
        return true;
    }
    for (const std::string_view gb :
         {"gbk", "gb2312", "gb18030", "x-gbk", "cp936", "windows-936"}) {
        if (NameIs(name, gb)) {
            charset = BodyCharset::Gb18030;
            return true;
        }
    }
    return false;
}

std::u16string Decode(std::string_view bytes, BodyCharset charset) {
    return charset == BodyCharset::Utf8 ? DecodeUtf8(bytes) : DecodeGb18030(bytes);
}

struct ByteRange {
    std::size_t begin = std::string_view::npos;
    std::size_t end = std::string_view::npos;
    [[nodiscard]] bool found() const { return begin != std::string_view::npos; }
};

// The bytes between the first <title ...> and its </title>.
ByteRange TitleRange(std::string_view body) {
    ByteRange range;
    std::size_t open = FindCaseless(body, "<title");
    while (open != std::string_view::npos && open + 6 < body.size() &&
           IsNameChar(body[open + 6])) {  // "<titles" or the like is another tag
        open = FindCaseless(body, "<title", open + 6);
    }
    if (open == std::string_view::npos) {
        return range;
    }
    const std::size_t tagEnd = body.find('>', open);
    if (tagEnd == std::string_view::npos) {
        return range;
    }
    const std::size_t close = FindCaseless(body, "</title", tagEnd + 1);
    range.begin = tagEnd + 1;
    range.end = close == std::string_view::npos ? body.size() : close;
    return range;
}

}  // namespace

BodyCharset DeclaredCharset(std::string_view contentType, std::string_view body) {
    BodyCharset charset = BodyCharset::Gb18030;
    if (KnownCharset(FindCharset(contentType), charset)) {
        return charset;
    }
    if (KnownCharset(FindCharset(body.substr(0, kMetaWindow)), charset)) {
        return charset;
    }
    return BodyCharset::Gb18030;
}

std::u16string DecodeBody(std::string_view body, std::string_view contentType) {
    return Decode(body, DeclaredCharset(contentType, body));
}

FetchResult PageOfBody(std::string body, BodyCharset charset) {
    std::u16string text = Decode(body, charset);
    if (charset == BodyCharset::Utf8 && IsUtf8WithoutNul(body)) {
        return FetchResult::Page(std::move(text), std::move(body));
    }
    return FetchResult::Page(std::move(text));
}

bool IsVerificationAddress(std::string_view address) {
    constexpr std::array<std::string_view, 4> kWords = {"wappass", "captcha", "antispider",
                                                        "verify"};
    return std::any_of(kWords.begin(), kWords.end(), [&](std::string_view word) {
        return FindCaseless(address, word) != std::string_view::npos;
    });
}

bool IsVerificationPage(std::string_view body, BodyCharset charset) {
    const ByteRange title = TitleRange(body);
    bool resultsTitle = false;
    if (title.found()) {
        const std::u16string text =
            Decode(body.substr(title.begin, title.end - title.begin), charset);
        resultsTitle = text.find(u"_百度搜索") != std::u16string::npos;
        if (!resultsTitle && text.find(u"验证") != std::u16string::npos) {
            return true;
        }
    }

    std::string head(body.substr(0, kVerificationWindow));
    if (resultsTitle && title.begin < head.size()) {
        // The keyword in a results page's title is the user's, not the engine's.
        const std::size_t end = std::min(title.end, head.size());
        std::fill(head.begin() + static_cast<std::ptrdiff_t>(title.begin),
                  head.begin() + static_cast<std::ptrdiff_t>(end), ' ');
    }
    if (FindCaseless(head, "antispider") != std::string_view::npos) {
        return true;
    }
    const std::u16string text = Decode(head, charset);
    return text.find(u"百度安全验证") != std::u16string::npos ||
           text.find(u"请输入验证码") != std::u16string::npos;
}

}  // namespace slotscope
