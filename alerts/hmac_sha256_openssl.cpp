#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <array>
#include <new>

#include "alerts/hmac_sha256.h"

namespace slotscope {

std::string HmacSha256(std::string_view key, std::string_view message) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    // An empty key or message is still a pointer to OpenSSL; the data of an empty view may be
    // null.
    static constexpr unsigned char kNothing = 0;
    const auto* keyBytes =
        key.empty() ? &kNothing : reinterpret_cast<const unsigned char*>(key.data());
    const auto* messageBytes =
        message.empty() ? &kNothing : reinterpret_cast<const unsigned char*>(message.data());
    if (HMAC(EVP_sha256(), keyBytes, static_cast<int>(key.size()), messageBytes, message.size(),
             digest.data(), &length) == nullptr) {
        throw std::bad_alloc();
    }
    return {reinterpret_cast<const char*>(digest.data()), length};
}

}  // namespace slotscope
