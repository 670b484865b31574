#pragma once

#include <string_view>

#include "page/column_reader.h"
#include "page/result_page.h"

namespace slotscope {

// How a page's two sides are named in its labels.
struct SideNames {
    std::u16string_view first;  // then the listing's number: "左", "上"
    std::u16string_view second;
    std::u16string_view firstWithout;  // paid listings, none holding the website
    std::u16string_view firstEmpty;    // no paid listings
    std::u16string_view secondWithout;
    std::u16string_view secondEmpty;
};

inline constexpr SideNames kColumnSides{u"左",           u"右",   u"左无",
                                        u"左侧无推广位", u"右无", u"右无推广位"};
inline constexpr SideNames kPhoneSides{u"上",         u"下",   u"上无",
                                       u"上无推广位", u"下无", u"下无推广位"};

// The labels of both sides. Once the website is found on the first side, the second only says
// whether it has paid listings.
PositionLabels SideLabels(const SideNames& names, const Block& first, const Block& second);

}  // namespace slotscope
