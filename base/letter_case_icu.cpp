// Letter case through ICU's simple upper-case mapping, on Linux. Each UTF-16 unit is mapped as
// Windows' file systems map them; letters outside the first plane keep their case.

#include <unicode/uchar.h>

#include <algorithm>

#include "base/letter_case.h"

namespace slotscope {

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char16_t x, char16_t y) {
        return x == y || u_toupper(x) == u_toupper(y);
    });
}

}  // namespace slotscope
