#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace slotscope::testing {

// Ordinary result-page markup without any listing marker, `size` characters long.
std::u16string FillerHtml(std::size_t size);

// The analysis's worst case: layout A with all ten listings, all eight right listings at the
// end of the page, and the website "absent.example" in none of them. About `size` characters.
std::u16string WorstCasePage(std::size_t size);

struct GeneratedPage {
    std::u16string page;
    std::u16string website;
};

// A random small page mixing what the analysis must cope with: either layout, both, or none;
// markers in any letter case, with and without their trailing quote and space; listings missing
// their end marker; the website (in any case, or empty) in none, one or several blocks.
GeneratedPage RandomPage(std::mt19937& rng);

}  // namespace slotscope::testing
