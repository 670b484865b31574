#include "page/result_page.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "base/ascii.h"
#include "base/text_codec.h"
#include "page/column_layout.h"
#include "page/listing_text.h"
#include "page/own_site.h"
#include "page/shown_site.h"

namespace slotscope {
namespace {

constexpr auto npos = std::u16string_view::npos;

constexpr std::u16string_view kTableStart = u"<table id=\"";  // then 300k or 400k
constexpr std::u16string_view kDivStart = u"<div id=\"bdfs";  // then j
constexpr std::u16string_view kPresenceTail = u"\" ";         // after 3001, 4001 and bdfs0
constexpr std::u16string_view kTableEnd = u"</table>";
constexpr std::u16string_view kDivEnd = u"</div>";

constexpr int kLayoutAListings = 10;
constexpr int kLayoutBListings = 4;
constexpr int kRightListings = 8;

bool MatchesAt(std::u16string_view text, std::size_t at, std::u16string_view marker) {
    return text.size() - at >= marker.size() && text.compare(at, marker.size(), marker) == 0;
}

// A listing-start marker: whether it occurs in any letter case, and where it first occurs
// exactly (the cut's start).
struct MarkerHits {
    bool anyCase = false;
    std::size_t exact = npos;

    void Record(std::size_t at, bool isExact) {
        anyCase = true;
        if (isExact && exact == npos) {
            exact = at;
        }
    }
};

// Everything the analysis asks of the page's markers, gathered in one pass.
struct PageMarkers {
    bool layoutA = false;                                   // <table id="3001"  in any case
    bool layoutB = false;                                   // <table id="4001"  in any case
    bool rightBlock = false;                                // <div id="bdfs0"  in any case
    std::array<MarkerHits, kLayoutAListings + 1> tableA{};  // index k = <table id="300k
    std::array<MarkerHits, kLayoutBListings + 1> tableB{};  // index k = <table id="400k
    std::array<MarkerHits, kRightListings> right{};         // index j = <div id="bdfsj
};

// Whether `start` stands at `at` in any letter case, with room for `more` characters after it.
bool MarkerStartAt(std::u16string_view page, std::size_t at, std::u16string_view start,
                   std::size_t more) {
    return page.size() - at >= start.size() + more &&
           ascii::EqualsLower(page.substr(at, start.size()), start);
}

void ScanTableMarker(std::u16string_view page, std::size_t at, PageMarkers& markers) {
    // <table id=" then 300 or 400 then the listing number.
    constexpr std::size_t digitsAt = kTableStart.size();
    if (!MarkerStartAt(page, at, kTableStart, 4)) {
        return;
    }
    const char16_t series = page[at + digitsAt];
    if ((series != u'3' && series != u'4') || page[at + digitsAt + 1] != u'0' ||
        page[at + digitsAt + 2] != u'0') {
        return;
    }
    const char16_t k = page[at + digitsAt + 3];
    if (k < u'1' || k > u'9') {
        return;
    }
    const bool exact = page.compare(at, digitsAt, kTableStart) == 0;
    const std::size_t after = at + digitsAt + 4;
    const bool isA = series == u'3';
    if (isA) {
        markers.tableA[k - u'0'].Record(at, exact);
    } else if (k - u'0' <= kLayoutBListings) {
        markers.tableB[k - u'0'].Record(at, exact);
    }
    if (k != u'1') {
        return;
    }
    if (isA && after < page.size() && page[after] == u'0') {
        markers.tableA[kLayoutAListings].Record(at, exact);
    }
    if (MatchesAt(page, after, kPresenceTail)) {
        (isA ? markers.layoutA : markers.layoutB) = true;
    }
}

void ScanDivMarker(std::u16string_view page, std::size_t at, PageMarkers& markers) {
    constexpr std::size_t digitAt = kDivStart.size();
    if (!MarkerStartAt(page, at, kDivStart, 1)) {
        return;
    }
    const char16_t j = page[at + digitAt];
    if (j < u'0' || j >= u'0' + kRightListings) {
        return;
    }
    markers.right[j - u'0'].Record(at, page.compare(at, digitAt, kDivStart) == 0);
    if (j == u'0' && MatchesAt(page, at + digitAt + 1, kPresenceTail)) {
        markers.rightBlock = true;
    }
}

// Whether any of four UTF-16 units (one word) is '<'.
bool HasLessThan4(const char16_t* at) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    constexpr std::uint64_t kLessThans = 0x003C003C003C003C;
    constexpr std::uint64_t kOnes = 0x0001000100010001;
    constexpr std::uint64_t kTops = 0x8000800080008000;
    const std::uint64_t zeroWhereLessThan = word ^ kLessThans;
    return ((zeroWhereLessThan - kOnes) & ~zeroWhereLessThan & kTops) != 0;
}

PageMarkers ScanPage(std::u16string_view page) {
    PageMarkers markers;
    const std::size_t size = page.size();
    for (std::size_t at = 0; at < size; ++at) {
        // Markup is mostly text between tags: eight units at a time up to the next '<'.
        while (at + 8 <= size && !HasLessThan4(page.data() + at) &&
               !HasLessThan4(page.data() + at + 4)) {
            at += 8;
        }
        if (at >= size || page[at] != u'<' || at + 1 == size) {
            continue;
        }
        const char16_t next = ascii::Lower(page[at + 1]);
        if (next == u't') {
            ScanTableMarker(page, at, markers);
        } else if (next == u'd') {
            ScanDivMarker(page, at, markers);
        }
    }
    return markers;
}

// The first occurrence of a marker at or after a position, remembering the last answer: the
// listings are cut in page order, so most queries fall inside the last answered stretch and a
// page without the end marker is searched to its end only once.
class NextOccurrence final {
  public:
    NextOccurrence(std::u16string_view text, std::u16string_view marker)
        : text_(text), marker_(marker) {}

