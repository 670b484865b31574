// The encodings written out by hand (UTF-8 everywhere, GB18030's structure on Windows) against
// ICU's converters: on random bytes and text they must give the same result, so that Linux and
// Windows agree byte for byte.

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <random>
#include <string>

#include "base/gb18030.h"
#include "base/text_codec.h"

namespace slotscope {
namespace {

// One converter per use; errors stop the conversion instead of substituting.
class IcuConverter final {
  public:
    explicit IcuConverter(const char* name) {
        UErrorCode status = U_ZERO_ERROR;
        converter_ = ucnv_open(name, &status);
        ucnv_setFromUCallBack(converter_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                              &status);
        ucnv_setToUCallBack(converter_, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                            &status);
    }
    ~IcuConverter() { ucnv_close(converter_); }
    IcuConverter(const IcuConverter&) = delete;
    IcuConverter& operator=(const IcuConverter&) = delete;

    std::string FromUnicode(char16_t c) const {
        char bytes[8];
        UErrorCode status = U_ZERO_ERROR;
        ucnv_resetFromUnicode(converter_);
        const auto unit = static_cast<UChar>(c);
        const int32_t written = ucnv_fromUChars(converter_, bytes, sizeof bytes, &unit, 1, &status);
        return U_FAILURE(status) ? std::string()
                                 : std::string(bytes, static_cast<std::size_t>(written));
    }

    char16_t ToUnicode(const char* bytes, int32_t length) const {
        UChar text[4];
        UErrorCode status = U_ZERO_ERROR;
        ucnv_resetToUnicode(converter_);
        const int32_t written = ucnv_toUChars(converter_, text, 4, bytes, length, &status);
        return U_FAILURE(status) || written != 1 ? char16_t{0xFFFD}
                                                 : static_cast<char16_t>(text[0]);
    }

  private:
    UConverter* converter_ = nullptr;
};

// The tables from ICU, as text_codec_win.cpp takes them from Windows' code pages.
class IcuTable final : public Gb18030Table {
  public:
    std::string Encode936(char16_t c) const override { return windows936_.FromUnicode(c); }
    std::string EncodeGb18030(char16_t c) const override { return gb18030_.FromUnicode(c); }
    char16_t DecodeTwoByte(unsigned char lead, unsigned char trail) const override {
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        return gb18030_.ToUnicode(pair, 2);
    }
    char16_t DecodeFourByte(std::uint32_t index) const override {
        const std::string bytes = Gb18030FourBytes(index);
        return gb18030_.ToUnicode(bytes.data(), 4);
    }

  private:
    IcuConverter windows936_{"windows-936"};
    IcuConverter gb18030_{"gb18030"};
};

// Bytes drawn mostly from the values where the encodings' rules change.
std::string RandomBytes(std::mt19937& rng) {
    static constexpr unsigned char kEdges[] = {
        0x00, 0x20, 0x2F, 0x30, 0x35, 0x39, 0x3A, 0x40, 0x41, 0x7E, 0x7F, 0x80, 0x81, 0x84,
        0x85, 0x8F, 0x90, 0x9F, 0xA0, 0xA1, 0xA4, 0xA5, 0xA8, 0xBC, 0xBF, 0xC0, 0xC2, 0xCF,
        0xDF, 0xE0, 0xE3, 0xE4, 0xED, 0xEE, 0xEF, 0xF0, 0xF4, 0xF5, 0xFE, 0xFF};
    std::string bytes(rng() % 12, '\0');
    for (char& b : bytes) {
        b = static_cast<char>(rng() % 3 == 0 ? rng() % 256 : kEdges[rng() % sizeof kEdges]);
    }
    return bytes;
}

TEST(EncodingsAgreeWithIcu, Gb18030DecodingOfRandomBytes) {
    const IcuTable table;
    std::mt19937 rng(936);
    for (int i = 0; i < 200'000; ++i) {
        const std::string bytes = RandomBytes(rng);
        ASSERT_EQ(DecodeGb18030With(bytes, table), DecodeGb18030(bytes))
            << ::testing::PrintToString(bytes);
    }
}

TEST(EncodingsAgreeWithIcu, GbkEncodingOfEveryCharacter) {
    const IcuTable table;
    // Every unit of the Basic Multilingual Plane (the surrogates unpaired), then pairs.
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        const std::u16string text(1, static_cast<char16_t>(c));
        ASSERT_EQ(EncodeGbkWith(text, table), EncodeGbk(text))
            << "U+" << std::hex << static_cast<unsigned>(c);
    }
    for (const std::u16string_view text : {u"😀", u"𠀀", u"\U0010FFFF", u"\U00010000"}) {
        EXPECT_EQ(EncodeGbkWith(text, table), EncodeGbk(text));
    }
}

TEST(EncodingsAgreeWithIcu, Utf8DecodingOfRandomBytes) {
    std::mt19937 rng(8);
    for (int i = 0; i < 200'000; ++i) {
        const std::string bytes = RandomBytes(rng);
        std::u16string icu(bytes.size() + 1, u'\0');
        int32_t written = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strFromUTF8WithSub(reinterpret_cast<UChar*>(icu.data()), static_cast<int32_t>(icu.size()),
                             &written, bytes.data(), static_cast<int32_t>(bytes.size()), 0xFFFD,
                             nullptr, &status);
        icu.resize(static_cast<std::size_t>(written));
        ASSERT_EQ(DecodeUtf8(bytes), icu) << ::testing::PrintToString(bytes);
        EXPECT_EQ(IsValidUtf8(bytes), EncodeUtf8(icu) == bytes) << ::testing::PrintToString(bytes);
    }
}

}  // namespace
}  // namespace slotscope
