#pragma once

// Letter case as file names see it.

#include <string_view>

namespace slotscope {

// Whether two texts differ at most in letter case, in any script, as Windows compares file names
// (character by character, without expanding one letter into several).
bool SameIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace slotscope
