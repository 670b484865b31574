#pragma once

#include <string>
#include <string_view>

#include "core/build_config.h"
#include "page/page_kind.h"

namespace slotscope {

// The maker's home page: requested at the start of every run and opened by the window.
inline constexpr std::string_view HomePageUrl = SLOTSCOPE_HOME_PAGE_URL;

// Baidu's web search; the keyword follows the equals sign. Over HTTPS, as the phone's: the user's
// cookies (BDUSS is their login) go over TLS only.
inline constexpr std::string_view SearchUrlPrefix = "https://www.baidu.com/s?wd=";

// Baidu's search for phones; the keyword, in UTF-8, follows the equals sign.
inline constexpr std::string_view MobileSearchUrlPrefix = "https://m.baidu.com/s?word=";

// The keyword's GBK bytes (GB18030 for characters outside GBK) with A-Z a-z 0-9 - . _ ~ kept
// and every other byte written as %XX, so no character of a keyword can end or split the query.
std::string PercentEncodeKeyword(std::u16string_view keyword);

// The search engine's own home page: the scheme and host of the search prefix, path "/". Empty
// when the prefix names no host.
std::string SearchHomePage(std::string_view prefix);

// The keyword's UTF-8 bytes, percent-encoded as PercentEncodeKeyword does; what the phone's
// search takes.
std::string PercentEncodeUtf8Keyword(std::u16string_view keyword);

// The search address for a keyword: prefix followed by the percent-encoded keyword, in GBK for
// the desktop's search and in UTF-8 for the phone's.
std::string SearchAddress(std::string_view prefix, std::u16string_view keyword,
                          PageKind page = PageKind::Desktop);

}  // namespace slotscope
