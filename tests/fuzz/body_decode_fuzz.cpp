// A response body as text: decoding never fails, gives well-formed UTF-16, and keeps ASCII as
// it is in either charset; the verification-page check copes with any bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/page_body.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first line is the Content-Type header, the rest the body.
    const std::size_t lineEnd = input.find('\n');
    const std::string_view contentType =
        lineEnd == std::string_view::npos ? std::string_view() : input.substr(0, lineEnd);
    const std::string_view body =
        lineEnd == std::string_view::npos ? input : input.substr(lineEnd + 1);

    const slotscope::BodyCharset charset = slotscope::DeclaredCharset(contentType, body);
    const std::u16string text = slotscope::DecodeBody(body, contentType);
    FUZZ_CHECK(!slotscope::fuzz::HasLoneSurrogate(text));

    bool ascii = true;
    for (const char c : body) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii) {
        FUZZ_CHECK(text == std::u16string(body.begin(), body.end()));
    }
    (void)slotscope::IsVerificationPage(body, charset);
    (void)slotscope::IsVerificationAddress(body);
    return 0;
}
