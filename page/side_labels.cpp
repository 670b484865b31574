#include "page/side_labels.h"

#include <string>

namespace slotscope {
namespace {

std::u16string Numbered(std::u16string_view side, int number) {
    const std::string digits = std::to_string(number);
    return std::u16string(side) + std::u16string(digits.begin(), digits.end());
}

}  // namespace

PositionLabels SideLabels(const SideNames& names, const Block& first, const Block& second) {
    PositionLabels labels;
    const std::u16string_view secondPlain =
        second.listings > 0 ? names.secondWithout : names.secondEmpty;
    if (first.firstWithWebsite > 0) {
        labels.left = Numbered(names.first, first.firstWithWebsite);
        labels.right = secondPlain;
        return labels;
    }
    labels.left = first.listings > 0 ? names.firstWithout : names.firstEmpty;
    labels.right = second.firstWithWebsite > 0 ? Numbered(names.second, second.firstWithWebsite)
                                               : std::u16string(secondPlain);
    return labels;
}

}  // namespace slotscope
