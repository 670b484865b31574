// The Unicode encodings, the same on every system; GBK and GB18030 are in text_codec_icu.cpp and
// text_codec_win.cpp.

#include "base/text_codec.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace slotscope {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The length of the well-formed UTF-8 sequence at bytes[at], or 0 with `valid` set to the
// length of its maximal well-formed prefix (at least 1) when it is ill-formed.
std::size_t Utf8Sequence(std::string_view bytes, std::size_t at, char32_t& code,
                         std::size_t& valid) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        valid = 1;
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= bytes.size()) {
            valid = i;
            return 0;
        }
        const unsigned char next = byte(i);
        if (next < low || next > high) {
            valid = i;
            return 0;
        }
        low = 0x80;
        high = 0xBF;
        code = (code << 6) | (next & 0x3F);
    }
    return length;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
    }
    if (bytes.size() % 2 != 0) {
        text += kReplacement;  // half a unit at the end
    }
    return text;
}

}  // namespace

std::u16string DecodeUtf8(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        if (lead < 0x80) {
            text += static_cast<char16_t>(lead);
            ++at;
            continue;
        }
        char32_t code = 0;
        std::size_t valid = 0;
        const std::size_t length = Utf8Sequence(bytes, at, code, valid);
        if (length == 0) {
            text += kReplacement;
            at += valid;
        } else if (code < 0x10000) {
            text += static_cast<char16_t>(code);
            at += length;
        } else {
            text += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            text += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
            at += length;
        }
    }
    return text;
}

namespace {

// Whether the bytes are well-formed UTF-8, and hold no NUL unless `nulAllowed`. Runs of plain
// ASCII go eight bytes at a time.
bool IsWellFormedUtf8(std::string_view bytes, bool nulAllowed) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighBits = 0x8080808080808080;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (at + 8 <= bytes.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes.data() + at, sizeof word);
            // No high bit, and (where it matters) no byte that is zero.
            const std::uint64_t zeroBytes = nulAllowed ? 0 : (word - kOnes) & ~word;
            if (((word | zeroBytes) & kHighBits) == 0) {
                at += 8;
                continue;
            }
        }
        if (bytes[at] == '\0' && !nulAllowed) {
            return false;
        }
        char32_t code = 0;
        std::size_t valid = 0;
        const std::size_t length = Utf8Sequence(bytes, at, code, valid);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    return IsWellFormedUtf8(bytes, true);
}

bool IsUtf8WithoutNul(std::string_view bytes) {
    return IsWellFormedUtf8(bytes, false);
}

std::string EncodeUtf8(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendUtf8(bytes, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                                  (text[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(bytes, c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
        }
    }
    return bytes;
}

std::u16string DecodeTextFile(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return DecodeUtf8(bytes.substr(3));
    }
    if (bytes.starts_with("\xFF\xFE")) {
        return DecodeUtf16(bytes.substr(2), false);
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return DecodeUtf16(bytes.substr(2), true);
    }
    return IsValidUtf8(bytes) ? DecodeUtf8(bytes) : DecodeGb18030(bytes);
}

namespace {

char* WriteUtf8(char* out, char32_t c) {
    if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

// Four UTF-16 units at `at`, as one word: the first in the lowest bits (the machine is
// little-endian).
std::uint64_t Units4(const char16_t* at) {
    static_assert(std::endian::native == std::endian::little);
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// Whether four units are all ASCII and none of them is U+0000.
bool PlainAscii4(std::uint64_t word) {
    constexpr std::uint64_t kHigh = 0xFF80FF80FF80FF80;
    constexpr std::uint64_t kOnes = 0x0001000100010001;
    constexpr std::uint64_t kTops = 0x8000800080008000;
    // No bit above 0x7F; and no unit is zero (the classic test for a zero lane).
    return (word & kHigh) == 0 && ((word - kOnes) & ~word & kTops) == 0;
}

// Four ASCII units as their four bytes, in order.
void NarrowAscii4(std::uint64_t word, char* out) {
    const std::uint64_t pairs = (word | (word >> 8)) & 0x0000FFFF0000FFFF;
    const auto bytes = static_cast<std::uint32_t>(pairs | (pairs >> 16));
    std::memcpy(out, &bytes, sizeof bytes);
}

// The UTF-8 length of one unit without NUL: at most three bytes (NUL and lone surrogates become
// U+FFFD, and the two halves of a pair take four together).
std::size_t Utf8BytesWithoutNul(char16_t unit) {
    return unit == 0 ? 3 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
}

// Room enough for the text in UTF-8 without NUL, counted first so that a large page is not held
// at three times its size.
std::size_t Utf8SizeWithoutNul(std::u16string_view text) {
    std::size_t bytes = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        if (PlainAscii4(Units4(text.data() + i)) && PlainAscii4(Units4(text.data() + i + 4))) {
            bytes += 8;
            continue;
        }
        for (std::size_t k = i; k < i + 8; ++k) {
            bytes += Utf8BytesWithoutNul(text[k]);
        }
    }
    for (; i < text.size(); ++i) {
        bytes += Utf8BytesWithoutNul(text[i]);
    }
    return bytes;
}

// Eight plain ASCII units at `at` as their bytes at `out`, moving it past them; false, writing
// nothing, when they are not all plain ASCII.
bool WriteAscii8(const char16_t* at, char*& out) {
    const std::uint64_t first = Units4(at);
    const std::uint64_t second = Units4(at + 4);
    if (!PlainAscii4(first) || !PlainAscii4(second)) {
        return false;
    }
    NarrowAscii4(first, out);
    NarrowAscii4(second, out + 4);
    out += 8;
    return true;
}

// The character of text[i], a unit that is not plain ASCII, with U+0000 and a lone surrogate as
// U+FFFD; `i` moves on to the low half of a pair.
char32_t CharacterWithoutNul(std::u16string_view text, std::size_t& i) {
    const char16_t unit = text[i];
    if (unit == 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) {
        return kReplacement;
    }
    if (unit < 0xD800 || unit > 0xDBFF) {
        return unit;
    }
    if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
        return kReplacement;
    }
    ++i;
    return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i] - 0xDC00);
}

}  // namespace

std::string EncodeUtf8WithoutNul(std::u16string_view text) {
    const std::size_t size = text.size();
    std::string out(Utf8SizeWithoutNul(text), '\0');
    char* next = out.data();
    for (std::size_t i = 0; i < size; ++i) {
        if (i + 8 <= size && WriteAscii8(text.data() + i, next)) {
            i += 7;
            continue;
        }
        const char16_t unit = text[i];
        if (unit < 0x80 && unit != 0) {
            *next++ = static_cast<char>(unit);
            continue;
        }
        next = WriteUtf8(next, CharacterWithoutNul(text, i));
    }
    out.resize(static_cast<std::size_t>(next - out.data()));
    return out;
}

}  // namespace slotscope
