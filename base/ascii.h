#pragma once

// ASCII character classes and case folding, for markup, host names and header values. Anything
// outside ASCII is left as it is.

#include <algorithm>
#include <string>
#include <string_view>

namespace slotscope::ascii {

template <typename Char>
constexpr Char Lower(Char c) {
    return c >= Char{'A'} && c <= Char{'Z'} ? static_cast<Char>(c + (Char{'a'} - Char{'A'})) : c;
}

template <typename Char>
constexpr bool IsLetter(Char c) {
    return (c >= Char{'a'} && c <= Char{'z'}) || (c >= Char{'A'} && c <= Char{'Z'});
}

template <typename Char>
constexpr bool IsDigit(Char c) {
    return c >= Char{'0'} && c <= Char{'9'};
}

// A letter, digit or hyphen: what a host name's labels are made of.
template <typename Char>
constexpr bool IsLabelCharacter(Char c) {
    return IsLetter(c) || IsDigit(c) || c == Char{'-'};
}

template <typename Char>
std::basic_string<Char> Lowered(std::basic_string_view<Char> text) {
    std::basic_string<Char> lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), Lower<Char>);
    return lowered;
}

inline std::string Lowered(std::string_view text) {
    return Lowered<char>(text);
}

// Whether `text` equals `lowerPattern` ignoring ASCII case; the pattern is in lower case.
template <typename Char>
constexpr bool EqualsLower(std::basic_string_view<Char> text,
                           std::basic_string_view<Char> lowerPattern) {
    return text.size() == lowerPattern.size() &&
           std::equal(text.begin(), text.end(), lowerPattern.begin(),
                      [](Char a, Char b) { return Lower(a) == b; });
}

inline constexpr bool EqualsLower(std::string_view text, std::string_view lowerPattern) {
    return EqualsLower<char>(text, lowerPattern);
}

// Whether `text` starts with `lowerPrefix` ignoring ASCII case; the prefix is in lower case.
inline constexpr bool StartsWithLower(std::string_view text, std::string_view lowerPrefix) {
    return text.size() >= lowerPrefix.size() &&
           EqualsLower(text.substr(0, lowerPrefix.size()), lowerPrefix);
}

}  // namespace slotscope::ascii
