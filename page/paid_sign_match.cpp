#include "page/paid_sign_match.h"

#include <algorithm>

#include "page/markup_space.h"

namespace slotscope {

SignMatcher::SignMatcher(const PaidSigns& signs) {
    for (const PaidSigns* table = &signs; table != nullptr; table = table->also) {
        Add(attributes_, table->attributes, attributeFirst_);
        Add(classTokens_, table->classTokens, classFirst_);
        Add(classPrefixes_, table->classPrefixes, classFirst_);
        Add(clickParts_, table->clickAddressParts, unused_);
        Add(clickStarts_, table->clickAddressStarts, unused_);
        Add(labels_, table->labels, unused_);
    }
    for (int byte = 0; byte < 256; ++byte) {
        if (classFirst_.test(static_cast<std::size_t>(byte))) {
            classFirstBytes_.push_back(static_cast<char>(byte));
        }
    }
}

const SignMatcher& SignMatcher::Desktop() {
    static const SignMatcher matcher(kDesktopSigns);
    return matcher;
}

const SignMatcher& SignMatcher::Phone() {
    static const SignMatcher matcher(kPhoneSigns);
    return matcher;
}

bool SignMatcher::IsSign(std::string_view element, std::string_view name,
                         std::string_view value) const {
    if (name.empty()) {
        return false;
    }
    if (name == "class") {
        return HasSignClass(value);
    }
    if (attributeFirst_.test(static_cast<unsigned char>(name[0])) &&
        std::ranges::find(attributes_, name) != attributes_.end()) {
        return true;
    }
    return name == "href" && element == "a" && IsClickAddress(value);
}

bool SignMatcher::IsLabel(std::string_view text) const {
    return std::ranges::find(labels_, text) != labels_.end();
}

void SignMatcher::Add(std::vector<std::string_view>& to, std::span<const std::string_view> from,
                      Set& first) {
    for (const std::string_view text : from) {
        to.push_back(text);
        if (!text.empty()) {
            first.set(static_cast<unsigned char>(text[0]));
        }
    }
}

// Looks only where a token begins with a byte some sign begins with: the search for those few
// bytes is the C library's, fast over long lists of classes.
bool SignMatcher::HasSignClass(std::string_view classes) const {
    for (const char first : classFirstBytes_) {
        for (std::size_t at = classes.find(first); at != std::string_view::npos;
             at = classes.find(first, at + 1)) {
            if (at > 0 && !IsMarkupSpace(classes[at - 1])) {
                continue;
            }
            std::size_t end = at;
            while (end < classes.size() && !IsMarkupSpace(classes[end])) {
                ++end;
            }
            const std::string_view token = classes.substr(at, end - at);
            if (std::ranges::find(classTokens_, token) != classTokens_.end() ||
                std::ranges::any_of(classPrefixes_,
                                    [&](std::string_view p) { return token.starts_with(p); })) {
                return true;
            }
        }
    }
    return false;
}

bool SignMatcher::IsClickAddress(std::string_view href) const {
    return std::ranges::any_of(
               clickParts_,
               [&](std::string_view part) { return href.find(part) != std::string_view::npos; }) ||
           std::ranges::any_of(clickStarts_,
                               [&](std::string_view start) { return href.starts_with(start); });
}

}  // namespace slotscope
