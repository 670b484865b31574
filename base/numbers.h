#pragma once

// Numbers as a user types them: plain decimal digits, nothing before or after.

#include <optional>
#include <string_view>

namespace slotscope {

// A whole number from `lowest` to `highest`.
std::optional<int> WholeNumber(std::string_view text, int lowest, int highest);

// A number of seconds in decimal digits with at most one point ("2", "0.5"), from `lowest` to
// `highest`; no sign, exponent or white space.
std::optional<double> DecimalSeconds(std::string_view text, double lowest, double highest);

}  // namespace slotscope
