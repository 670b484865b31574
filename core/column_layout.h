#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/result_page.h"

namespace slotscope {

// Result pages that carry their listings in two columns, the elements with the ids content_left
// and content_right, as Baidu has served them since about 2016. A paid listing is an entry of a
// column (a child element; tables in between are looked through) that shows a sign of promotion:
// a data-tuiguang or data-landurl attribute, a class beginning with ec-tuiguang or ec_tuiguang,
// a link through baidu.php, or a span or link that reads "广告" or "商业推广". The website is
// looked for, ignoring ASCII case, in a listing's text and in the values of its attributes.
//
// Returns nothing when the page cannot be read to its end: markup broken in ways that would make
// the parser work far beyond any real page. Such a page must be reported as a failed check, not
// as a page without listings. Memory running out is thrown as std::bad_alloc: it is no fault of
// the page.
std::optional<PositionLabels> AnalyzeColumnLayout(std::u16string_view page,
                                                  std::u16string_view website);

// Whether the page, read as HTML, has an element with the id content_left or content_right, or a
// <title> that, trimmed of white space, ends with "_百度搜索" or begins with "百度搜索_". Reading
// stops at the first of these. Nothing when the page cannot be read as far as that (see
// AnalyzeColumnLayout).
std::optional<bool> HasResultOutline(std::u16string_view page);

// The page as the HTML parser is given it: UTF-8, with U+0000 and unpaired surrogates as U+FFFD
// (the parser would end the document at a NUL byte).
std::string ParserInput(std::u16string_view page);

}  // namespace slotscope
