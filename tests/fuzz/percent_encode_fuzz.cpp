// The keyword in the address: only unreserved characters and %XX, and decoding it gives back
// the keyword's GBK (GB18030) bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/text_codec.h"
#include "core/search_address.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

bool Unreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;  // lower-case hex is not what the encoder writes
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string keyword = slotscope::fuzz::Parts(data, size, 1)[0];
    const std::string encoded = slotscope::PercentEncodeKeyword(keyword);

    std::string decoded;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%') {
            FUZZ_CHECK(i + 2 < encoded.size());  // two hex digits follow
            const int high = HexValue(encoded[i + 1]);
            const int low = HexValue(encoded[i + 2]);
            FUZZ_CHECK(high >= 0 && low >= 0);
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            FUZZ_CHECK(Unreserved(encoded[i]));
            decoded += encoded[i];
        }
    }
    FUZZ_CHECK(decoded == slotscope::EncodeGbk(keyword));
    // The address is the prefix and the encoded keyword, nothing else.
    FUZZ_CHECK(slotscope::SearchAddress("http://search.test/s?wd=", keyword) ==
               "http://search.test/s?wd=" + encoded);
    return 0;
}
