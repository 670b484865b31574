#include "page/column_layout.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/parser.h>

#include <algorithm>
#include <array>
#include <bit>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "page/own_site.h"
#include "page/paid_signs.h"
#include "page/shown_site.h"

namespace slotscope {
namespace {

constexpr std::string_view kLeftColumnId = "content_left";
constexpr std::string_view kRightColumnId = "content_right";

// The parser's work on misplaced end tags grows with the number of open elements. Every parser
// error is charged the open elements plus a fixed share, and a page that spends the budget is not
// read further: a real page spends well under a thousandth of it.
constexpr std::uint64_t kErrorBudget = std::uint64_t{1} << 27;
constexpr std::uint64_t kErrorBaseCost = 256;

constexpr char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string_view View(const xmlChar* text) {
    return text == nullptr ? std::string_view{}
                           : std::string_view(reinterpret_cast<const char*>(text));
}

// Elements whose children stand in for them as entries of a column.
bool LooksThrough(std::string_view element) {
    return element == "table" || element == "tbody" || element == "thead" || element == "tfoot" ||
           element == "tr" || element == "td";
}

// Elements that begin and end a line of their own where a browser draws them: their text does
// not run on into the text around them.
bool BreaksLine(std::string_view element) {
    static constexpr std::array<std::string_view, 27> kBreaking = {
        "address", "article", "aside", "blockquote", "br", "dd",      "div",   "dl", "dt",
        "footer",  "form",    "h1",    "h2",         "h3", "h4",      "h5",    "h6", "header",
        "hr",      "li",      "nav",   "ol",         "p",  "section", "table", "td", "tr"};
    return std::find(kBreaking.begin(), kBreaking.end(), element) != kBreaking.end();
}

// Elements a browser does not draw: no entry of a list, paid or not.
bool ShowsNothing(std::string_view element) {
    return element == "script" || element == "style" || element == "template" ||
           element == "link" || element == "meta";
}

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Trims ASCII white space, U+00A0 and U+3000 from both ends of UTF-8 text.
std::string_view TrimSpace(std::string_view text) {
    for (;;) {
        if (!text.empty() && IsAsciiSpace(text.front())) {
            text.remove_prefix(1);
        } else if (!text.empty() && IsAsciiSpace(text.back())) {
            text.remove_suffix(1);
        } else if (text.starts_with("\u00A0")) {
            text.remove_prefix(2);
        } else if (text.ends_with("\u00A0")) {
            text.remove_suffix(2);
        } else if (text.starts_with("\u3000") || text.ends_with("\u3000")) {
            text = text.starts_with("\u3000") ? text.substr(3) : text.substr(0, text.size() - 3);
        } else {
            return text;
        }
    }
}

// The signs of a kind of page, with every table it draws on merged, ready for the parser's
// callbacks: most attributes and class names are told apart from every sign by their first byte.
class SignMatcher final {
  public:
    explicit SignMatcher(const PaidSigns& signs) {
        for (const PaidSigns* table = &signs; table != nullptr; table = table->also) {
            Add(attributes_, table->attributes, attributeFirst_);
            Add(classTokens_, table->classTokens, classFirst_);
            Add(classPrefixes_, table->classPrefixes, classFirst_);
            Add(clickParts_, table->clickAddressParts, unused_);
            Add(clickStarts_, table->clickAddressStarts, unused_);
            Add(labels_, table->labels, unused_);
        }
        for (int byte = 0; byte < 256; ++byte) {
            if (classFirst_.test(static_cast<std::size_t>(byte))) {
                classFirstBytes_.push_back(static_cast<char>(byte));
            }
        }
    }

    static const SignMatcher& Desktop() {
        static const SignMatcher matcher(kDesktopSigns);
        return matcher;
    }
    static const SignMatcher& Phone() {
        static const SignMatcher matcher(kPhoneSigns);
        return matcher;
    }

