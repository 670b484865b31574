#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace slotscope {

// The site a paid listing shows, as the history keeps it: lower case, without a leading "www.";
// empty where the listing shows none.

// The longest site kept: a host name's limit. A page that shows a longer one shows no site, so
// that no page can fill the history.
inline constexpr std::size_t kLongestSite = 253;

// The host of a landing address: after its scheme's "://" (or "//", or from the start where it
// has no scheme), up to the first '/', '?', '#', '\\', ':' or white space, without a user and
// password or trailing dots. Empty where that is no host name (javascript:, tel:, a name outside
// ASCII, one longer than kLongestSite): the listing's text then tells.
std::string SiteOfAddress(std::string_view address);

// The first host-like word of a listing's text: a longest run of ASCII letters, digits, '.' and
// '-', trimmed of '.' and '-' at both ends, that holds a dot and whose last label is 2 to 24
// ASCII letters and that is at most kLongestSite long ("www.shop.cn" gives "shop.cn"; "2.5元"
// gives nothing). The text of the table
// layout comes as markup: there the words are read outside <…> (so "www.<b>shop</b>.cn" reads
// as one), and script and style are left out.
std::string SiteInText(std::string_view text);
std::string SiteInMarkup(std::u16string_view markup);

// The address a listing's text shows: its first host-like word (as SiteInText finds it) with the
// scheme before it and the path, query or port after it, up to white space or a character
// outside ASCII. Empty where the text shows none; else a view into `text`.
std::string_view ShownAddressIn(std::string_view text);

// The value of the first data-landurl attribute in markup (the name in any letter case), or
// nothing when there is none.
bool FindLandingAddress(std::u16string_view markup, std::string& address);

}  // namespace slotscope
