#pragma once

#include <string_view>

#include "core/result_page.h"

namespace slotscope::testing {

// The result-page analysis written the plain way, step by step: every presence test searches the
// whole page from its first character, and the right-hand scan is repeated for every left listing
// that does not hold the website. A page in the column layout is parsed into a document tree and
// walked as the rules read. Slow on purpose; the differential test and the benchmark hold the
// real analysis against it. Meant for pages of ordinary depth: the tree walk recurses.
PositionLabels ReferenceAnalyzeResultPage(std::u16string_view page, std::u16string_view website);

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