    // Whether an attribute of an element is a sign of a paid listing.
    bool IsSign(std::string_view element, std::string_view name, std::string_view value) const {
        if (name.empty()) {
            return false;
        }
        if (name == "class") {
            return HasSignClass(value);
        }
        if (attributeFirst_.test(static_cast<unsigned char>(name[0])) &&
            std::ranges::find(attributes_, name) != attributes_.end()) {
            return true;
        }
        return name == "href" && element == "a" && IsClickAddress(value);
    }

    // Whether a span's or link's trimmed text is an ad label.
    bool IsLabel(std::string_view text) const {
        return std::ranges::find(labels_, text) != labels_.end();
    }
    std::size_t longestLabel() const {
        std::size_t longest = 0;
        for (const std::string_view label : labels_) {
            longest = std::max(longest, label.size());
        }
        return longest;
    }

  private:
    using Set = std::bitset<256>;

    static void Add(std::vector<std::string_view>& to, std::span<const std::string_view> from,
                    Set& first) {
        for (const std::string_view text : from) {
            to.push_back(text);
            if (!text.empty()) {
                first.set(static_cast<unsigned char>(text[0]));
            }
        }
    }

    // Looks only where a token begins with a byte some sign begins with: the search for those
    // few bytes is the C library's, fast over long lists of classes.
    bool HasSignClass(std::string_view classes) const {
        for (const char first : classFirstBytes_) {
            for (std::size_t at = classes.find(first); at != std::string_view::npos;
                 at = classes.find(first, at + 1)) {
                if (at > 0 && !IsAsciiSpace(classes[at - 1])) {
                    continue;
                }
                std::size_t end = at;
                while (end < classes.size() && !IsAsciiSpace(classes[end])) {
                    ++end;
                }
                const std::string_view token = classes.substr(at, end - at);
                if (std::ranges::find(classTokens_, token) != classTokens_.end() ||
                    std::ranges::any_of(classPrefixes_,
                                        [&](std::string_view p) { return token.starts_with(p); })) {
                    return true;
                }
            }
        }
        return false;
    }

    bool IsClickAddress(std::string_view href) const {
        return std::ranges::any_of(clickParts_,
                                   [&](std::string_view part) {
                                       return href.find(part) != std::string_view::npos;
                                   }) ||
               std::ranges::any_of(clickStarts_,
                                   [&](std::string_view start) { return href.starts_with(start); });
    }

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

// Finds the website in text, ignoring ASCII case, where it stands as a whole host name or the
// end of one (see StandsAlone), the Boyer-Moore-Horspool way: most of the text is stepped over
// by the website's length, so long attribute values cost little.
class WebsiteSearch final {
  public:
    explicit WebsiteSearch(std::string_view lowerWebsite) : needle_(lowerWebsite) {
        const std::size_t length = needle_.size();
        shift_.fill(length);
        for (std::size_t i = 0; i + 1 < length; ++i) {
            const char c = needle_[i];
            shift_[static_cast<unsigned char>(c)] = length - 1 - i;
            if (c >= 'a' && c <= 'z') {
                shift_[static_cast<unsigned char>(c - ('a' - 'A'))] = length - 1 - i;
            }
        }
    }

    // An empty website is in anything. `breaks` are the offsets, in order, where the text
    // breaks into a new line (see StandsAlone).
    bool In(std::string_view text, std::span<const std::size_t> breaks = {}) const {
        const std::size_t length = needle_.size();
        if (length == 0) {
            return true;
        }
        const char last = needle_[length - 1];
        for (std::size_t end = length - 1; end < text.size();
             end += shift_[static_cast<unsigned char>(text[end])]) {
            if (FoldAscii(text[end]) != last) {
                continue;
            }
            const std::size_t start = end + 1 - length;
            std::size_t k = 0;
            while (k + 1 < length && FoldAscii(text[start + k]) == needle_[k]) {
                ++k;
            }
            if (k + 1 != length) {
                continue;
            }
            // The site is looked at on its line: one on two lines is none.
            const auto next = std::upper_bound(breaks.begin(), breaks.end(), start);
            const std::size_t lineStart = next == breaks.begin() ? 0 : *(next - 1);
            const std::size_t lineEnd = next == breaks.end() ? text.size() : *next;
            if (end + 1 <= lineEnd && StandsAlone(text.substr(lineStart, lineEnd - lineStart),
                                                  start - lineStart, length)) {
                return true;
            }
        }
        return false;
    }

