#pragma once

// The part of an address after its "scheme://" that says where to connect and as whom:
// [user[:password]@]host:port, as a user writes it in a settings file.

#include <cstdint>
#include <string>
#include <string_view>
#include <tl/expected.hpp>

namespace slotscope {

struct Authority {
    std::string user;      // decoded; empty without credentials
    std::string password;  // decoded; a credential, never shown
    std::string host;      // a name or IPv4 address in lower case, or an IPv6 address unbracketed
    std::uint16_t port = 0;

    bool HasCredentials() const { return !user.empty() || !password.empty(); }
    // Whether the host is this machine (localhost, 127.0.0.0/8, ::1).
    bool IsLoopback() const;
    // "host:port", an IPv6 address in brackets.
    std::string HostAndPort() const;

    bool operator==(const Authority&) const = default;
};

// Reads user:password@host:port (the credentials optional and percent-encoded where needed,
// ending at the last @ so that a password may hold one unencoded), or host:port alone when
// `credentials` is false; without a port, `defaultPort` where one is given. What is wrong is
// said in words that never quote the password.
tl::expected<Authority, std::string> ReadAuthority(std::string_view text, bool credentials = true,
                                                   std::uint16_t defaultPort = 0);

// Whether `host` is this machine: localhost, 127.0.0.0/8 or ::1.
bool IsLoopbackHost(std::string_view host);

}  // namespace slotscope