    std::size_t From(std::size_t from) {
        if (from_ != npos && from >= from_ && (found_ == npos || from <= found_)) {
            return found_;
        }
        from_ = from;
        found_ = text_.find(marker_, from);
        return found_;
    }

  private:
    std::u16string_view text_;
    std::u16string_view marker_;
    std::size_t from_ = npos;
    std::size_t found_ = npos;
};

// strCut(page, marker, end, 2) for a marker of the given length whose first exact occurrence is
// already known.
std::u16string_view CutListing(std::u16string_view page, const MarkerHits& hits,
                               std::size_t markerLength, NextOccurrence& end) {
    // A marker absent in this exact case makes the cut start at 0-based markerLength - 1.
    const std::size_t s = hits.exact == npos ? markerLength - 1 : hits.exact + markerLength;
    if (s >= page.size()) {
        return {};
    }
    const std::size_t e = end.From(s);
    return e == npos ? std::u16string_view{} : page.substr(s, e - s);
}

std::u16string Numbered(std::u16string_view side, int number) {
    std::u16string label(side);
    if (number >= 10) {
        label += static_cast<char16_t>(u'0' + number / 10);
    }
    label += static_cast<char16_t>(u'0' + number % 10);
    return label;
}

PositionLabels ReadTableLayout(std::u16string_view PageText, const PageMarkers& markers,
                               std::u16string_view website);
ShownAds TableLayoutAds(std::u16string_view PageText, const PageMarkers& markers);
ShownSites SitesOf(const ShownAds& ads);

// Whether the page, as parser input, is read by the table layout's markers: the presence test of
// ScanPage, over UTF-8, where the C library finds each '<' fast.
bool HasTableLayout(std::string_view input) {
    constexpr std::string_view table = "<table id=\"";
    constexpr std::string_view div = "<div id=\"bdfs";
    for (std::size_t at = input.find('<'); at != std::string_view::npos;
         at = input.find('<', at + 1)) {
        if (ascii::StartsWithLower(input.substr(at), table)) {
            const std::string_view rest = input.substr(at + table.size());
            if (rest.starts_with("3001\" ") || rest.starts_with("4001\" ")) {
                return true;
            }
        } else if (ascii::StartsWithLower(input.substr(at), div) &&
                   input.substr(at + div.size()).starts_with("0\" ")) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<bool> IsResultPage(std::u16string_view PageText) {
    const PageMarkers markers = ScanPage(PageText);
    if (markers.layoutA || markers.layoutB || markers.rightBlock) {
        return true;
    }
    return HasResultOutline(PageText);
}

PageCheck CheckResultPage(std::u16string_view PageText, std::u16string_view website,
                          PageKind kind) {
    return CheckResultPage(PageText, EncodeUtf8WithoutNul(PageText), website, kind);
}

PageCheck CheckResultPage(std::u16string_view PageText, std::string_view input,
                          std::u16string_view website, PageKind kind) {
    std::optional<LayoutReading> reading;
    if (kind == PageKind::Phone) {
        reading = ReadPhoneLayout(input, website);
    } else if (HasTableLayout(input)) {
        const PageMarkers markers = ScanPage(PageText);
        ShownAds ads = TableLayoutAds(PageText, markers);
        ShownSites sites = SitesOf(ads);
        return {PageCheck::Outcome::Read, ReadTableLayout(PageText, markers, website),
                std::move(sites), std::move(ads)};
    } else {
        reading = ReadColumnLayout(input, website);
    }
    if (!reading) {
        return {PageCheck::Outcome::Unreadable, {}, {}, {}};
    }
    if (!reading->resultPage) {
        return {PageCheck::Outcome::NotResultPage, {}, {}, {}};
    }
    return {PageCheck::Outcome::Read, std::move(reading->labels), std::move(reading->sites),
            std::move(reading->ads)};
}

std::optional<PositionLabels> AnalyzeResultPage(std::u16string_view PageText,
                                                std::u16string_view website) {
    const PageMarkers markers = ScanPage(PageText);
    if (!markers.layoutA && !markers.layoutB && !markers.rightBlock) {
        // Only a page that names a column can have one; others need no parse.
        if (PageText.find(u"content_left") == npos && PageText.find(u"content_right") == npos) {
            return PositionLabels{u"左侧无推广位", u"右无推广位"};
        }
        const std::optional<LayoutReading> reading =
            ReadColumnLayout(EncodeUtf8WithoutNul(PageText), website);
        if (!reading) {
            return std::nullopt;
        }
        return reading->labels;
    }
    return ReadTableLayout(PageText, markers, website);
}

namespace {

// A listing cut from the table layout: the site it shows, its title and its text.
ListingAd TableListing(std::u16string_view block) {
    std::string address;
    std::string site = FindLandingAddress(block, address) ? SiteOfAddress(address) : std::string();
    return ListingAdOfMarkup(site.empty() ? SiteInMarkup(block) : std::move(site), block);
}

// The left listings' markers of the table layout in use: layout A's ten, else layout B's four,
// else none (count 0). Listing k's hits are hits[k].
struct LeftListings {
    const MarkerHits* hits = nullptr;
    int count = 0;
};

LeftListings LeftListingsOf(const PageMarkers& markers) {
    if (markers.layoutA) {
        return {markers.tableA.data(), kLayoutAListings};
    }
    if (markers.layoutB) {
        return {markers.tableB.data(), kLayoutBListings};
    }
    return {};
}

// The length of <table id="300k or <table id="400k for listing k.
std::size_t TableMarkerLength(int k) {
    return kTableStart.size() + 3 + (k >= 10 ? 2 : 1);
}

// Every listing of a page with the table layout's markers, cut as the labels cut them: the
// listings the labels count, whether or not they hold the website.
ShownAds TableLayoutAds(std::u16string_view PageText, const PageMarkers& markers) {
    NextOccurrence tableEnd(PageText, kTableEnd);
    NextOccurrence divEnd(PageText, kDivEnd);
    ShownAds ads;
    const LeftListings left = LeftListingsOf(markers);
    for (int k = 1; k <= left.count; ++k) {
        if (left.hits[k].anyCase) {
            ads.left.push_back(
                TableListing(CutListing(PageText, left.hits[k], TableMarkerLength(k), tableEnd)));
        }
    }
    if (markers.rightBlock) {
        for (int j = 0; j < kRightListings; ++j) {
            if (markers.right[j].anyCase) {
                ads.right.push_back(TableListing(
                    CutListing(PageText, markers.right[j], kDivStart.size() + 1, divEnd)));
            }
        }
    }
    return ads;
}

ShownSites SitesOf(const ShownAds& ads) {
    ShownSites sites;
    for (const ListingAd& ad : ads.left) {
        sites.left.push_back(ad.site);
    }
    for (const ListingAd& ad : ads.right) {
        sites.right.push_back(ad.site);
    }
    return sites;
}

// The right-hand label: the first right listing that holds the website, or whether there are
// right listings at all.
std::u16string RightLabel(std::u16string_view PageText, const PageMarkers& markers,
                          std::u16string_view website, NextOccurrence& divEnd) {
    if (!markers.rightBlock) {
        return u"右无推广位";
    }
    std::u16string label = u"右无推广位";
    for (int j = 0; j < kRightListings; ++j) {
        if (!markers.right[j].anyCase) {
            continue;
        }
        const auto block = CutListing(PageText, markers.right[j], kDivStart.size() + 1, divEnd);
        if (HoldsSite(block, website)) {
            return Numbered(u"右", j + 1);
        }
        label = u"右无";
    }
    return label;
}

// The labels of a page with the table layout's markers.
PositionLabels ReadTableLayout(std::u16string_view PageText, const PageMarkers& markers,
                               std::u16string_view website) {
    NextOccurrence tableEnd(PageText, kTableEnd);
    NextOccurrence divEnd(PageText, kDivEnd);

    // The right-hand result depends only on the page and the website, so it is worked out once
    // however many left listings ask for it.
    std::optional<std::u16string> rightScan;
    const auto scanRight = [&]() -> std::u16string {
        if (!rightScan) {
            rightScan = RightLabel(PageText, markers, website, divEnd);
        }
        return *rightScan;
    };

    PositionLabels labels;
    const LeftListings left = LeftListingsOf(markers);
    if (left.count == 0) {
        labels.left = u"左侧无推广位";
        labels.right = scanRight();
        return labels;
    }
    for (int k = 1; k <= left.count; ++k) {
        if (!left.hits[k].anyCase) {
            continue;
        }
        const auto block = CutListing(PageText, left.hits[k], TableMarkerLength(k), tableEnd);
        if (HoldsSite(block, website)) {
            labels.left = Numbered(u"左", k);
            labels.right = markers.rightBlock ? u"右无" : u"右无推广位";
            return labels;
        }
        labels.left = u"左无";
        labels.right = scanRight();
    }
    return labels;
}

}  // namespace

}  // namespace slotscope