  private:
    std::string_view needle_;
    std::array<std::size_t, 256> shift_{};
};

// The paid listings of a run of a list's entries: how many, the first (from 1) that holds the
// website (0 for none), and the site each shows.
struct Block {
    int listings = 0;
    int firstWithWebsite = 0;
    std::vector<std::string> sites;
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
    Block all() const {
        Block all{top_.listings + bottom_.listings, top_.firstWithWebsite, top_.sites};
        if (all.firstWithWebsite == 0 && bottom_.firstWithWebsite > 0) {
            all.firstWithWebsite = top_.listings + bottom_.firstWithWebsite;
        }
        all.sites.insert(all.sites.end(), bottom_.sites.begin(), bottom_.sites.end());
        return all;
    }

    void Begin(std::size_t depth) {
        state_ = State::Open;
        columnDepth_ = depth;
        chainDepth_ = depth;
    }

    void OnStart(std::size_t depth, std::string_view element, const xmlChar** attributes) {
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
        if (BreaksLine(element)) {
            Break();
            breakDepths_.push_back(depth);
        }
        if (element == "span" || element == "a") {
            if (labelCandidates_.empty()) {
                // Text outside every candidate is not looked at: what it held before this one
                // began cannot change what this one reads as.
                scanned_ = text_.size();
                runEnd_ = kNoRun;
            }
            labelCandidates_.push_back({depth, nonSpaceCount_, text_.size()});
        }
    }

