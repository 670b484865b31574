#include "page/listing_text.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "base/text_codec.h"
#include "page/markup_space.h"
#include "page/shown_site.h"

namespace slotscope {
namespace {

constexpr auto npos = std::u16string_view::npos;

// The length of the white space character at `at` (HTML's, U+00A0 or U+3000), or 0.
std::size_t SpaceAt(std::string_view text, std::size_t at) {
    if (IsMarkupSpace(text[at])) {
        return 1;
    }
    constexpr std::string_view kNoBreakSpace = "\u00A0";
    constexpr std::string_view kIdeographicSpace = "\u3000";
    if (text.substr(at).starts_with(kNoBreakSpace)) {
        return kNoBreakSpace.size();
    }
    return text.substr(at).starts_with(kIdeographicSpace) ? kIdeographicSpace.size() : 0;
}

// text[within] without the stretches `left` out, each run of white space and line breaks as
// one space, trimmed.
std::string Folded(std::string_view text, std::span<const std::size_t> breaks, TextRange within,
                   std::span<const TextRange> leftOut) {
    std::string folded;
    bool space = false;
    auto nextBreak = std::lower_bound(breaks.begin(), breaks.end(), within.begin);
    for (std::size_t at = within.begin; at < within.end;) {
        for (; nextBreak != breaks.end() && *nextBreak <= at; ++nextBreak) {
            space = true;
        }
        const auto skip = std::find_if(leftOut.begin(), leftOut.end(), [&](const TextRange& range) {
            return !range.empty() && range.begin == at;
        });
        if (skip != leftOut.end()) {
            at = skip->end;
            space = true;
            continue;
        }
        if (const std::size_t length = SpaceAt(text, at); length > 0) {
            space = true;
            at += length;
            continue;
        }
        if (space && !folded.empty()) {
            folded += ' ';
        }
        space = false;
        folded += text[at++];
    }
    return folded;
}

// At most kLongestListingText characters of folded text, cut between two characters.
std::string Shortened(std::string text) {
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 &&
            characters++ == kLongestListingText) {
            text.resize(at);
            break;
        }
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

// The text without its shown address; the spaces on either side of it fold to one.
std::string WithoutAddress(std::string text) {
    const std::string_view address = ShownAddressIn(text);
    if (address.empty()) {
        return text;
    }
    auto at = static_cast<std::size_t>(address.data() - text.data());
    std::size_t end = at + address.size();
    if (at > 0 && text[at - 1] == ' ') {
        --at;
    } else if (end < text.size() && text[end] == ' ') {
        ++end;
    }
    text.erase(at, end - at);
    return text;
}

void AppendCodePoint(std::string& text, char32_t c) {
    if (c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        c = 0xFFFD;
    }
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The value of a decimal or hexadecimal digit, or -1.
int DigitValue(char16_t d, bool hex) {
    if (ascii::IsDigit(d)) {
        return d - u'0';
    }
    const char16_t lower = ascii::Lower(d);
    return hex && lower >= u'a' && lower <= u'f' ? lower - u'a' + 10 : -1;
}

// Decodes the character reference at `at` (at its '&') into `text`; where it ends.
std::size_t AppendReference(std::u16string_view markup, std::size_t at, std::string& text) {
    constexpr std::size_t kLongestName = 32;
    const std::size_t semicolon = markup.find(u';', at);
    if (semicolon == npos || semicolon - at > kLongestName || semicolon == at + 1) {
        text += '&';
        return at + 1;
    }
    const std::u16string_view name = markup.substr(at + 1, semicolon - at - 1);
    if (name.front() == u'#') {
        const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
        char32_t c = 0;
        const std::u16string_view digits = name.substr(hex ? 2 : 1);
        for (const char16_t d : digits) {
            const int value = DigitValue(d, hex);
            if (value < 0 || c > 0x10FFFF) {
                text += '&';
                return at + 1;
            }
            c = c * (hex ? 16 : 10) + static_cast<char32_t>(value);
        }
        if (digits.empty()) {
            text += '&';
            return at + 1;
        }
        AppendCodePoint(text, c);
        return semicolon + 1;
    }
    if (!std::all_of(name.begin(), name.end(),
                     [](char16_t c) { return ascii::IsLetter(c) || ascii::IsDigit(c); })) {
        text += '&';
        return at + 1;
    }
    const std::string ascii(name.begin(), name.end());
    const htmlEntityDesc* entity =
        htmlEntityLookup(reinterpret_cast<const xmlChar*>(ascii.c_str()));
    if (entity == nullptr) {
        text += '&';
        return at + 1;
    }
    AppendCodePoint(text, entity->value);
    return semicolon + 1;
}

// Where the raw text of a script or style element, its start tag ending at `at`, ends: after its
// end tag, or at the end of the markup.
std::size_t SkipRawText(std::u16string_view markup, std::size_t at, std::string_view name) {
    for (std::size_t i = markup.find(u"</", at); i != npos; i = markup.find(u"</", i + 2)) {
        const std::u16string lowerName(name.begin(), name.end());
        if (ascii::EqualsLower(markup.substr(i + 2, name.size()), std::u16string_view(lowerName))) {
            const std::size_t close = markup.find(u'>', i);
            return close == npos ? markup.size() : close + 1;
        }
    }
    return markup.size();
}

// A tag's name, lower-cased, from the markup after its '<' or "</".
std::string TagName(std::u16string_view markup) {
    std::string name;
    for (const char16_t c : markup) {
        if (!ascii::IsLetter(c) && !ascii::IsDigit(c)) {
            break;
        }
        name += static_cast<char>(ascii::Lower(c));
    }
    return name;
}

// A listing's markup as text: its line breaks and its first link.
struct MarkupText {
    std::string text;
    std::vector<std::size_t> breaks;
    TextRange title;
    bool inTitle = false;
    bool titleSeen = false;

    void OnTag(std::string_view name, bool ending) {
        if (name == "a" && !ending && !titleSeen) {
            title.begin = text.size();
            inTitle = titleSeen = true;
        } else if (name == "a" && ending && inTitle) {
            title.end = text.size();
            inTitle = false;
        }
        if (BreaksLine(name) && (breaks.empty() || breaks.back() != text.size())) {
            breaks.push_back(text.size());
        }
    }
};

}  // namespace

bool BreaksLine(std::string_view element) {
    static constexpr std::array<std::string_view, 27> kBreaking = {
        "address", "article", "aside", "blockquote", "br", "dd",      "div",   "dl", "dt",
        "footer",  "form",    "h1",    "h2",         "h3", "h4",      "h5",    "h6", "header",
        "hr",      "li",      "nav",   "ol",         "p",  "section", "table", "td", "tr"};
    return std::find(kBreaking.begin(), kBreaking.end(), element) != kBreaking.end();
}

ListingAd ListingAdOf(std::string site, std::string_view text, std::span<const std::size_t> breaks,
                      TextRange title, TextRange label) {
    const std::array<TextRange, 1> labelOnly{label};
    const std::array<TextRange, 2> both{title, label};
    ListingAd ad{std::move(site), {}, {}};
    if (!title.empty()) {
        ad.title = Shortened(Folded(text, breaks, title, labelOnly));
    }
    ad.text = Shortened(WithoutAddress(Folded(text, breaks, {0, text.size()}, both)));
    return ad;
}

ListingAd ListingAdOfMarkup(std::string site, std::u16string_view markup) {
    MarkupText read;
    std::size_t at = 0;
    // The cut begins inside the listing's own start tag.
    if (const std::size_t end = markup.find(u'>'); end != npos && end < markup.find(u'<')) {
        at = end + 1;
    }
    while (at < markup.size()) {
        const std::size_t next = std::min(markup.find_first_of(u"<&", at), markup.size());
        read.text += EncodeUtf8(markup.substr(at, next - at));
        at = next;
        if (at == markup.size()) {
            break;
        }
        if (markup[at] == u'&') {
            at = AppendReference(markup, at, read.text);
            continue;
        }
        // A comment is no text, whatever it holds, up to its "-->".
        if (markup.substr(at, 4) == u"<!--") {
            const std::size_t end = markup.find(u"-->", at + 4);
            at = end == npos ? markup.size() : end + 3;
            continue;
        }
        const std::size_t close = markup.find(u'>', at);
        const std::size_t tagEnd = close == npos ? markup.size() : close + 1;
        const bool ending = at + 1 < markup.size() && markup[at + 1] == u'/';
        const std::string name = TagName(markup.substr(at + (ending ? 2 : 1)));
        at = tagEnd;
        if (!ending && (name == "script" || name == "style")) {
            at = SkipRawText(markup, at, name);
        } else {
            read.OnTag(name, ending);
        }
    }
    if (read.inTitle) {
        read.title.end = read.text.size();
    }
    return ListingAdOf(std::move(site), read.text, read.breaks, read.title, {});
}

}  // namespace slotscope
