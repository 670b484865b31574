#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "page/html_sax.h"
#include "page/listing_text.h"
#include "page/paid_sign_match.h"
#include "page/website_search.h"

namespace slotscope {

// The paid listings of a run of a list's entries: how many, the first (from 1) that holds the
// website (0 for none), and each one's site, title and text.
struct Block {
    int listings = 0;
    int firstWithWebsite = 0;
    std::vector<ListingAd> ads;

    std::vector<std::string> sites() const;
};

// One list of entries (a column, the phone page's list): finds its entries among the elements the
// parser reports, decides which are paid listings and which of those hold the website. The paid
// entries before the first unpaid one are its top block, the later ones its bottom block. Entries
// are told apart by depth alone, so the work per element is constant however deep the page nests.
class ColumnReader final {
  public:
    ColumnReader(const WebsiteSearch& website, const SignMatcher& signs)
        : website_(website), signs_(signs) {}

    bool open() const { return state_ == State::Open; }
    bool closed() const { return state_ == State::Closed; }
    bool seen() const { return state_ != State::NotSeen; }
    const Block& top() const { return top_; }
    const Block& bottom() const { return bottom_; }
    // The list's paid listings as one run, top and bottom together.
    Block all() const;

    // The list is the element that starts at `depth`.
    void Begin(std::size_t depth);

    // The parser's events while the list is open, with the depth of the element.
    void OnStart(std::size_t depth, std::string_view element, SaxAttributes attributes);
    void OnEnd(std::size_t depth);
    void OnText(std::string_view text);

  private:
    enum class State { NotSeen, Open, Closed };

    // A span or link inside the entry that may turn out to read "广告": where its text begins.
    struct LabelCandidate {
        std::size_t depth;
        std::size_t nonSpaceBefore;  // non-space characters of the entry before it
        std::size_t textStart;       // byte offset in the entry's text
    };

    void BeginEntry(std::size_t depth);
    void EndEntry();
    void Break();
    void Examine(std::string_view element, SaxAttributes attributes);
    void WatchTitle(std::size_t depth, std::string_view element);
    void ScanNewText();
    bool ReadsAsAdLabel(const LabelCandidate& candidate) const;

    static constexpr std::size_t kNoRun = static_cast<std::size_t>(-1);
    // Longer than any label: not worth comparing.
    static constexpr std::size_t kMaxLabelCharacters = 8;

    const WebsiteSearch& website_;
    const SignMatcher& signs_;
    State state_ = State::NotSeen;
    std::size_t columnDepth_ = 0;
    std::size_t chainDepth_ = 0;  // deepest open element of the column's looked-through chain
    Block top_;
    Block bottom_;
    bool unpaidSeen_ = false;

    // The entry under way (entryDepth_ 0: none).
    std::size_t entryDepth_ = 0;
    bool paid_ = false;
    bool websiteInAttributes_ = false;
    std::optional<std::string> landingAddress_;  // the first data-landurl value
    std::string text_;                           // all its text, without script and style contents
    std::vector<std::size_t> breaks_;            // where text_ breaks into a new line, in order
    std::vector<std::size_t> breakDepths_;       // the open elements that break it when they end
    std::size_t scanned_ = 0;
    std::size_t nonSpaceCount_ = 0;
    std::size_t runStart_ = 0;
    std::size_t nonSpaceBeforeRun_ = 0;
    std::size_t runEnd_ = 0;
    std::vector<LabelCandidate> labelCandidates_;
    // The title: the first link's text, unless a link in a heading or a heading in a link comes.
    TextRange title_;
    bool titleInHeading_ = false;
    std::size_t titleDepth_ = 0;    // the element whose end ends the title under way; 0: none
    std::size_t linkDepth_ = 0;     // the open link; 0: none
    std::size_t headingDepth_ = 0;  // the open heading; 0: none
    TextRange label_;               // the first "广告" label
};

}  // namespace slotscope