    void OnEnd(std::size_t depth) {
        if (entryDepth_ != 0) {
            if (!breakDepths_.empty() && breakDepths_.back() == depth) {
                breakDepths_.pop_back();
                Break();
            }
            if (!labelCandidates_.empty() && labelCandidates_.back().depth == depth) {
                if (ReadsAsAdLabel(labelCandidates_.back())) {
                    paid_ = true;
                }
                labelCandidates_.pop_back();
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

    void OnText(std::string_view text) {
        if (entryDepth_ == 0) {
            return;
        }
        text_.append(text);
        if (!labelCandidates_.empty()) {
            ScanNewText();
        }
    }

  private:
    enum class State { NotSeen, Open, Closed };

    // A span or link inside the entry that may turn out to read "广告": where its text begins.
    struct LabelCandidate {
        std::size_t depth;
        std::size_t nonSpaceBefore;  // non-space characters of the entry before it
        std::size_t textStart;       // byte offset in the entry's text
    };

    void BeginEntry(std::size_t depth) {
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
    }

    void EndEntry() {
        if (paid_) {
            Block& block = unpaidSeen_ ? bottom_ : top_;
            ++block.listings;
            if (block.firstWithWebsite == 0 &&
                (websiteInAttributes_ || website_.In(text_, breaks_))) {
                block.firstWithWebsite = block.listings;
            }
            std::string site = landingAddress_ ? SiteOfAddress(*landingAddress_) : std::string();
            block.sites.push_back(site.empty() ? SiteInText(text_) : std::move(site));
        } else {
            unpaidSeen_ = true;
        }
        entryDepth_ = 0;
        text_.clear();
        labelCandidates_.clear();
    }

    // The entry's text breaks into a new line where it now ends.
    void Break() {
        if (breaks_.empty() || breaks_.back() != text_.size()) {
            breaks_.push_back(text_.size());
        }
    }

    void Examine(std::string_view element, const xmlChar** attributes) {
        if (attributes == nullptr) {
            return;
        }
        for (const xmlChar** at = attributes; *at != nullptr; at += 2) {
            const std::string_view name = View(at[0]);
            // A boolean attribute written without a value (<option selected>) has its name as
            // its value, as in the document tree the parser builds.
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

    // Classifies the characters appended to the entry's text since the last call, keeping count
    // of the non-space characters and where the latest run of them lies.
    void ScanNewText() {
        const std::size_t size = text_.size();
        while (scanned_ < size) {
            const auto lead = static_cast<unsigned char>(text_[scanned_]);
            const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            if (scanned_ + length > size) {
                return;  // the rest of the character comes with the next text
            }
            const std::string_view character(text_.data() + scanned_, length);
            const bool space = (length == 1 && IsAsciiSpace(character[0])) ||
                               character == "\u00A0" || character == "\u3000";
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
    bool ReadsAsAdLabel(const LabelCandidate& candidate) const {
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
};

// What every reader of the parser's callbacks shares: the depth of the open elements, stopping
// the parser, and the error budget that gives up a page whose markup is broken beyond any real
// page. The parser's _private points at the reader as a SaxReader.
class SaxReader {
  public:
    bool unreadable() const { return unreadable_; }
    // What a callback threw, or memory the parser could not get: thrown once the parser is done,
    // never through its C frames.
    const std::exception_ptr& failure() const { return failure_; }

    static void OnError(void* context, xmlErrorPtr error) {
        auto& reader = From<SaxReader>(context);
        if (reader.halted_) {
            return;
        }
        if (error->code == XML_ERR_NO_MEMORY) {
            reader.Fail(context, std::make_exception_ptr(std::bad_alloc()));
            return;
        }
        const std::uint64_t cost = reader.depth_ + kErrorBaseCost;
        if (cost > reader.budget_) {
            reader.unreadable_ = true;
            reader.Halt(context);
            return;
        }
        reader.budget_ -= cost;
    }

    void Fail(void* context, std::exception_ptr failure) {
        if (failure_ == nullptr) {
            failure_ = std::move(failure);
        }
        Halt(context);
    }

  protected:
    SaxReader() = default;

    template <typename Reader>
    static Reader& From(void* context) {
        return static_cast<Reader&>(
            *static_cast<SaxReader*>(static_cast<xmlParserCtxtPtr>(context)->_private));
    }

    void Halt(void* context) {
        halted_ = true;
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
    }

    std::size_t depth_ = 0;
    bool halted_ = false;

  private:
    std::uint64_t budget_ = kErrorBudget;
    bool unreadable_ = false;
    std::exception_ptr failure_;
};

// A callback as the parser calls it: an exception stops the parser and waits in the reader
// instead of unwinding through the parser's C frames.
template <auto Callback>
struct Guarded;

template <typename... Arguments, void (*Callback)(void*, Arguments...)>
struct Guarded<Callback> {
    static void Call(void* context, Arguments... arguments) noexcept {
        try {
            Callback(context, arguments...);
        } catch (...) {
            static_cast<SaxReader*>(static_cast<xmlParserCtxtPtr>(context)->_private)
                ->Fail(context, std::current_exception());
        }
    }
};

// How a page's two sides are named in its labels.
struct SideNames {
    std::u16string_view first;  // then the listing's number: "左", "上"
    std::u16string_view second;
    std::u16string_view firstWithout;  // paid listings, none holding the website
    std::u16string_view firstEmpty;    // no paid listings
    std::u16string_view secondWithout;
    std::u16string_view secondEmpty;
};

constexpr SideNames kColumnSides{u"左", u"右", u"左无", u"左侧无推广位", u"右无", u"右无推广位"};
constexpr SideNames kPhoneSides{u"上", u"下", u"上无", u"上无推广位", u"下无", u"下无推广位"};

std::u16string Numbered(std::u16string_view side, int number) {
    const std::string digits = std::to_string(number);
    return std::u16string(side) + std::u16string(digits.begin(), digits.end());
}

// The labels of both sides. Once the website is found on the first side, the second only says
// whether it has paid listings.
PositionLabels SideLabels(const SideNames& names, const Block& first, const Block& second) {
    PositionLabels labels;
    const std::u16string_view secondPlain =
        second.listings > 0 ? names.secondWithout : names.secondEmpty;
    if (first.firstWithWebsite > 0) {
        labels.left = Numbered(names.first, first.firstWithWebsite);
        labels.right = secondPlain;
        return labels;
    }
    labels.left = first.listings > 0 ? names.firstWithout : names.firstEmpty;
    labels.right = second.firstWithWebsite > 0 ? Numbered(names.second, second.firstWithWebsite)
                                               : std::u16string(secondPlain);
    return labels;
}

// Watches for the page's <title> and tells whether it is a search's own: trimmed, it ends with
// "_百度搜索" or begins with "百度搜索_"; on the phone page it may also end with "- 百度".
class TitleWatch final {
  public:
    explicit TitleWatch(bool phone) : phone_(phone) {}

    bool found() const { return found_; }

    void OnStart(std::size_t depth, std::string_view element) {
        if (depth_ == 0 && !found_ && element == "title") {
            depth_ = depth;
            title_.clear();
        }
    }

    // True when the element ending closes a search's title.
    bool OnEnd(std::size_t depth) {
        if (depth_ == 0 || depth != depth_) {
            return false;
        }
        depth_ = 0;
        const std::string_view trimmed = TrimSpace(title_);
        found_ = trimmed.ends_with("_百度搜索") || trimmed.starts_with("百度搜索_") ||
                 (phone_ && trimmed.ends_with("- 百度"));
        return found_;
    }

    void OnText(std::string_view text) {
        // A title longer than any search's is no search's.
        if (depth_ != 0 && title_.size() < kMaxTitleBytes) {
            title_.append(text);
        }
    }

  private:
    static constexpr std::size_t kMaxTitleBytes = 4096;

    const bool phone_;
    std::size_t depth_ = 0;  // of the title element being read; 0 outside one
    std::string title_;
    bool found_ = false;
};

// Whether an attribute's name is `name`, without measuring it first.
template <std::size_t Size>
bool NameIs(const xmlChar* attribute, const char (&name)[Size]) {
    return std::memcmp(attribute, name, Size) == 0;
}

bool IdIs(const xmlChar** attributes, std::string_view id) {
    for (const xmlChar** at = attributes; at != nullptr && *at != nullptr; at += 2) {
        if (NameIs(at[0], "id") && View(at[1]) == id) {
            return true;
        }
    }
    return false;
}

bool HasClassToken(const xmlChar** attributes, std::string_view token) {
    for (const xmlChar** at = attributes; at != nullptr && *at != nullptr; at += 2) {
        if (!NameIs(at[0], "class")) {
            continue;
        }
        const std::string_view classes = View(at[1]);
        for (std::size_t found = classes.find(token); found != std::string_view::npos;
             found = classes.find(token, found + 1)) {
            const std::size_t end = found + token.size();
            if ((found == 0 || IsAsciiSpace(classes[found - 1])) &&
                (end == classes.size() || IsAsciiSpace(classes[end]))) {
                return true;
            }
        }
    }
    return false;
}

// Two lists of entries read side by side, and the page's title, as a kind of page places them:
// `Page` says where its lists begin, when nothing later can matter, and what they read as.
template <typename Page>
class ListReader final : public SaxReader {
  public:
    explicit ListReader(std::string_view lowerWebsite)
        : website_(lowerWebsite),
          first_(website_, Page::Signs()),
          second_(website_, Page::Signs()),
          title_(Page::kPhone) {}

    LayoutReading Reading() const { return Page::Reading(first_, second_, title_); }

    static void OnStart(void* context, const xmlChar* name, const xmlChar** attributes) {
        auto& reader = From<ListReader>(context);
        if (reader.halted_) {
            return;
        }
        const std::size_t depth = ++reader.depth_;
        const std::string_view element = View(name);
        for (ColumnReader* list : {&reader.first_, &reader.second_}) {
            if (list->open()) {
                list->OnStart(depth, element, attributes);
            }
        }
        reader.title_.OnStart(depth, element);
        Page::Begin(attributes, depth, reader.first_, reader.second_);
    }

    static void OnEnd(void* context, const xmlChar* /*name*/) {
        auto& reader = From<ListReader>(context);
        // A halted parser still closes the elements left open.
        if (reader.halted_ || reader.depth_ == 0) {
            return;
        }
        for (ColumnReader* list : {&reader.first_, &reader.second_}) {
            if (list->open()) {
                list->OnEnd(reader.depth_);
            }
        }
        reader.title_.OnEnd(reader.depth_);
        --reader.depth_;
        if (Page::Done(reader.first_, reader.second_)) {
            reader.Halt(context);
        }
    }

    static void OnText(void* context, const xmlChar* text, int length) {
        auto& reader = From<ListReader>(context);
        if (reader.halted_) {
            return;
        }
        const std::string_view chunk(reinterpret_cast<const char*>(text),
                                     static_cast<std::size_t>(length));
        for (ColumnReader* list : {&reader.first_, &reader.second_}) {
            if (list->open()) {
                list->OnText(chunk);
            }
        }
        reader.title_.OnText(chunk);
    }

  private:
    WebsiteSearch website_;
    ColumnReader first_;
    ColumnReader second_;
    TitleWatch title_;
};

// The desktop page: its two columns, content_left and content_right.
struct DesktopPage {
    static constexpr bool kPhone = false;

    static const SignMatcher& Signs() { return SignMatcher::Desktop(); }

    static void Begin(const xmlChar** attributes, std::size_t depth, ColumnReader& left,
                      ColumnReader& right) {
        for (const xmlChar** at = attributes; at != nullptr && *at != nullptr; at += 2) {
            if (!NameIs(at[0], "id")) {
                continue;
            }
            const std::string_view id = View(at[1]);
            if (id == kLeftColumnId && !left.seen()) {
                left.Begin(depth);
            } else if (id == kRightColumnId && !right.seen()) {
                right.Begin(depth);
            }
        }
    }

    // Nothing after both columns can change the answer.
    static bool Done(const ColumnReader& left, const ColumnReader& right) {
        return left.closed() && right.closed();
    }

    static LayoutReading Reading(const ColumnReader& left, const ColumnReader& right,
                                 const TitleWatch& title) {
        Block first = left.all();
        Block second = right.all();
        return {left.seen() || right.seen() || title.found(),
                SideLabels(kColumnSides, first, second),
                {std::move(first.sites), std::move(second.sites)}};
    }
};

// The phone page: one list, the first element whose id is "results" or, where there is none, the
// first with the class "results". Paid listings before its first unpaid entry are on top, the
// later ones at the bottom.
struct PhonePage {
    static constexpr bool kPhone = true;
    static constexpr std::string_view kListName = "results";

    static const SignMatcher& Signs() { return SignMatcher::Phone(); }

    static void Begin(const xmlChar** attributes, std::size_t depth, ColumnReader& byId,
                      ColumnReader& byClass) {
        if (!byId.seen() && IdIs(attributes, kListName)) {
            byId.Begin(depth);
        }
        // Once the list by id is found, the one by class no longer matters.
        if (!byClass.seen() && !byId.seen() && HasClassToken(attributes, kListName)) {
            byClass.Begin(depth);
        }
    }

    // The list by id decides, whatever follows it.
    static bool Done(const ColumnReader& byId, const ColumnReader& /*byClass*/) {
        return byId.closed();
    }

    static LayoutReading Reading(const ColumnReader& byId, const ColumnReader& byClass,
                                 const TitleWatch& title) {
        const ColumnReader& list = byId.seen() ? byId : byClass;
        return {list.seen() || title.found(),
                SideLabels(kPhoneSides, list.top(), list.bottom()),
                {list.top().sites, list.bottom().sites}};
    }
};

using PageReader = ListReader<DesktopPage>;
using PhoneReader = ListReader<PhonePage>;

// Looks for the outline of a desktop result page: a column, or the search's own title.
class OutlineReader final : public SaxReader {
  public:
    bool found() const { return found_; }

    static void OnStart(void* context, const xmlChar* name, const xmlChar** attributes) {
        auto& reader = From<OutlineReader>(context);
        if (reader.halted_) {
            return;
        }
        ++reader.depth_;
        if (IdIs(attributes, kLeftColumnId) || IdIs(attributes, kRightColumnId)) {
            reader.Found(context);
            return;
        }
        reader.title_.OnStart(reader.depth_, View(name));
    }

    static void OnEnd(void* context, const xmlChar* /*name*/) {
        auto& reader = From<OutlineReader>(context);
        if (reader.halted_ || reader.depth_ == 0) {
            return;
        }
        if (reader.title_.OnEnd(reader.depth_)) {
            reader.Found(context);
            return;
        }
        --reader.depth_;
    }

    static void OnText(void* context, const xmlChar* text, int length) {
        auto& reader = From<OutlineReader>(context);
        if (!reader.halted_) {
            reader.title_.OnText(std::string_view(reinterpret_cast<const char*>(text),
                                                  static_cast<std::size_t>(length)));
        }
    }

  private:
    void Found(void* context) {
        found_ = true;
        Halt(context);
    }

    TitleWatch title_{false};
    bool found_ = false;
};

// NOLINTNEXTLINE(cert-dcl50-cpp): the parser's message handler has a C variadic signature
void IgnoreMessage(void* /*context*/, const char* /*format*/, ...) {}

void InitParserOnce() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

struct ParserDeleter {
    void operator()(htmlParserCtxtPtr parser) const { htmlFreeParserCtxt(parser); }
};

char* WriteUtf8(char* out, char32_t c) {
    if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

std::string LowerAsciiUtf8(std::u16string_view text) {
    std::string lower = ParserInput(text);
    for (char& c : lower) {
        c = FoldAscii(c);
    }
    return lower;
}

}  // namespace

namespace {

// Four UTF-16 units at `at`, as one word: the first in the lowest bits (the machine is
// little-endian).
std::uint64_t Units4(const char16_t* at) {
    static_assert(std::endian::native == std::endian::little);
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// Whether four units are all ASCII and none of them is U+0000.
bool PlainAscii4(std::uint64_t word) {
    constexpr std::uint64_t kHigh = 0xFF80FF80FF80FF80;
    constexpr std::uint64_t kOnes = 0x0001000100010001;
    constexpr std::uint64_t kTops = 0x8000800080008000;
    // No bit above 0x7F; and no unit is zero (the classic test for a zero lane).
    return (word & kHigh) == 0 && ((word - kOnes) & ~word & kTops) == 0;
}

// Four ASCII units as their four bytes, in order.
void NarrowAscii4(std::uint64_t word, char* out) {
    const std::uint64_t pairs = (word | (word >> 8)) & 0x0000FFFF0000FFFF;
    const auto bytes = static_cast<std::uint32_t>(pairs | (pairs >> 16));
    std::memcpy(out, &bytes, sizeof bytes);
}

}  // namespace

std::string ParserInput(std::u16string_view page) {
    // Sized first (at most three bytes a unit: NUL and lone surrogates become U+FFFD, a pair
    // takes four), so a large page is not held at three times its size. Runs of plain ASCII,
    // most of any page, go eight units at a time.
    const std::size_t size = page.size();
    const auto unitBytes = [](char16_t unit) -> std::size_t {
        return unit == 0 ? 3 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
    };
    std::size_t bytes = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        if (PlainAscii4(Units4(page.data() + i)) && PlainAscii4(Units4(page.data() + i + 4))) {
            bytes += 8;
            continue;
        }
        for (std::size_t k = i; k < i + 8; ++k) {
            bytes += unitBytes(page[k]);
        }
    }
    for (; i < size; ++i) {
        bytes += unitBytes(page[i]);
    }
    i = 0;
    std::string out(bytes, '\0');
    char* next = out.data();
    for (; i < size; ++i) {
        if (i + 8 <= size) {
            const std::uint64_t first = Units4(page.data() + i);
            const std::uint64_t second = Units4(page.data() + i + 4);
            if (PlainAscii4(first) && PlainAscii4(second)) {
                NarrowAscii4(first, next);
                NarrowAscii4(second, next + 4);
                next += 8;
                i += 7;
                continue;
            }
        }
        const char16_t unit = page[i];
        if (unit < 0x80 && unit != 0) {
            *next++ = static_cast<char>(unit);
            continue;
        }
        char32_t c = unit;
        if (unit == 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) {
            c = 0xFFFD;
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 < size && page[i + 1] >= 0xDC00 && page[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                    (page[i + 1] - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        }
        next = WriteUtf8(next, c);
    }
    out.resize(static_cast<std::size_t>(next - out.data()));
    return out;
}

namespace {

// Runs the HTML parser over `input` (from ParserInput) with the callbacks of `handler`; each gets
// the parser as its context, whose _private points at `reader`. False when the page is too large
// for the parser; memory running out is thrown as std::bad_alloc.
bool ParseHtml(std::string_view input, htmlSAXHandler handler, SaxReader& reader) {
    InitParserOnce();
    // Errors are the reader's to count; some (a buffer that cannot grow) would otherwise be
    // printed. The handler is the calling thread's own.
    xmlSetGenericErrorFunc(nullptr, &IgnoreMessage);
    if (input.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    const std::unique_ptr<htmlParserCtxt, ParserDeleter> parser(htmlNewParserCtxt());
    if (parser == nullptr) {
        throw std::bad_alloc();
    }
    // The contents of script and style come as CDATA and are no text of the page; without a
    // handler of its own the parser would hand them over as text.
    handler.cdataBlock = [](void* /*context*/, const xmlChar* /*text*/, int /*length*/) {};
    handler.serror = &SaxReader::OnError;
    handler.initialized = XML_SAX2_MAGIC;  // so that serror is used
    *parser->sax = handler;
    parser->_private = &reader;

    // The text is decoded already: the page's own charset declarations must not decode it again.
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                        HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC;
    htmlDocPtr document = htmlCtxtReadMemory(
        parser.get(), input.data(), static_cast<int>(input.size()), nullptr, "UTF-8", options);
    if (document != nullptr) {
        xmlFreeDoc(document);
    }
    if (reader.failure() != nullptr) {
        std::rethrow_exception(reader.failure());
    }
    return true;
}

// A reader's callbacks for the parser.
template <typename Reader>
htmlSAXHandler Handler() {
    htmlSAXHandler handler{};
    handler.startElement = &Guarded<&Reader::OnStart>::Call;
    handler.endElement = &Guarded<&Reader::OnEnd>::Call;
    handler.characters = &Guarded<&Reader::OnText>::Call;
    handler.ignorableWhitespace = &Guarded<&Reader::OnText>::Call;
    return handler;
}

}  // namespace

template <typename Reader>
std::optional<LayoutReading> ReadLayout(std::string_view input, std::u16string_view website) {
    const std::string lowerWebsite = LowerAsciiUtf8(website);
    Reader reader(lowerWebsite);
    if (!ParseHtml(input, Handler<Reader>(), reader) || reader.unreadable()) {
        return std::nullopt;
    }
    return reader.Reading();
}

std::optional<LayoutReading> ReadColumnLayout(std::string_view input, std::u16string_view website) {
    return ReadLayout<PageReader>(input, website);
}

std::optional<LayoutReading> ReadPhoneLayout(std::string_view input, std::u16string_view website) {
    return ReadLayout<PhoneReader>(input, website);
}

std::optional<bool> HasResultOutline(std::u16string_view page) {
    // Only a page that names a column or the search can have either; others need no parse.
    if (page.find(u"content_left") == std::u16string_view::npos &&
        page.find(u"content_right") == std::u16string_view::npos &&
        page.find(u"百度搜索") == std::u16string_view::npos) {
        return false;
    }
    OutlineReader reader;
    if (!ParseHtml(ParserInput(page), Handler<OutlineReader>(), reader)) {
        return std::nullopt;
    }
    if (reader.found()) {
        return true;
    }
    return reader.unreadable() ? std::nullopt : std::optional<bool>(false);
}

}  // namespace slotscope
