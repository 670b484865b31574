#pragma once

// A paid listing's title and text, as ListingAd holds them, from the listing's text as a reader
// gathered it (today's layouts) or from its markup (the table layout).

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "page/result_page.h"

namespace slotscope {

// The most characters a listing's title or text keeps: a listing shows far fewer, and no page
// can fill the history with one.
inline constexpr std::size_t kLongestListingText = 200;

// Elements that begin and end a line of their own where a browser draws them: their text does
// not run on into the text around them.
bool BreaksLine(std::string_view element);

// A stretch of a listing's text, as byte offsets [begin, end).
struct TextRange {
    std::size_t begin = 0;
    std::size_t end = 0;

    bool empty() const { return end <= begin; }
};

// The listing whose text is `text` (UTF-8) with line breaks at `breaks` (offsets, in order),
// its title at `title` and its "广告" label at `label` (either may be empty).
ListingAd ListingAdOf(std::string site, std::string_view text, std::span<const std::size_t> breaks,
                      TextRange title, TextRange label);

// The listing cut from the table layout, its markup beginning inside its own start tag: the title
// is its first link's text, character references decoded as the HTML parser decodes them, and
// script and style are no text.
ListingAd ListingAdOfMarkup(std::string site, std::u16string_view markup);

}  // namespace slotscope
