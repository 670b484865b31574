#include "net/cookie_file.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "base/ascii.h"

namespace slotscope {
namespace {

std::string_view Trim(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(separator, at);
        parts.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos) {
            return parts;
        }
        at = end + 1;
    }
}

// A cookie's name: printable ASCII without separators.
bool IsCookieName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return c > ' ' && c < 0x7F && c != '=' && c != ';' && c != ',';
    });
}

bool IsCookieValue(std::string_view value) {
    return std::all_of(value.begin(), value.end(), [](char c) {
        return static_cast<unsigned char>(c) >= ' ' && c != ';' && c != 0x7F;
    });
}

// Trims what ends a line, keeping tabs (a cookie file's empty value is a trailing tab).
std::string_view TrimLine(std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\r')) {
        line.remove_prefix(1);
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\n')) {
        line.remove_suffix(1);
    }
    return line;
}

// Where a cookie line's cookies go: the search host's own domain and every host in it
// (www.baidu.com and m.baidu.com: .baidu.com), as the site's own cookies do, so that one the home
// page sets again replaces the user's instead of going beside it. An address by number keeps
// its host.
std::string CookieDomain(const std::string& host) {
    const bool number = !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
    const std::size_t firstDot = host.find('.');
    if (number || firstDot == std::string::npos) {
        return host;
    }
    return host.find('.', firstDot + 1) == std::string::npos ? "." + host : host.substr(firstDot);
}

// A cookie file's domain field as a domain: without the mark of a cookie scripts may not read,
// the leading dot, or letter case.
std::string DomainOfField(std::string_view field) {
    if (field.starts_with("#HttpOnly_")) {
        field.remove_prefix(10);
    }
    if (field.starts_with('.')) {
        field.remove_prefix(1);
    }
    return ascii::Lowered(field);
}

// Whether a cookie of `domain` is one of the search's: the domain of a search host, or one in it.
bool ForSearchHosts(const std::string& domain, const std::vector<std::string>& searchHosts) {
    return std::any_of(searchHosts.begin(), searchHosts.end(), [&](const std::string& host) {
        const std::string own = DomainOfField(CookieDomain(host));
        return !own.empty() &&
               (domain == own || (domain.size() > own.size() && domain.ends_with(own) &&
                                  domain[domain.size() - own.size() - 1] == '.'));
    });
}

// A cookie file's line with its secure field set: the user's cookies go over TLS only.
std::string Secured(std::string_view line) {
    std::vector<std::string_view> fields = Split(line, '\t');
    fields[3] = "TRUE";
    std::string secured;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        secured += i == 0 ? "" : "\t";
        secured += fields[i];
    }
    return secured;
}

// More than any browser keeps for one site.
constexpr std::size_t kMaxCookies = 1000;

// Says which line the text fails at, and how, never quoting it.
void FailAt(SessionCookies& cookies, std::size_t line, std::string_view what) {
    cookies.error = "line " + std::to_string(line) + ": " + std::string(what);
    cookies.errorLine = line;
    cookies.jarLines.clear();
}

// One line of a Netscape cookie file: domain, subdomains, path, secure, expiry, name, value.
std::string NetscapeLineError(std::string_view line) {
    const std::vector<std::string_view> fields = Split(line, '\t');
    if (fields.size() != 7) {
        return "not a cookie: seven fields separated by tabs expected";
    }
    const auto flag = [](std::string_view f) { return f == "TRUE" || f == "FALSE"; };
    const bool expiry =
        !fields[4].empty() && std::all_of(fields[4].begin(), fields[4].end(),
                                          [](char c) { return c >= '0' && c <= '9'; });
    if (fields[0].empty() || !flag(fields[1]) || !flag(fields[3]) || !expiry ||
        !IsCookieName(fields[5]) || !IsCookieValue(fields[6])) {
        return "not a cookie: a field is not what a cookie file holds there";
    }
    return {};
}

using NumberedLine = std::pair<std::size_t, std::string_view>;

// The lines that hold something, numbered from 1, and whether the text is a Netscape cookie file
// (its heading, or a tab anywhere).
struct CookieText {
    std::vector<NumberedLine> lines;
    bool netscape = false;
};

CookieText ReadLines(std::string_view text) {
    CookieText read;
    const std::vector<std::string_view> all = Split(text, '\n');
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string_view line = TrimLine(all[i]);
        if (line.starts_with("# Netscape HTTP Cookie File") ||
            line.starts_with("# HTTP Cookie File")) {
            read.netscape = true;
        }
        // A comment, but for the mark of a cookie scripts may not read.
        if (line.empty() || (line.starts_with('#') && !line.starts_with("#HttpOnly_"))) {
            continue;
        }
        read.netscape = read.netscape || all[i].find('\t') != std::string_view::npos;
        read.lines.emplace_back(i + 1, line);
    }
    return read;
}

