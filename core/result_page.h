#pragma once

#include <string>
#include <string_view>

namespace slotscope {

// Where the website stands among a result page's paid listings, as the short labels the results
// file and the window show: "左2", "左无", "左侧无推广位" on the left; "右1", "右无", "右无推广位"
// on the right.
struct PositionLabels {
    std::u16string left;
    std::u16string right;

    friend bool operator==(const PositionLabels&, const PositionLabels&) = default;
};

// Finds the website among the left listings (layout A, tables 3001..30010, or layout B, tables
// 4001..4004) and the right listings (bdfs0..bdfs7) of a result page. Presence tests ignore ASCII
// letter case; the listing blocks are cut case-sensitively, as strCut does. Reads one pass over
// the page, whatever the number of listings.
PositionLabels AnalyzeResultPage(std::u16string_view PageText, std::u16string_view website);

}  // namespace slotscope
