#pragma once

// HMAC-SHA256, from the platform's own cryptography: OpenSSL's libcrypto on Linux, Windows'
// CNG (BCrypt) there.

#include <string>
#include <string_view>

namespace slotscope {

// The 32 bytes of HMAC-SHA256 of `message` under `key`.
std::string HmacSha256(std::string_view key, std::string_view message);

}  // namespace slotscope
