#include "base/marker_cut.h"

#include <cstddef>

namespace slotscope {
namespace {

constexpr auto npos = std::u16string_view::npos;

// The positions below are 0-based indexes; the cut's rules are stated 1-based, and the
// conversions are spelled out where they matter.

std::u16string_view CutKeepingMarkers(std::u16string_view text, std::u16string_view start,
                                      std::u16string_view end) {
    const std::size_t s = text.find(start);
    if (s == npos) {
        return kCutNotFoundText;
    }
    // 1-based: S = s + 1, E = find(end from S) + len(end), result = take(S, E - S).
    // With the end marker missing, E is just len(end), so the result is the
    // (len(end) - S) characters from S when that is positive.
    const std::size_t e = text.find(end, s);
    const std::ptrdiff_t length =
        e == npos ? static_cast<std::ptrdiff_t>(end.size()) - static_cast<std::ptrdiff_t>(s + 1)
                  : static_cast<std::ptrdiff_t>(e + end.size() - s);
    if (length <= 0) {
        return {};
    }
    return text.substr(s, static_cast<std::size_t>(length));
}

}  // namespace

std::u16string_view CutBetween(std::u16string_view strContent, std::u16string_view StartStr,
                               std::u16string_view EndStr) {
    if (StartStr.empty() || EndStr.empty()) {
        return {};
    }
    // 1-based: S = find(start) + len(start). A missing start marker gives S = len(start), so
    // the cut then starts at 0-based index len(start) - 1.
    const std::size_t found = strContent.find(StartStr);
    const std::size_t s = found == npos ? StartStr.size() - 1 : found + StartStr.size();
    if (s >= strContent.size()) {
        return {};
    }
    const std::size_t e = strContent.find(EndStr, s);
    if (e == npos) {
        return {};
    }
    return strContent.substr(s, e - s);
}

std::u16string strCut(std::u16string_view strContent, std::u16string_view StartStr,
                      std::u16string_view EndStr, int CutType) {
    if (StartStr.empty() || EndStr.empty()) {
        return {};
    }
    switch (CutType) {
        case 1:
            return std::u16string(CutKeepingMarkers(strContent, StartStr, EndStr));
        case 2:
            return std::u16string(CutBetween(strContent, StartStr, EndStr));
        default:
            return {};
    }
}

}  // namespace slotscope
