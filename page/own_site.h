#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/ascii.h"

namespace slotscope {

// Why what the user typed as the website gives no site to check.
enum class SiteProblem {
    None,
    Empty,     // nothing but white space
    NotAHost,  // what remains holds a character no host name has, or an empty label
};

struct CheckedSite {
    std::u16string site;  // lower-case ASCII, without "www.": the site the pages are read for
    SiteProblem problem = SiteProblem::None;
};

// The site checked for what was typed in the website box or given as --site, as people type or
// paste it: white space trimmed, a scheme ("http://", "https://"), a path, query or fragment, a
// port, one leading "www." and a trailing "." dropped, ASCII letters lower-cased
// ("http://WWW.Shop.cn:8080/lp?x=1" gives "shop.cn"). Non-ASCII letters are kept (鲜花网.中国).
// What remains must be a host name of two labels or more: "https:/shop.cn" (a scheme mistyped)
// leaves "https:", which is none.
CheckedSite SiteToCheck(std::u16string_view typed);

// What was typed without the white space SiteToCheck trims at its ends: the website as the
// results file keeps it.
std::u16string_view TrimmedWebsite(std::u16string_view typed);

// An address or a site as typed, with any "user:password@" before its host replaced by "…@",
// for a message: a login written into an address is never shown.
std::string WithoutUserInfo(std::string_view address);

// The same for a site stored or given as UTF-8; a site it refuses comes back trimmed and
// lower-cased, so that it still equals itself.
std::string SiteKey(std::string_view typed);

// Whether the site found at text[start, start + length) stands there as a whole host name or as
// the end of one: no host character (an ASCII letter, digit or hyphen) runs on before it
// ("m.hua.com" is the site's own host, "meiguihua.com" another's), and none after it, nor a "."
// with one after it ("hua.com.cn" is another site; "hua.com/lp" and "hua.com。" are the site).
// Works on UTF-8 bytes and UTF-16 code units alike: only ASCII characters are host characters here.
template <class Char>
bool StandsAlone(std::basic_string_view<Char> text, std::size_t start, std::size_t length) {
    if (length == 0) {
        return true;
    }
    if (start > 0 && ascii::IsLabelCharacter(text[start]) &&
        ascii::IsLabelCharacter(text[start - 1])) {
        return false;
    }
    const std::size_t end = start + length;
    if (end < text.size() && ascii::IsLabelCharacter(text[end - 1])) {
        if (ascii::IsLabelCharacter(text[end])) {
            return false;
        }
        if (text[end] == '.' && end + 1 < text.size() && ascii::IsLabelCharacter(text[end + 1])) {
            return false;
        }
    }
    return true;
}

// Whether the text holds the site standing alone somewhere, ignoring ASCII case. An empty site
// is in any text but an empty one.
bool HoldsSite(std::u16string_view text, std::u16string_view site);
bool HoldsSite(std::string_view text, std::string_view site);

}  // namespace slotscope
