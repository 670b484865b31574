// Letter case as Windows' file systems compare names.

#include <windows.h>

#include <limits>

#include "base/letter_case.h"

namespace slotscope {

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
    if (a.size() > kMax || b.size() > kMax) {
        return false;
    }
    return CompareStringOrdinal(reinterpret_cast<LPCWCH>(a.data()), static_cast<int>(a.size()),
                                reinterpret_cast<LPCWCH>(b.data()), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

}  // namespace slotscope
