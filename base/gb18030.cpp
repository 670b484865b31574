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

// The character of a four-byte sequence's index: of the Basic Multilingual Plane from the table,
// of the supplementary planes worked out, U+FFFD between and after them.
void AppendFourByteCharacter(std::u16string& text, std::uint32_t index, const Gb18030Table& table) {
    if (index < kFourByteBmpEnd) {
        text += table.DecodeFourByte(index);
    } else if (index >= kSupplementaryStart && index - kSupplementaryStart < 0x100000) {
        AppendCodePoint(text, 0x10000 + (index - kSupplementaryStart));
    } else {
        text += kReplacement;
    }
}

// Reads the four-byte sequence whose lead and first digit are at bytes[i] into text; gives how
// many bytes it took.
std::size_t ReadFourBytes(std::string_view bytes, std::size_t i, const Gb18030Table& table,
                          std::u16string& text) {
    const std::size_t size = bytes.size();
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    if (i + 3 >= size) {
        // Cut short at the end: one replacement for what is left, provided what is there is well
        // formed so far.
        text += kReplacement;
        return i + 2 == size || IsLead(at(i + 2)) ? size - i : 1;
    }
    const unsigned char b3 = at(i + 2);
    const unsigned char b4 = at(i + 3);
    if (!IsLead(b3) || !IsDigit(b4)) {
        text += kReplacement;  // the lead alone; the digit after it is read as ASCII
        return 1;
    }
    AppendFourByteCharacter(text, FourByteIndex(at(i), at(i + 1), b3, b4), table);
    return 4;
}

// Reads the sequence that begins with the lead byte at bytes[i] into text; gives how many bytes
// it took.
std::size_t ReadMultiByte(std::string_view bytes, std::size_t i, const Gb18030Table& table,
                          std::u16string& text) {
    if (i + 1 == bytes.size()) {
        text += kReplacement;  // cut short at the end
        return 1;
    }
    const auto b1 = static_cast<unsigned char>(bytes[i]);
    const auto b2 = static_cast<unsigned char>(bytes[i + 1]);
    if (IsTrail(b2)) {
        text += table.DecodeTwoByte(b1, b2);
        return 2;
    }
    if (!IsDigit(b2)) {
        // An ASCII byte is read again; 0xFF goes with the lead.
        text += kReplacement;
        return b2 < 0x80 ? 1 : 2;
    }
    return ReadFourBytes(bytes, i, table, text);
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
    std::size_t i = 0;
    while (i < size) {
        const auto b1 = static_cast<unsigned char>(bytes[i]);
        if (b1 < 0x80) {
            text += static_cast<char16_t>(b1);
            ++i;
        } else if (!IsLead(b1)) {
            text += kReplacement;
            ++i;
        } else {
            i += ReadMultiByte(bytes, i, table, text);
        }
    }
    return text;
}

}  // namespace slotscope
