#include "page/column_reader.h"

#include <libxml/HTMLtree.h>

#include <algorithm>
#include <array>
#include <utility>

#include "page/markup_space.h"
#include "page/shown_site.h"

namespace slotscope {
namespace {

// Elements whose children stand in for them as entries of a column.
bool LooksThrough(std::string_view element) {
    return element == "table" || element == "tbody" || element == "thead" || element == "tfoot" ||
           element == "tr" || element == "td";
}

// Elements a browser does not draw: no entry of a list, paid or not.
bool ShowsNothing(std::string_view element) {
    return element == "script" || element == "style" || element == "template" ||
           element == "link" || element == "meta";
}

bool IsHeading(std::string_view element) {
    return element.size() == 2 && element[0] == 'h' && element[1] >= '1' && element[1] <= '6';
}

}  // namespace

std::vector<std::string> Block::sites() const {
    std::vector<std::string> sites;
    sites.reserve(ads.size());
    for (const ListingAd& ad : ads) {
        sites.push_back(ad.site);
    }
    return sites;
}

Block ColumnReader::all() const {
    Block all{top_.listings + bottom_.listings, top_.firstWithWebsite, top_.ads};
    if (all.firstWithWebsite == 0 && bottom_.firstWithWebsite > 0) {
        all.firstWithWebsite = top_.listings + bottom_.firstWithWebsite;
    }
    all.ads.insert(all.ads.end(), bottom_.ads.begin(), bottom_.ads.end());
    return all;
}

void ColumnReader::Begin(std::size_t depth) {
    state_ = State::Open;
    columnDepth_ = depth;
    chainDepth_ = depth;
}

void ColumnReader::OnStart(std::size_t depth, std::string_view element, SaxAttributes attributes) {
    if (entryDepth_ == 0) {
        if (depth != chainDepth_ + 1) {
            return;
        }
        if (LooksThrough(element)) {
            chainDepth_ = depth;
            return;
        }
        if (ShowsNothing(element)) {
            return;  // a script between the entries is no entry
        }
        BeginEntry(depth);
    }
    Examine(element, attributes);
    WatchTitle(depth, element);
    if (BreaksLine(element)) {
        Break();
        breakDepths_.push_back(depth);
    }
    if (element == "span" || element == "a") {
        if (labelCandidates_.empty()) {
            // Text outside every candidate is not looked at: what it held before this one began
            // cannot change what this one reads as.
            scanned_ = text_.size();
            runEnd_ = kNoRun;
        }
        labelCandidates_.push_back({depth, nonSpaceCount_, text_.size()});
    }
}

void ColumnReader::OnEnd(std::size_t depth) {
    if (entryDepth_ != 0) {
        if (!breakDepths_.empty() && breakDepths_.back() == depth) {
            breakDepths_.pop_back();
            Break();
        }
        if (!labelCandidates_.empty() && labelCandidates_.back().depth == depth) {
            if (ReadsAsAdLabel(labelCandidates_.back())) {
                paid_ = true;
                if (label_.empty()) {
                    label_ = {labelCandidates_.back().textStart, text_.size()};
                }
            }
            labelCandidates_.pop_back();
        }
        if (depth == titleDepth_) {
            title_.end = text_.size();
            titleDepth_ = 0;
        }
        if (depth == linkDepth_) {
            linkDepth_ = 0;
        }
        if (depth == headingDepth_) {
            headingDepth_ = 0;
        }
        if (depth == entryDepth_) {
            EndEntry();
        }
    } else if (depth == chainDepth_ && depth > columnDepth_) {
        chainDepth_ = depth - 1;
    }
    if (depth == columnDepth_) {
        state_ = State::Closed;
    }
}

void ColumnReader::OnText(std::string_view text) {
    if (entryDepth_ == 0) {
        return;
    }
    text_.append(text);
    if (!labelCandidates_.empty()) {
        ScanNewText();
    }
}

void ColumnReader::BeginEntry(std::size_t depth) {
    entryDepth_ = depth;
    paid_ = false;
    websiteInAttributes_ = false;
    landingAddress_.reset();
    text_.clear();
    breaks_.clear();
    breakDepths_.clear();
    scanned_ = 0;
    nonSpaceCount_ = 0;
    runStart_ = 0;
    nonSpaceBeforeRun_ = 0;
    runEnd_ = 0;
    labelCandidates_.clear();
    title_ = {};
    titleInHeading_ = false;
    titleDepth_ = 0;
    linkDepth_ = 0;
    headingDepth_ = 0;
    label_ = {};
}

void ColumnReader::EndEntry() {
    if (paid_) {
        Block& block = unpaidSeen_ ? bottom_ : top_;
        ++block.listings;
        if (block.firstWithWebsite == 0 && (websiteInAttributes_ || website_.In(text_, breaks_))) {
            block.firstWithWebsite = block.listings;
        }
        std::string site = landingAddress_ ? SiteOfAddress(*landingAddress_) : std::string();
        if (site.empty()) {
            site = SiteInText(text_);
        }
        if (titleDepth_ != 0) {
            title_.end = text_.size();  // a title the entry's end closes
        }
        block.ads.push_back(ListingAdOf(std::move(site), text_, breaks_, title_, label_));
    } else {
        unpaidSeen_ = true;
    }
    entryDepth_ = 0;
    text_.clear();
    labelCandidates_.clear();
}

// Marks where the title begins: at the entry's first link, or at a link in a heading or a heading
// in a link, which wins over the first link.
void ColumnReader::WatchTitle(std::size_t depth, std::string_view element) {
    const bool link = element == "a";
    if (!link && !IsHeading(element)) {
        return;
    }
    const bool inHeading = link ? headingDepth_ != 0 : linkDepth_ != 0;
    if (inHeading ? !titleInHeading_ : title_.empty() && titleDepth_ == 0) {
        title_ = {text_.size(), text_.size()};
        titleDepth_ = depth;
        titleInHeading_ = inHeading;
    }
    std::size_t& open = link ? linkDepth_ : headingDepth_;
    if (open == 0) {
        open = depth;
    }
}

// The entry's text breaks into a new line where it now ends.
void ColumnReader::Break() {
    if (breaks_.empty() || breaks_.back() != text_.size()) {
        breaks_.push_back(text_.size());
    }
}

void ColumnReader::Examine(std::string_view element, SaxAttributes attributes) {
    if (attributes == nullptr) {
        return;
    }
    for (SaxAttributes at = attributes; *at != nullptr; at += 2) {
        const std::string_view name = View(at[0]);
        // A boolean attribute written without a value (<option selected>) has its name as its
        // value, as in the document tree the parser builds.
        const std::string_view value =
            at[1] == nullptr && htmlIsBooleanAttr(at[0]) != 0 ? name : View(at[1]);
        if (!paid_ && signs_.IsSign(element, name, value)) {
            paid_ = true;
        }
        if (!websiteInAttributes_ && website_.In(value)) {
            websiteInAttributes_ = true;
        }
        if (!landingAddress_ && name == "data-landurl") {
            landingAddress_ = std::string(value);
        }
    }
}

// Classifies the characters appended to the entry's text since the last call, keeping count of
// the non-space characters and where the latest run of them lies.
void ColumnReader::ScanNewText() {
    const std::size_t size = text_.size();
    while (scanned_ < size) {
        const auto lead = static_cast<unsigned char>(text_[scanned_]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (scanned_ + length > size) {
            return;  // the rest of the character comes with the next text
        }
        const std::string_view character(text_.data() + scanned_, length);
        const bool space = (length == 1 && IsMarkupSpace(character[0])) || character == "\u00A0" ||
                           character == "\u3000";
        if (!space) {
            if (runEnd_ != scanned_ || nonSpaceCount_ == 0) {
                runStart_ = scanned_;
                nonSpaceBeforeRun_ = nonSpaceCount_;
            }
            ++nonSpaceCount_;
            runEnd_ = scanned_ + length;
        }
        scanned_ += length;
    }
}

// Whether the candidate's text, trimmed of white space, is exactly one of the ad labels: its
// non-space characters must be one unbroken run, begun inside it.
bool ColumnReader::ReadsAsAdLabel(const LabelCandidate& candidate) const {
    const std::size_t count = nonSpaceCount_ - candidate.nonSpaceBefore;
    if (count == 0 || count > kMaxLabelCharacters ||
        nonSpaceBeforeRun_ > candidate.nonSpaceBefore) {
        return false;
    }
    const std::size_t start =
        nonSpaceBeforeRun_ == candidate.nonSpaceBefore ? runStart_ : candidate.textStart;
    const std::string_view trimmed(text_.data() + start, runEnd_ - start);
    return signs_.IsLabel(trimmed);
}

}  // namespace slotscope
