#include "page/shown_site.h"

#include <algorithm>
#include <utility>

#include "base/ascii.h"
#include "base/text_codec.h"

namespace slotscope {
namespace {

constexpr std::size_t kShortestTopLabel = 2;
constexpr std::size_t kLongestTopLabel = 24;

// A host name's characters: its labels' and the dots between them.
template <typename Char>
constexpr bool IsHostCharacter(Char c) {
    return ascii::IsLabelCharacter(c) || c == Char{'.'};
}

// The site as kept, or empty where it is longer than a host name may be.
std::string Normalized(std::string host) {
    host = ascii::Lowered(host);
    if (host.starts_with("www.")) {
        host.erase(0, 4);
    }
    return host.size() <= kLongestSite ? host : std::string();
}

// A run of host characters longer than this is no site, whatever dots trimming takes off: it is
// no longer gathered.
constexpr std::size_t kLongestRun = 4 * kLongestSite;

// The run as a site, or empty when it is no host-like word.
std::string SiteOfRun(std::string_view run) {
    while (!run.empty() && (run.front() == '.' || run.front() == '-')) {
        run.remove_prefix(1);
    }
    while (!run.empty() && (run.back() == '.' || run.back() == '-')) {
        run.remove_suffix(1);
    }
    const std::size_t dot = run.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    const std::string_view top = run.substr(dot + 1);
    if (top.size() < kShortestTopLabel || top.size() > kLongestTopLabel ||
        !std::all_of(top.begin(), top.end(), [](char c) { return ascii::IsLetter(c); })) {
        return {};
    }
    return Normalized(std::string(run));
}

// Gathers the characters of a text into runs of host characters, and keeps the first run that
// reads as a site.
class WordScan final {
  public:
    template <typename Char>
    bool Add(Char c) {
        if (IsHostCharacter(c)) {
            if (run_.size() < kLongestRun) {
                run_ += static_cast<char>(c);
            } else {
                tooLong_ = true;
            }
            return false;
        }
        return End();
    }
    // Ends the run under way; true once a site was found.
    bool End() {
        if (!run_.empty()) {
            site_ = tooLong_ ? std::string() : SiteOfRun(run_);
            run_.clear();
            tooLong_ = false;
        }
        return !site_.empty();
    }
    std::string site() && { return std::move(site_); }

  private:
    std::string run_;
    bool tooLong_ = false;
    std::string site_;
};

template <typename Char>
bool StartsWithFolded(std::basic_string_view<Char> text, std::size_t at, std::string_view lower) {
    if (text.size() - at < lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < lower.size(); ++i) {
        if (ascii::Lower(text[at + i]) != static_cast<Char>(lower[i])) {
            return false;
        }
    }
    return true;
}

// Where a text element that starts at `at` ("<script", "<style") ends: after the '>' of its end
// tag, or at the end of the markup.
std::size_t SkipRawText(std::u16string_view markup, std::size_t at, std::string_view endTag) {
    for (std::size_t i = markup.find(u'<', at); i != std::u16string_view::npos;
         i = markup.find(u'<', i + 1)) {
        if (StartsWithFolded(markup, i, endTag)) {
            const std::size_t close = markup.find(u'>', i);
            return close == std::u16string_view::npos ? markup.size() : close + 1;
        }
    }
    return markup.size();
}

bool EndsTagName(char16_t c) {
    return c == u'>' || c == u'/' || c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' ||
           c == u'\f';
}

}  // namespace

std::string SiteOfAddress(std::string_view address) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!address.empty() && isSpace(address.front())) {
        address.remove_prefix(1);
    }
    // A scheme only where the address begins with one; one without "//" (javascript:, tel:)
    // names no site.
    std::size_t schemeEnd = 0;
    while (schemeEnd < address.size() && (ascii::IsLetter(address[schemeEnd]) ||
                                          (schemeEnd > 0 && (IsHostCharacter(address[schemeEnd]) ||
                                                             address[schemeEnd] == '+')))) {
        ++schemeEnd;
    }
    if (schemeEnd > 0 && schemeEnd < address.size() && address[schemeEnd] == ':') {
        if (address.substr(schemeEnd + 1, 2) != "//") {
            return {};
        }
        address.remove_prefix(schemeEnd + 3);
    } else if (address.starts_with("//")) {
        address.remove_prefix(2);
    }
    std::string_view host = address.substr(0, address.find_first_of("/?#\\ \t\r\n"));
    if (const std::size_t at = host.rfind('@'); at != std::string_view::npos) {
        host.remove_prefix(at + 1);  // user and password
    }
    host = host.substr(0, host.find(':'));
    while (!host.empty() && host.back() == '.') {
        host.remove_suffix(1);
    }
    // Only a host name is a site: anything else leaves the listing to its text.
    if (host.empty() ||
        !std::all_of(host.begin(), host.end(), [](char c) { return IsHostCharacter(c); })) {
        return {};
    }
    return Normalized(std::string(host));
}

