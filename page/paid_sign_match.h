#pragma once

#include <bitset>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "page/paid_signs.h"

namespace slotscope {

// The signs of a kind of page, with every table it draws on merged, ready for the parser's
// callbacks: most attributes and class names are told apart from every sign by their first byte.
class SignMatcher final {
  public:
    explicit SignMatcher(const PaidSigns& signs);

    static const SignMatcher& Desktop();
    static const SignMatcher& Phone();

    // Whether an attribute of an element is a sign of a paid listing.
    bool IsSign(std::string_view element, std::string_view name, std::string_view value) const;

    // Whether a span's or link's trimmed text is an ad label.
    bool IsLabel(std::string_view text) const;

  private:
    using Set = std::bitset<256>;

    static void Add(std::vector<std::string_view>& to, std::span<const std::string_view> from,
                    Set& first);
    bool HasSignClass(std::string_view classes) const;
    bool IsClickAddress(std::string_view href) const;

    std::vector<std::string_view> attributes_;
    std::vector<std::string_view> classTokens_;
    std::vector<std::string_view> classPrefixes_;
    std::vector<std::string_view> clickParts_;
    std::vector<std::string_view> clickStarts_;
    std::vector<std::string_view> labels_;
    Set attributeFirst_;
    Set classFirst_;
    std::vector<char> classFirstBytes_;
    Set unused_;
};

}  // namespace slotscope
