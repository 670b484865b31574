#pragma once

#include <array>
#include <span>
#include <string_view>

namespace slotscope {

// What marks an entry of today's result pages as a paid listing: the entry, or an element inside
// it, shows one of these. Baidu changes them with its markup, and each kind of page has its own
// table here; nothing else in the program knows them.
struct PaidSigns {
    // Attributes whose presence alone is a sign. The HTML parser gives names in lower case, so
    // they match in any case on the page.
    std::span<const std::string_view> attributes;
    // Class tokens, compared case-sensitively as browsers do: whole tokens, and token beginnings.
    std::span<const std::string_view> classTokens;
    std::span<const std::string_view> classPrefixes;
    // A link whose address contains one of these, or begins with one of the second list.
    std::span<const std::string_view> clickAddressParts;
    std::span<const std::string_view> clickAddressStarts;
    // A span or link whose text, trimmed of white space, is exactly one of these.
    std::span<const std::string_view> labels;
    // Another table whose signs count too.
    const PaidSigns* also = nullptr;
};

namespace signs {

inline constexpr std::array<std::string_view, 6> kDesktopAttributes = {
    "data-tuiguang", "data-landurl", "cmatchid", "data-cmatchid", "data-placeid", "data-bidword"};
inline constexpr std::array<std::string_view, 4> kDesktopClassPrefixes = {
    "ec-tuiguang", "ec_tuiguang", "EC_result", "ec-pc-huanxin"};
inline constexpr std::array<std::string_view, 1> kClickAddressParts = {"baidu.com/baidu.php?"};
inline constexpr std::array<std::string_view, 1> kClickAddressStarts = {"/baidu.php?"};
inline constexpr std::array<std::string_view, 2> kLabels = {"广告", "商业推广"};

inline constexpr std::array<std::string_view, 7> kPhoneClassTokens = {
    "ec_wise_ad",      "ec_ad_results", "ec_resitem",     "ec_wise_pp",
    "ec-result-inner", "ecfc-tuiguang", "ec_youxuan_card"};
inline constexpr std::array<std::string_view, 1> kPhoneClassPrefixes = {"ec_r_"};

}  // namespace signs

// The desktop page's columns, content_left and content_right.
inline constexpr PaidSigns kDesktopSigns{
    .attributes = signs::kDesktopAttributes,
    .classTokens = {},
    .classPrefixes = signs::kDesktopClassPrefixes,
    .clickAddressParts = signs::kClickAddressParts,
    .clickAddressStarts = signs::kClickAddressStarts,
    .labels = signs::kLabels,
};

// The phone page's list: its own classes, and every desktop sign.
inline constexpr PaidSigns kPhoneSigns{
    .attributes = {},
    .classTokens = signs::kPhoneClassTokens,
    .classPrefixes = signs::kPhoneClassPrefixes,
    .clickAddressParts = {},
    .clickAddressStarts = {},
    .labels = {},
    .also = &kDesktopSigns,
};

}  // namespace slotscope
