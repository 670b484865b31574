#include <brotli/encode.h>

#include <cstdint>

#include "tests/support/compression.h"

namespace slotscope::testing {

std::string Brotli(std::string_view bytes) {
    std::size_t size = BrotliEncoderMaxCompressedSize(bytes.size());
    std::string out(size, '\0');
    BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT,
                          bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()), &size,
                          reinterpret_cast<uint8_t*>(out.data()));
    out.resize(size);
    return out;
}

}  // namespace slotscope::testing
