#include "regions/proxy_address.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "base/ascii.h"
#include "base/numbers.h"

namespace slotscope {
namespace {

struct SchemeName {
    std::string_view prefix;  // in lower case, with "://"
    ProxyAddress::Scheme scheme;
};

constexpr std::array<SchemeName, 4> kSchemes = {{
    {"http://", ProxyAddress::Scheme::Http},
    {"https://", ProxyAddress::Scheme::Https},
    {"socks5://", ProxyAddress::Scheme::Socks5},
    {"socks5h://", ProxyAddress::Scheme::Socks5},
}};

int HexValue(char c) {
    if (ascii::IsDigit(c)) {
        return c - '0';
    }
    const char lower = ascii::Lower(c);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// Percent-decodes a user name or password; nullopt where a % is not followed by two hex digits.
std::optional<std::string> PercentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = high < 0 ? -1 : HexValue(text[i + 2]);
        if (low < 0) {
            return std::nullopt;
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

// A host name of letters, digits, hyphens and dots, or an IPv4 address (which is one).
bool IsHostName(std::string_view host) {
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.back() == '.') {
        return false;
    }
    return std::all_of(host.begin(), host.end(),
                       [](char c) { return ascii::IsLabelCharacter(c) || c == '.'; }) &&
           host.find("..") == std::string_view::npos;
}

bool IsIpv6(std::string_view host) {
    return !host.empty() &&
           host.find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos &&
           host.find(':') != std::string_view::npos;
}

bool IsLoopbackIpv4(std::string_view host) {
    // 127.0.0.0/8 written as four decimal parts.
    if (!host.starts_with("127.")) {
        return false;
    }
    int parts = 0;
    std::size_t at = 0;
    while (at <= host.size()) {
        const std::size_t dot = std::min(host.find('.', at), host.size());
        if (!WholeNumber(host.substr(at, dot - at), 0, 255)) {
            return false;
        }
        ++parts;
        at = dot + 1;
    }
    return parts == 4;
}

std::string_view SchemePrefix(ProxyAddress::Scheme scheme) {
    switch (scheme) {
        case ProxyAddress::Scheme::Http:
            return "http://";
        case ProxyAddress::Scheme::Https:
            return "https://";
        case ProxyAddress::Scheme::Socks5:
            break;
    }
    return "socks5://";
}

std::string HostAndPort(const ProxyAddress& proxy) {
    const bool bracketed = proxy.host.find(':') != std::string::npos;
    return (bracketed ? "[" + proxy.host + "]" : proxy.host) + ":" + std::to_string(proxy.port);
}

tl::unexpected<std::string> Refused(std::string why) {
    return tl::unexpected(std::move(why));
}

}  // namespace

bool ProxyAddress::IsLoopback() const {
    return ascii::EqualsLower(host, "localhost") || host == "::1" || IsLoopbackIpv4(host);
}

std::string ProxyAddress::Shown() const {
    std::string shown(SchemePrefix(scheme));
    if (HasCredentials()) {
        shown += user + ":***@";
    }
    return shown + HostAndPort(*this);
}

std::string ProxyAddress::ForTransport() const {
    const std::string_view prefix = scheme == Scheme::Socks5 ? "socks5h://" : SchemePrefix(scheme);
    return std::string(prefix) + HostAndPort(*this);
}

namespace {

// Takes the user:password@ before the host, if any, from `rest` into `proxy`. The credentials
// end at the last @: a password may hold one unencoded.
std::optional<std::string> TakeCredentials(std::string_view& rest, ProxyAddress& proxy) {
    const std::size_t at = rest.rfind('@');
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view credentials = rest.substr(0, at);
    const std::size_t colon = credentials.find(':');
    std::optional<std::string> user = PercentDecoded(credentials.substr(0, colon));
    std::optional<std::string> password = colon == std::string_view::npos
                                              ? std::string()
                                              : PercentDecoded(credentials.substr(colon + 1));
    if (!user || !password) {
        return "the user name or password has a % not followed by two hex digits";
    }
    if (user->empty()) {
        return "the proxy address has a password but no user name";
    }
    // A line break or a NUL would end the credentials early in what carries them to the proxy.
    const auto control = [](unsigned char c) { return c < 0x20 || c == 0x7F; };
    if (std::any_of(user->begin(), user->end(), control) ||
        std::any_of(password->begin(), password->end(), control)) {
        return "the user name or password holds a control character";
    }
    proxy.user = std::move(*user);
    proxy.password = std::move(*password);
    rest = rest.substr(at + 1);
    return std::nullopt;
}

// Reads host:port or [IPv6]:port into `proxy`; what is wrong, if anything.
std::optional<std::string> TakeHostAndPort(std::string_view rest, ProxyAddress& proxy) {
    std::string_view host;
    std::string_view port;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || !IsIpv6(rest.substr(1, close - 1))) {
            return "the proxy's host is not a valid IPv6 address";
        }
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        port = after.starts_with(':') ? after.substr(1) : std::string_view();
    } else {
        const std::size_t colon = rest.rfind(':');
        host = rest.substr(0, colon);
        port = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!IsHostName(host)) {
            return "the proxy's host is not a host name or an IP address";
        }
    }
    const std::optional<int> number = WholeNumber(port, 1, 65535);
    if (!number) {
        return "the proxy address needs a port from 1 to 65535 after the host";
    }
    proxy.host = ascii::Lowered(host);
    proxy.port = static_cast<std::uint16_t>(*number);
    return std::nullopt;
}

}  // namespace

tl::expected<ProxyAddress, std::string> ParseProxyAddress(std::string_view text) {
    ProxyAddress proxy;
    const auto* const scheme =
        std::find_if(kSchemes.begin(), kSchemes.end(),
                     [&](const SchemeName& s) { return ascii::StartsWithLower(text, s.prefix); });
    if (scheme == kSchemes.end()) {
        return Refused("a proxy address starts with http://, https://, socks5:// or socks5h://");
    }
    proxy.scheme = scheme->scheme;
    std::string_view rest = text.substr(scheme->prefix.size());
    if (rest.ends_with('/')) {
        rest.remove_suffix(1);
    }
    if (std::optional<std::string> wrong = TakeCredentials(rest, proxy)) {
        return Refused(std::move(*wrong));
    }
    if (std::optional<std::string> wrong = TakeHostAndPort(rest, proxy)) {
        return Refused(std::move(*wrong));
    }
    if (!proxy.password.empty() && proxy.scheme != ProxyAddress::Scheme::Https &&
        !proxy.IsLoopback()) {
        return Refused("a proxy password would cross the network in clear over " +
                       std::string(SchemePrefix(proxy.scheme)) +
                       "; use the proxy's https:// address, or one that admits this machine "
                       "without a password");
    }
    return proxy;
}

}  // namespace slotscope
