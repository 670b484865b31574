// strCut: the result is empty, the not-found text or a piece of the content, and the copying
// and the viewing cut agree.

#include <cstddef>
#include <cstdint>

#include "base/marker_cut.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int cutType = static_cast<int>(data[0] % 5);  // 1 and 2 are modes; the rest are not
    const auto parts = slotscope::fuzz::Parts(data + 1, size - 1, 3);
    const std::u16string& content = parts[0];

    const std::u16string cut = slotscope::strCut(content, parts[1], parts[2], cutType);
    FUZZ_CHECK(cut.empty() || cut == slotscope::kCutNotFoundText ||
               content.find(cut) != std::u16string::npos);
    if (cutType == 2) {
        FUZZ_CHECK(cut == slotscope::CutBetween(content, parts[1], parts[2]));
    }
    if (cutType != 1 && cutType != 2) {
        FUZZ_CHECK(cut.empty());
    }
    return 0;
}
