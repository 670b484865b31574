#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "page/page_kind.h"

namespace slotscope {

// Where the website stands among a result page's paid listings, as the short labels the results
// file and the window show: "左2", "左无", "左侧无推广位" on the left; "右1", "右无", "右无推广位"
// on the right. On the phone's page, left is the top block ("上2", "上无", "上无推广位") and
// right the bottom block ("下1", "下无", "下无推广位").
struct PositionLabels {
    std::u16string left;
    std::u16string right;

    friend bool operator==(const PositionLabels&, const PositionLabels&) = default;
};

// Who holds the slots: the site each paid listing shows, in slot order, on the left (top) and
// on the right (bottom); the number of paid listings on a side is the number of its sites. A
// listing's site is the host of its first data-landurl attribute, else the first host-like word
// of its text (see shown_site.h).
struct ShownSites {
    std::vector<std::string> left;  // UTF-8
    std::vector<std::string> right;

    friend bool operator==(const ShownSites&, const ShownSites&) = default;
};

// A paid listing as the page shows it, in UTF-8: its site (as ShownSites has it), its title (the
// text of the link in its heading, or of the heading in its link, else of its first link) and its
// text (the rest of its text without the title, the shown address and the "广告" label, white
// space folded to single spaces). Title and text are at most kLongestListingText characters.
struct ListingAd {
    std::string site;
    std::string title;
    std::string text;

    friend bool operator==(const ListingAd&, const ListingAd&) = default;
};

// Every paid listing of a page, in slot order, on the left (top) and on the right (bottom).
struct ShownAds {
    std::vector<ListingAd> left;
    std::vector<ListingAd> right;

    friend bool operator==(const ShownAds&, const ShownAds&) = default;
};

// Finds the website among the paid listings of a result page, on the left and on the right.
//
// A page with the table layout (any of the markers <table id="3001" , <table id="4001" or
// <div id="bdfs0" , in any letter case) is read by its markers: the left listings of layout A,
// tables 3001..30010, or layout B, tables 4001..4004, and the right listings bdfs0..bdfs7.
// The website is the site as SiteToCheck gives it; a block holds it where it stands as a whole
// host name or the end of one, ignoring ASCII letter case (see HoldsSite). The listing blocks
// are cut case-sensitively, as strCut does. This reads one pass over the page, whatever the
// number of listings.
//
// Any other page is read as HTML by its columns, content_left and content_right (see
// column_layout.h); a page with neither has no listings.
//
// Returns nothing for a page that cannot be read (see AnalyzeColumnLayout): the caller must
// report the keyword as failed.
std::optional<PositionLabels> AnalyzeResultPage(std::u16string_view PageText,
                                                std::u16string_view website);

// Whether a fetched page is a search result page at all, so that its analysis means something:
// it has the table layout's markers, a content_left or content_right element, or a <title> that
// ends with "_百度搜索" or begins with "百度搜索_" (the page for a query without results has
// only that). An empty answer, a login wall or a script stub is none. Nothing when the page
// cannot be read as far as that: markup broken beyond any real page (see AnalyzeColumnLayout).
std::optional<bool> IsResultPage(std::u16string_view PageText);

// What a fetched page says, read once.
struct PageCheck {
    enum class Outcome {
        Read,           // labels hold where the website stands
        NotResultPage,  // an empty answer, a login wall, a script stub: nothing was checked
        Unreadable,     // markup broken beyond any real page
    };
    Outcome outcome = Outcome::Read;
    PositionLabels labels;
    ShownSites sites;
    ShownAds ads = {};
};

// Reads a fetched page of either kind in one pass: whether it is a result page (for the desktop
// as IsResultPage; for the phone, see ReadPhoneLayout) and, if so, its labels (for the desktop as
// AnalyzeResultPage).
PageCheck CheckResultPage(std::u16string_view PageText, std::u16string_view website, PageKind kind);
// The same, given also the page as the parser's input: `input` is EncodeUtf8WithoutNul(PageText).
PageCheck CheckResultPage(std::u16string_view PageText, std::string_view input,
                          std::u16string_view website, PageKind kind);

}  // namespace slotscope
