#include "regions/proxy_address.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "base/ascii.h"
#include "base/network_address.h"

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

// The proxy's place, as an address's authority without credentials.
std::string HostAndPort(const ProxyAddress& proxy) {
    return Authority{.user = {}, .password = {}, .host = proxy.host, .port = proxy.port}
        .HostAndPort();
}

tl::unexpected<std::string> Refused(std::string why) {
    return tl::unexpected(std::move(why));
}

}  // namespace

bool ProxyAddress::IsLoopback() const {
    return IsLoopbackHost(host);
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
    auto authority = ReadAuthority(rest);
    if (!authority) {
        return Refused(std::move(authority).error());
    }
    proxy.user = std::move(authority->user);
    proxy.password = std::move(authority->password);
    proxy.host = std::move(authority->host);
    proxy.port = authority->port;
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
