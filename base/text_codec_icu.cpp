// GBK and GB18030 through ICU, on Linux.

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cstdint>
#include <stdexcept>

#include "base/text_codec.h"

namespace slotscope {
namespace {

constexpr UChar kReplacement = 0xFFFD;

// ICU converters are not thread-safe; each thread keeps its own, opened on first use.
class Converter final {
  public:
    explicit Converter(const char* name) {
        UErrorCode status = U_ZERO_ERROR;
        converter_ = ucnv_open(name, &status);
        if (U_FAILURE(status)) {
            // Without the converter no text can be written or read correctly; ICU's data
            // always carries these, so this means a broken installation.
            throw std::runtime_error(std::string("ICU converter unavailable: ") + name);
        }
    }
    ~Converter() { ucnv_close(converter_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    UConverter* get() const { return converter_; }

  private:
    UConverter* converter_ = nullptr;
};

UConverter* Gb18030() {
    thread_local Converter converter("gb18030");
    return converter.get();
}

// Writes what windows-936 cannot map as GB18030 bytes instead.
void WriteGb18030Instead(const void* /*context*/, UConverterFromUnicodeArgs* args,
                         const UChar* codeUnits, int32_t length, UChar32 /*codePoint*/,
                         UConverterCallbackReason reason, UErrorCode* err) {
    if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) {
        return;
    }
    const bool wellFormed = reason == UCNV_UNASSIGNED;
    const UChar* units = wellFormed ? codeUnits : &kReplacement;
    const int32_t count = wellFormed ? length : 1;

    char bytes[16];
    UErrorCode status = U_ZERO_ERROR;
    UConverter* gb18030 = Gb18030();
    ucnv_resetFromUnicode(gb18030);
    const int32_t written = ucnv_fromUChars(gb18030, bytes, sizeof bytes, units, count, &status);
    if (U_FAILURE(status)) {
        return;  // leaves *err set, so the conversion reports the failure
    }
    *err = U_ZERO_ERROR;
    ucnv_cbFromUWriteBytes(args, bytes, written, 0, err);
}

void WriteReplacement(const void* /*context*/, UConverterToUnicodeArgs* args,
                      const char* /*codeUnits*/, int32_t /*length*/,
                      UConverterCallbackReason reason, UErrorCode* err) {
    if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) {
        return;
    }
    *err = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, err);
}

class GbkEncoder final {
  public:
    GbkEncoder() : converter_("windows-936") {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setFromUCallBack(converter_.get(), WriteGb18030Instead, nullptr, nullptr, nullptr,
                              &status);
    }
    UConverter* get() const { return converter_.get(); }

  private:
    Converter converter_;
};

class Gb18030Decoder final {
  public:
    Gb18030Decoder() : converter_("gb18030") {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setToUCallBack(converter_.get(), WriteReplacement, nullptr, nullptr, nullptr, &status);
    }
    UConverter* get() const { return converter_.get(); }

  private:
    Converter converter_;
};

const UChar* AsUChars(std::u16string_view text) {
    static_assert(sizeof(UChar) == sizeof(char16_t));
    return reinterpret_cast<const UChar*>(text.data());
}

}  // namespace

std::string EncodeGbk(std::u16string_view text) {
    thread_local GbkEncoder encoder;
    if (text.empty()) {
        return {};
    }
    // GB18030 needs at most four bytes for each UTF-16 unit.
    std::string bytes(text.size() * 4 + 4, '\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t written = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        status = U_ZERO_ERROR;
        ucnv_resetFromUnicode(encoder.get());
        written = ucnv_fromUChars(encoder.get(), bytes.data(), static_cast<int32_t>(bytes.size()),
                                  AsUChars(text), static_cast<int32_t>(text.size()), &status);
        if (status != U_BUFFER_OVERFLOW_ERROR) {
            break;
        }
        bytes.resize(static_cast<std::size_t>(written) + 1);
    }
    if (U_FAILURE(status)) {
        throw std::runtime_error("GBK conversion failed");
    }
    bytes.resize(static_cast<std::size_t>(written));
    return bytes;
}

std::u16string DecodeGb18030(std::string_view bytes) {
    thread_local Gb18030Decoder decoder;
    if (bytes.empty()) {
        return {};
    }
    // Every byte gives at most one UTF-16 unit, except a four-byte sequence that gives two.
    std::u16string text(bytes.size() + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t written = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        status = U_ZERO_ERROR;
        ucnv_resetToUnicode(decoder.get());
        written = ucnv_toUChars(decoder.get(), reinterpret_cast<UChar*>(text.data()),
                                static_cast<int32_t>(text.size()), bytes.data(),
                                static_cast<int32_t>(bytes.size()), &status);
        if (status != U_BUFFER_OVERFLOW_ERROR) {
            break;
        }
        text.resize(static_cast<std::size_t>(written) + 1);
    }
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
        throw std::runtime_error("GB18030 conversion failed");
    }
    text.resize(static_cast<std::size_t>(written));
    return text;
}

bool KnowsAllOfGb18030() {
    return true;
}

}  // namespace slotscope
