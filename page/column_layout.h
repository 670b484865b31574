#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "page/result_page.h"

namespace slotscope {

// What one read of a page in today's layouts found: whether the page shows itself as a search's
// result page (a list of results, or the search's own title), and the labels.
struct LayoutReading {
    bool resultPage = false;
    PositionLabels labels;
    ShownSites sites;
    ShownAds ads = {};
};

// Result pages that carry their listings in two columns, the elements with the ids content_left
// and content_right, as Baidu has served them since about 2016. A paid listing is an entry of a
// column (a child element; tables in between are looked through) that shows a desktop sign of
// promotion (see paid_signs.h). The website (as SiteToCheck gives it) is looked for, ignoring
// ASCII case, in a listing's text and in the values of its attributes, where it stands as a whole
// host name or the end of one (see StandsAlone). The page is a result page when it has a column or
// a <title> that, trimmed, ends with "_百度搜索" or begins with "百度搜索_".
//
// Returns nothing when the page cannot be read to its end: markup broken in ways that would make
// the parser work far beyond any real page. Such a page must be reported as a failed check, not
// as a page without listings. Memory running out is thrown as std::bad_alloc: it is no fault of
// the page.
// The page comes as EncodeUtf8WithoutNul (base/text_codec.h) makes it: the parser would end
// the document at a NUL byte.
std::optional<LayoutReading> ReadColumnLayout(std::string_view input, std::u16string_view website);

// The phone's result page: one list, the first element whose id is "results" or, where there is
// none, the first element with the class "results"; its entries are read as a column's, with the
// phone's signs. The paid listings before the list's first unpaid entry are the top block
// (labels.left: "上k", "上无", "上无推广位"), every later one the bottom block (labels.right:
// "下k", "下无", "下无推广位"), by the columns' rules. The page is a result page when it has the
// list or a search's title (as on the desktop, or ending with "- 百度"). Nothing as above.
std::optional<LayoutReading> ReadPhoneLayout(std::string_view input, std::u16string_view website);

// Whether the page, read as HTML, has an element with the id content_left or content_right, or a
// <title> that, trimmed of white space, ends with "_百度搜索" or begins with "百度搜索_". Reading
// stops at the first of these. Nothing when the page cannot be read as far as that (see
// ReadColumnLayout).
std::optional<bool> HasResultOutline(std::u16string_view page);

}  // namespace slotscope
