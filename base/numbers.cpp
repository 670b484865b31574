#include "base/numbers.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace slotscope {

std::optional<int> WholeNumber(std::string_view text, int lowest, int highest) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < lowest ||
        value > highest) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> DecimalSeconds(std::string_view text, double lowest, double highest) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

}  // namespace slotscope
