#include "base/gb18030.h"

namespace slotscope {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Four-byte sequences count from 81 30 81 30; the Basic Multilingual Plane ends at 84 31 A4 39
// and the supplementary planes run from 90 30 81 30 (index 189000) to E3 32 9A 35.
constexpr std::uint32_t kFourByteBmpEnd = 39420;
constexpr std::uint32_t kSupplementaryStart = 189000;

bool IsLead(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}
bool IsDigit(unsigned char b) {
    return b >= 0x30 && b <= 0x39;
}
bool IsTrail(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

std::uint32_t FourByteIndex(unsigned char b1, unsigned char b2, unsigned char b3,
                            unsigned char b4) {
    return ((static_cast<std::uint32_t>(b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 +
           (b4 - 0x30);
}

void AppendCodePoint(std::u16string& text, char32_t c) {
    if (c < 0x10000) {
        text += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        text += static_cast<char16_t>(0xD800 + (c >> 10));
        text += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

}  // namespace

std::string Gb18030FourBytes(std::uint32_t index) {
    std::string bytes(4, '\0');
    bytes[3] = static_cast<char>(0x30 + index % 10);
    index /= 10;
    bytes[2] = static_cast<char>(0x81 + index % 126);
    index /= 126;
    bytes[1] = static_cast<char>(0x30 + index % 10);
    index /= 10;
    bytes[0] = static_cast<char>(0x81 + index);
    return bytes;
}

std::string EncodeGbkWith(std::u16string_view text, const Gb18030Table& table) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            bytes += static_cast<char>(c);
            continue;
        }
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            const char32_t code =
                0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            bytes += Gb18030FourBytes(kSupplementaryStart + (code - 0x10000));
            ++i;
            continue;
        }
        const char16_t character = c >= 0xD800 && c <= 0xDFFF ? kReplacement : c;
        std::string encoded = table.Encode936(character);
        if (encoded.empty()) {
            encoded = table.EncodeGb18030(character);
        }
        bytes += encoded.empty() ? std::string("?") : encoded;
    }
    return bytes;
}

std::u16string DecodeGb18030With(std::string_view bytes, const Gb18030Table& table) {
    std::u16string text;
    text.reserve(bytes.size());
    const std::size_t size = bytes.size();
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::size_t i = 0;
    while (i < size) {
        const unsigned char b1 = at(i);
        if (b1 < 0x80) {
            text += static_cast<char16_t>(b1);
            ++i;
            continue;
        }
        if (!IsLead(b1)) {
            text += kReplacement;
            ++i;
            continue;
        }
        if (i + 1 == size) {
            text += kReplacement;  // cut short at the end
            break;
        }
        const unsigned char b2 = at(i + 1);
        if (IsTrail(b2)) {
            text += table.DecodeTwoByte(b1, b2);
            i += 2;
            continue;
        }
        if (!IsDigit(b2)) {
            // An ASCII byte is read again; 0xFF goes with the lead.
            text += kReplacement;
            i += b2 < 0x80 ? 1 : 2;
            continue;
        }
        if (i + 3 >= size) {
            // A four-byte sequence cut short at the end: one replacement for what is left,
            // provided what is there is well formed so far.
            if (i + 2 == size || IsLead(at(i + 2))) {
                text += kReplacement;
                break;
            }
            text += kReplacement;
            ++i;
            continue;
        }
        const unsigned char b3 = at(i + 2);
        const unsigned char b4 = at(i + 3);
        if (!IsLead(b3) || !IsDigit(b4)) {
            text += kReplacement;  // the lead alone; the digit after it is read as ASCII
            ++i;
            continue;
        }
        const std::uint32_t index = FourByteIndex(b1, b2, b3, b4);
        if (index < kFourByteBmpEnd) {
            text += table.DecodeFourByte(index);
        } else if (index >= kSupplementaryStart && index - kSupplementaryStart < 0x100000) {
            AppendCodePoint(text, 0x10000 + (index - kSupplementaryStart));
        } else {
            text += kReplacement;
        }
        i += 4;
    }
    return text;
}

}  // namespace slotscope