std::string SiteInText(std::string_view text) {
    WordScan scan;
    for (const char c : text) {
        if (scan.Add(c)) {
            return std::move(scan).site();
        }
    }
    scan.End();
    return std::move(scan).site();
}

std::string SiteInMarkup(std::u16string_view markup) {
    WordScan scan;
    for (std::size_t at = 0; at < markup.size(); ++at) {
        const char16_t c = markup[at];
        if (c != u'<') {
            if (scan.Add(c)) {
                return std::move(scan).site();
            }
            continue;
        }
        // A tag is no text, and does not part the words on either side of it.
        for (const auto& [open, close] :
             {std::pair{"<script", "</script"}, std::pair{"<style", "</style"}}) {
            const std::size_t name = std::string_view(open).size();
            if (StartsWithFolded(markup, at, open) &&
                (at + name == markup.size() || EndsTagName(markup[at + name]))) {
                at = SkipRawText(markup, at + name, close) - 1;
                break;
            }
        }
        if (markup[at] == u'<') {
            const std::size_t end = markup.find(u'>', at);
            at = end == std::u16string_view::npos ? markup.size() : end;
        }
    }
    scan.End();
    return std::move(scan).site();
}

std::string_view ShownAddressIn(std::string_view text) {
    const auto isHost = [&](std::size_t at) {
        return at < text.size() && IsHostCharacter(text[at]);
    };
    for (std::size_t at = 0; at < text.size();) {
        if (!isHost(at)) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (isHost(end)) {
            ++end;
        }
        if (end - at > kLongestRun || SiteOfRun(text.substr(at, end - at)).empty()) {
            at = end;
            continue;
        }
        if (at >= 3 && text.substr(at - 3, 3) == "://") {
            at -= 3;
            while (at > 0 && ascii::IsLetter(text[at - 1])) {
                --at;
            }
        }
        if (end < text.size() && (text[end] == '/' || text[end] == ':' || text[end] == '?')) {
            while (end < text.size() && text[end] > ' ' && text[end] < 0x7F) {
                ++end;
            }
        }
        return text.substr(at, end - at);
    }
    return {};
}

bool FindLandingAddress(std::u16string_view markup, std::string& address) {
    constexpr std::string_view kName = "data-landurl";
    for (std::size_t at = markup.find_first_of(u"dD"); at != std::u16string_view::npos;
         at = markup.find_first_of(u"dD", at + 1)) {
        if (at == 0 || !StartsWithFolded(markup, at, kName) || IsHostCharacter(markup[at - 1]) ||
            markup[at - 1] == u'_') {
            continue;
        }
        std::size_t i = at + kName.size();
        while (i < markup.size() && markup[i] == u' ') {
            ++i;
        }
        if (i >= markup.size() || markup[i] != u'=') {
            continue;
        }
        ++i;
        while (i < markup.size() && markup[i] == u' ') {
            ++i;
        }
        std::size_t end = 0;
        if (i < markup.size() && (markup[i] == u'"' || markup[i] == u'\'')) {
            end = markup.find(markup[i], i + 1);
            ++i;
        } else {
            end = markup.find_first_of(u" \t\r\n>", i);
        }
        if (end == std::u16string_view::npos) {
            end = markup.size();
        }
        address = EncodeUtf8(markup.substr(i, end - i));
        return true;
    }
    return false;
}

}  // namespace slotscope
