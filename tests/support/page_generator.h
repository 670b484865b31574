#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <string_view>

namespace slotscope::testing {

// Ordinary result-page markup without any listing marker, `size` characters long.
std::u16string FillerHtml(std::size_t size);

// The analysis's worst case: layout A with all ten listings, all eight right listings at the
// end of the page, and the website "absent.example" in none of them. About `size` characters.
std::u16string WorstCasePage(std::size_t size);

// A small result page with layout A listings 1..3 and, when `right` > 0 or asked for, right
// listings 0..2; `site` sits in left listing `left` and right listing `right` (1-based; 0 for
// nowhere), the other listings show "other.test".
std::u16string ListingsPage(std::u16string_view site, int left, int right,
                            bool withRightBlock = false);

// `head`, then 20,000 open elements and 100,000 end tags that close none of them: markup the
// HTML parser would work on for hours without its error budget.
std::u16string MisplacedEndTagsPage(std::u16string_view head);

struct GeneratedPage {
    std::u16string page;
    std::u16string website;
};

// A random small page mixing what the analysis must cope with: either layout, both, or none;
// markers in any letter case, with and without their trailing quote and space; listings missing
// their end marker; the website (in any case, or empty) in none, one or several blocks.
GeneratedPage RandomPage(std::mt19937& rng);

// A page in the column layout: `left` inside #content_left, `right` inside #content_right.
std::u16string ColumnPage(std::u16string_view left, std::u16string_view right = {});

// A 1 MB column-layout page built like today's result pages: organic results in both columns,
// 8 paid listings on the left (5 on top, 3 below the organic results) and 3 on the right, none
// of them showing "absent.example". About `size` characters.
std::u16string ColumnLayoutPage(std::size_t size);

// A phone result page: two paid listings on top, organic results (one, or as many as make the
// page about `size` characters, dense with links like ColumnLayoutPage), two paid listings at the
// bottom; `site` shows in top listing `top` and bottom listing `bottom` (1-based; 0 for
// nowhere), the others show "other.test".
std::u16string PhoneListingsPage(std::u16string_view site, int top, int bottom,
                                 std::size_t size = 0);

// A random small page of column-layout markup: columns (one, both, repeated, nested, in tables),
// the signs of paid listings and things that look like them, comments, scripts, character
// references, unclosed and misplaced tags, and the website in text and attributes.
GeneratedPage RandomColumnPage(std::mt19937& rng);

}  // namespace slotscope::testing
