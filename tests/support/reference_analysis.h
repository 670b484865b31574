#pragma once

#include <string>
#include <string_view>

#include "page/result_page.h"

namespace slotscope::testing {

// The result-page analysis written the plain way, step by step: every presence test searches the
// whole page from its first character, and the right-hand scan is repeated for every left listing
// that does not hold the website. A page in the column layout is parsed into a document tree and
// walked as the rules read. Slow on purpose; the differential test and the benchmark hold the
// real analysis against it. Meant for pages of ordinary depth: the tree walk recurses.
PositionLabels ReferenceAnalyzeResultPage(std::u16string_view page, std::u16string_view website);

// Whether `site` occurs in `text`, ignoring ASCII case, as a whole host name or its end, the
// plain way: at each place it occurs, the characters next to it are looked at. A letter, digit
// or '-' may not run on before it nor after it, nor a '.' with one of those after it (each
// only where the site's own first or last character is one). An empty site is in any text but
// an empty one.
template <class Char>
bool HoldsHost(std::basic_string_view<Char> text, std::basic_string_view<Char> site) {
    const auto fold = [](Char c) { return c >= 'A' && c <= 'Z' ? Char(c - 'A' + 'a') : c; };
    const auto hostChar = [&](Char c) {
        const Char f = fold(c);
        return (f >= 'a' && f <= 'z') || (f >= '0' && f <= '9') || f == '-';
    };
    if (site.empty()) {
        return !text.empty();
    }
    for (std::size_t at = 0; at + site.size() <= text.size(); ++at) {
        bool same = true;
        for (std::size_t n = 0; n < site.size() && same; ++n) {
            same = fold(text[at + n]) == fold(site[n]);
        }
        if (!same) {
            continue;
        }
        const std::basic_string_view<Char> before = text.substr(0, at);
        const std::basic_string_view<Char> after = text.substr(at + site.size());
        if (hostChar(site.front()) && !before.empty() && hostChar(before.back())) {
            continue;
        }
        if (hostChar(site.back()) && !after.empty() &&
            (hostChar(after[0]) || (after[0] == '.' && after.size() > 1 && hostChar(after[1])))) {
            continue;
        }
        return true;
    }
    return false;
}

// Whether a page carries a marker of the table layout, and is read by its markers.
bool ReadByTableMarkers(std::u16string_view page);

// The column layout alone, read from the document tree the parser builds.
PositionLabels ReferenceColumnLayout(std::u16string_view page, std::u16string_view website);

// The paid listings the tree walk finds in each column.
struct ColumnListings {
    int left = 0;
    int right = 0;
};
ColumnListings ReferenceColumnListings(std::u16string_view page);

}  // namespace slotscope::testing
