#include "page/website_search.h"

#include <algorithm>

#include "base/ascii.h"
#include "page/own_site.h"

namespace slotscope {

WebsiteSearch::WebsiteSearch(std::string_view lowerWebsite) : needle_(lowerWebsite) {
    const std::size_t length = needle_.size();
    shift_.fill(length);
    for (std::size_t i = 0; i + 1 < length; ++i) {
        const char c = needle_[i];
        shift_[static_cast<unsigned char>(c)] = length - 1 - i;
        if (c >= 'a' && c <= 'z') {
            shift_[static_cast<unsigned char>(c - ('a' - 'A'))] = length - 1 - i;
        }
    }
}

bool WebsiteSearch::In(std::string_view text, std::span<const std::size_t> breaks) const {
    const std::size_t length = needle_.size();
    if (length == 0) {
        return true;
    }
    const char last = needle_[length - 1];
    for (std::size_t end = length - 1; end < text.size();
         end += shift_[static_cast<unsigned char>(text[end])]) {
        if (ascii::Lower(text[end]) != last) {
            continue;
        }
        const std::size_t start = end + 1 - length;
        std::size_t k = 0;
        while (k + 1 < length && ascii::Lower(text[start + k]) == needle_[k]) {
            ++k;
        }
        if (k + 1 != length) {
            continue;
        }
        // The site is looked at on its line: one on two lines is none.
        const auto next = std::upper_bound(breaks.begin(), breaks.end(), start);
        const std::size_t lineStart = next == breaks.begin() ? 0 : *(next - 1);
        const std::size_t lineEnd = next == breaks.end() ? text.size() : *next;
        if (end + 1 <= lineEnd &&
            StandsAlone(text.substr(lineStart, lineEnd - lineStart), start - lineStart, length)) {
            return true;
        }
    }
    return false;
}

}  // namespace slotscope
