#pragma once

#include <string>
#include <string_view>

namespace slotscope {

// Returned by CutType 1 when the start marker does not occur.
inline constexpr std::u16string_view kCutNotFoundText =
    u"<p align='center'>没有找到需要的内容。</p>";

// Returns the stretch of strContent between the first StartStr and the next EndStr, searching
// case-sensitively. CutType 1 keeps both markers, CutType 2 drops them; any other value, and an
// empty StartStr or EndStr, gives an empty text. Never fails: a missing marker shows only in the
// result (see marker_cut.cpp for the exact arithmetic callers rely on).
std::u16string strCut(std::u16string_view strContent, std::u16string_view StartStr,
                      std::u16string_view EndStr, int CutType);

// The CutType 2 cut as a view into strContent, without copying. Same result as strCut(..., 2).
std::u16string_view CutBetween(std::u16string_view strContent, std::u16string_view StartStr,
                               std::u16string_view EndStr);

}  // namespace slotscope