// A Netscape cookie file's lines: the search's cookies, secured; other sites' are counted.
void ReadNetscapeLines(const std::vector<NumberedLine>& lines,
                       const std::vector<std::string>& searchHosts, SessionCookies& cookies) {
    for (const auto& [number, line] : lines) {
        if (const std::string error = NetscapeLineError(line); !error.empty()) {
            FailAt(cookies, number, error);
            return;
        }
        if (!ForSearchHosts(DomainOfField(line.substr(0, line.find('\t'))), searchHosts)) {
            ++cookies.leftOut;  // another site's: never sent anywhere
            continue;
        }
        cookies.jarLines.push_back(Secured(line));
        if (cookies.jarLines.size() > kMaxCookies) {
            FailAt(cookies, number, "more cookies than a browser keeps for a site");
            return;
        }
    }
    if (cookies.jarLines.empty()) {
        cookies.error = "no cookie for the search's site in it (" +
                        std::to_string(cookies.leftOut) + " for other sites)";
    }
}

struct CookiePair {
    std::string_view name;
    std::string_view value;
};

// One NAME=VALUE of a cookie line, trimmed; a part without '=' has an empty name.
CookiePair PairOf(std::string_view part) {
    const std::size_t equals = part.find('=');
    if (equals == std::string_view::npos) {
        return {};
    }
    return {Trim(part.substr(0, equals)), Trim(part.substr(equals + 1))};
}

// A cookie as a cookie file's line for each search host's domain, once a domain.
void AddForSearchDomains(const CookiePair& cookie, const std::vector<std::string>& searchHosts,
                         std::vector<std::string>& jarLines) {
    std::vector<std::string> domains;
    for (const std::string& host : searchHosts) {
        const std::string domain = CookieDomain(host);
        if (std::find(domains.begin(), domains.end(), domain) != domains.end()) {
            continue;
        }
        domains.push_back(domain);
        const char* const subdomains = domain.starts_with('.') ? "TRUE" : "FALSE";
        jarLines.push_back(domain + "\t" + subdomains + "\t/\tTRUE\t0\t" +
                           std::string(cookie.name) + "\t" + std::string(cookie.value));
    }
}

// A browser's Cookie header line (with or without "Cookie:"), for every search host.
void ReadCookieLine(std::size_t number, std::string_view line,
                    const std::vector<std::string>& searchHosts, SessionCookies& cookies) {
    if (ascii::StartsWithLower(line, "cookie:")) {
        line.remove_prefix(7);
    }
    for (const std::string_view part : Split(line, ';')) {
        const std::string_view trimmed = Trim(part);
        if (trimmed.empty()) {
            continue;
        }
        const CookiePair cookie = PairOf(trimmed);
        if (!IsCookieName(cookie.name) || !IsCookieValue(cookie.value)) {
            FailAt(cookies, number,
                   "not a cookie line: NAME=VALUE pairs separated by "
                   "\"; \" expected");
            return;
        }
        AddForSearchDomains(cookie, searchHosts, cookies.jarLines);
        if (cookies.jarLines.size() > kMaxCookies) {
            FailAt(cookies, number, "more cookies than a browser keeps for a site");
            return;
        }
    }
    if (cookies.jarLines.empty() && !searchHosts.empty()) {
        FailAt(cookies, number, "no cookie in it");
    }
}

}  // namespace

std::string HostOf(std::string_view address) {
    const std::size_t scheme = address.find("://");
    const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t end = std::min(address.find_first_of("/?#:", start), address.size());
    return std::string(address.substr(start, end - start));
}

SessionCookies ReadSessionCookies(std::string_view text,
                                  const std::vector<std::string>& searchHosts) {
    SessionCookies cookies;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);  // Notepad's mark of UTF-8
    }
    const CookieText read = ReadLines(text);
    if (read.lines.empty()) {
        cookies.error = "no cookie in it";
        return cookies;
    }
    if (read.netscape) {
        ReadNetscapeLines(read.lines, searchHosts, cookies);
        return cookies;
    }
    if (read.lines.size() > 1) {
        FailAt(cookies, read.lines[1].first,
               "a cookie line is one line (or give a Netscape cookie file)");
        return cookies;
    }
    ReadCookieLine(read.lines.front().first, read.lines.front().second, searchHosts, cookies);
    return cookies;
}

}  // namespace slotscope
