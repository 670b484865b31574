#include "page/own_site.h"

#include <algorithm>

#include "base/ascii.h"
#include "base/text_codec.h"
#include "page/shown_site.h"

namespace slotscope {
namespace {

bool IsWhiteSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v' ||
           c == u'\u00A0' || c == u'\u3000' || c == u'\u200B' || c == u'\uFEFF';
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view lowerPrefix) {
    return text.size() >= lowerPrefix.size() &&
           ascii::EqualsLower(text.substr(0, lowerPrefix.size()), lowerPrefix);
}

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && IsWhiteSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsWhiteSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Characters outside ASCII that no host name holds: controls, spaces and the Latin-1 signs
// (NBSP, the soft hyphen), punctuation (，。、：), the full-width forms (a full-width letter is
// typed for an ASCII one, which a page shows), and the like.
bool IsNonAsciiPunctuation(char16_t c) {
    return c <= 0xBF || (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x303F) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF) || c == 0xFEFF;
}

// A host name of two labels or more: labels of host characters (or letters outside ASCII)
// between single dots.
bool IsHost(std::u16string_view host) {
    if (host.empty() || host.size() > kLongestSite) {
        return false;
    }
    bool labelEmpty = true;
    int dots = 0;
    for (const char16_t c : host) {
        if (c == u'.') {
            if (labelEmpty) {
                return false;
            }
            labelEmpty = true;
            ++dots;
            continue;
        }
        const bool allowed = c < 0x80 ? ascii::IsLabelCharacter(c) : !IsNonAsciiPunctuation(c);
        if (!allowed) {
            return false;
        }
        labelEmpty = false;
    }
    return !labelEmpty && dots > 0;
}

// Finds the site in text, ignoring ASCII case, where it stands alone.
template <class Char>
bool HoldsSiteIn(std::basic_string_view<Char> text, std::basic_string_view<Char> site) {
    if (site.empty()) {
        return !text.empty();
    }
    for (std::size_t at = 0; at + site.size() <= text.size(); ++at) {
        std::size_t n = 0;
        while (n < site.size() && ascii::Lower(text[at + n]) == ascii::Lower(site[n])) {
            ++n;
        }
        if (n == site.size() && StandsAlone(text, at, site.size())) {
            return true;
        }
    }
    return false;
}

}  // namespace

CheckedSite SiteToCheck(std::u16string_view typed) {
    std::u16string_view rest = Trimmed(typed);
    if (rest.empty()) {
        return {{}, SiteProblem::Empty};
    }
    for (const std::u16string_view scheme : {u"http://", u"https://"}) {
        if (StartsWithIgnoringCase(rest, scheme)) {
            rest.remove_prefix(scheme.size());
            break;
        }
    }
    rest = rest.substr(0, rest.find_first_of(u"/?#"));
    if (const std::size_t colon = rest.rfind(u':');
        colon != std::u16string_view::npos && colon + 1 < rest.size() &&
        rest.find_first_not_of(u"0123456789", colon + 1) == std::u16string_view::npos) {
        rest = rest.substr(0, colon);  // a port
    }
    if (StartsWithIgnoringCase(rest, u"www.")) {
        rest.remove_prefix(4);
    }
    if (!rest.empty() && rest.back() == u'.') {
        rest.remove_suffix(1);
    }
    CheckedSite checked;
    checked.site.reserve(rest.size());
    for (const char16_t c : rest) {
        checked.site += ascii::Lower(c);
    }
    if (!IsHost(checked.site)) {
        checked.site.clear();
        checked.problem = SiteProblem::NotAHost;
    }
    return checked;
}

std::u16string_view TrimmedWebsite(std::u16string_view typed) {
    return Trimmed(typed);
}

std::string WithoutUserInfo(std::string_view address) {
    const std::size_t scheme = address.find("://");
    const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t end = std::min(address.find_first_of("/?#", start), address.size());
    const std::size_t at = address.substr(start, end - start).rfind('@');
    if (at == std::string_view::npos) {
        return std::string(address);
    }
    return std::string(address.substr(0, start)) + "…" + std::string(address.substr(start + at));
}

std::string SiteKey(std::string_view typed) {
    const std::u16string text = DecodeUtf8(typed);
    const CheckedSite checked = SiteToCheck(text);
    if (checked.problem == SiteProblem::None) {
        return EncodeUtf8(checked.site);
    }
    return EncodeUtf8(ascii::Lowered(Trimmed(text)));
}

bool HoldsSite(std::u16string_view text, std::u16string_view site) {
    return HoldsSiteIn(text, site);
}

bool HoldsSite(std::string_view text, std::string_view site) {
    return HoldsSiteIn(text, site);
}

}  // namespace slotscope
