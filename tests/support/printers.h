#pragma once

#include <optional>
#include <ostream>

#include "base/text_codec.h"
#include "page/result_page.h"

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
