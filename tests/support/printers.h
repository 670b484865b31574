#pragma once

#include <optional>
#include <ostream>

#include "page/result_page.h"
#include "base/text_codec.h"

namespace slotscope {

// Labels as text in test failures, instead of their bytes.
inline void PrintTo(const PositionLabels& labels, std::ostream* out) {
    *out << "{" << EncodeUtf8(labels.left) << ", " << EncodeUtf8(labels.right) << "}";
}

inline void PrintTo(const std::optional<PositionLabels>& labels, std::ostream* out) {
    if (labels) {
        PrintTo(*labels, out);
    } else {
        *out << "(unreadable)";
    }
}

}  // namespace slotscope
