#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <array>
#include <system_error>

#include "alerts/hmac_sha256.h"

namespace slotscope {
namespace {

void Check(NTSTATUS status) {
    if (status < 0) {
        throw std::system_error(static_cast<int>(status), std::system_category(), "BCrypt");
    }
}

}  // namespace

std::string HmacSha256(std::string_view key, std::string_view message) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    Check(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr,
                                      BCRYPT_ALG_HANDLE_HMAC_FLAG));
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::array<unsigned char, 32> digest{};
    NTSTATUS status = BCryptCreateHash(algorithm, &hash, nullptr, 0,
                                       reinterpret_cast<PUCHAR>(const_cast<char*>(key.data())),
                                       static_cast<ULONG>(key.size()), 0);
    if (status >= 0) {
        status = BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(message.data())),
                                static_cast<ULONG>(message.size()), 0);
    }
    if (status >= 0) {
        status = BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    }
    if (hash != nullptr) {
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    Check(status);
    return {reinterpret_cast<const char*>(digest.data()), digest.size()};
}

}  // namespace slotscope
