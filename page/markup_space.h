#pragma once

#include <string_view>

namespace slotscope {

// HTML's white space: what separates class tokens and what a title is trimmed of.
constexpr bool IsMarkupSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Trims HTML white space, U+00A0 and U+3000 from both ends of UTF-8 text.
constexpr std::string_view TrimSpace(std::string_view text) {
    for (;;) {
        if (!text.empty() && IsMarkupSpace(text.front())) {
            text.remove_prefix(1);
        } else if (!text.empty() && IsMarkupSpace(text.back())) {
            text.remove_suffix(1);
        } else if (text.starts_with("\u00A0")) {
            text.remove_prefix(2);
        } else if (text.ends_with("\u00A0")) {
            text.remove_suffix(2);
        } else if (text.starts_with("\u3000") || text.ends_with("\u3000")) {
            text = text.starts_with("\u3000") ? text.substr(3) : text.substr(0, text.size() - 3);
        } else {
            return text;
        }
    }
}

}  // namespace slotscope
