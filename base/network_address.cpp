#include "base/network_address.h"

#include <algorithm>
#include <optional>

#include "base/ascii.h"
#include "base/numbers.h"

namespace slotscope {
namespace {

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

// Takes the user:password@ before the host, if any, from `rest` into `authority`. The
// credentials end at the last @: a password may hold one unencoded.
std::optional<std::string> TakeCredentials(std::string_view& rest, Authority& authority) {
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
        return "the address has a password but no user name";
    }
    // A line break or a NUL would end the credentials early in what carries them on.
    const auto control = [](unsigned char c) { return c < 0x20 || c == 0x7F; };
    if (std::any_of(user->begin(), user->end(), control) ||
        std::any_of(password->begin(), password->end(), control)) {
        return "the user name or password holds a control character";
    }
    authority.user = std::move(*user);
    authority.password = std::move(*password);
    rest = rest.substr(at + 1);
    return std::nullopt;
}

// Reads host:port or [IPv6]:port into `authority`; what is wrong, if anything.
std::optional<std::string> TakeHostAndPort(std::string_view rest, std::uint16_t defaultPort,
                                           Authority& authority) {
    std::string_view host;
    std::string_view port;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || !IsIpv6(rest.substr(1, close - 1))) {
            return "the host is not a valid IPv6 address";
        }
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        port = after.starts_with(':') ? after.substr(1) : std::string_view();
    } else {
        const std::size_t colon = rest.rfind(':');
        host = rest.substr(0, colon);
        port = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!IsHostName(host)) {
            return "the host is not a host name or an IP address";
        }
    }
    const bool portGiven = rest.starts_with('[') ? rest.find("]:") != std::string_view::npos
                                                 : rest.find(':') != std::string_view::npos;
    const std::optional<int> number =
        !portGiven && defaultPort != 0 ? defaultPort : WholeNumber(port, 1, 65535);
    if (!number) {
        return "the address needs a port from 1 to 65535 after the host";
    }
    authority.host = ascii::Lowered(host);
    authority.port = static_cast<std::uint16_t>(*number);
    return std::nullopt;
}

}  // namespace

bool Authority::IsLoopback() const {
    return IsLoopbackHost(host);
}

std::string Authority::HostAndPort() const {
    const bool bracketed = host.find(':') != std::string::npos;
    return (bracketed ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool IsLoopbackHost(std::string_view host) {
    return ascii::EqualsLower(host, "localhost") || host == "::1" || IsLoopbackIpv4(host);
}

tl::expected<Authority, std::string> ReadAuthority(std::string_view text, bool credentials,
                                                   std::uint16_t defaultPort) {
    Authority authority;
    if (credentials) {
        if (std::optional<std::string> wrong = TakeCredentials(text, authority)) {
            return tl::unexpected(std::move(*wrong));
        }
    } else if (text.find('@') != std::string_view::npos) {
        return tl::unexpected(std::string("the address cannot hold a user name or password"));
    }
    if (std::optional<std::string> wrong = TakeHostAndPort(text, defaultPort, authority)) {
        return tl::unexpected(std::move(*wrong));
    }
    return authority;
}

}  // namespace slotscope
