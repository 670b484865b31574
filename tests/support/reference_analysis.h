#pragma once

#include <string_view>

#include "core/result_page.h"

namespace slotscope::testing {

// The result-page analysis written the plain way, step by step: every presence test searches the
// whole page from its first character, and the right-hand scan is repeated for every left listing
// that does not hold the website. Slow on purpose; the differential test and the benchmark hold
// the real analysis against it.
PositionLabels ReferenceAnalyzeResultPage(std::u16string_view page, std::u16string_view website);

}  // namespace slotscope::testing
