#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace slotscope {

// What GB18030 takes from a character table: the system's (the code pages on Windows) or ICU's.
// Everything else of the encoding, the byte structure, the four-byte forms of the supplementary
// planes and what becomes U+FFFD, is worked out in gb18030.cpp the same way everywhere.
class Gb18030Table {
  public:
    virtual ~Gb18030Table() = default;

    // The code page 936 bytes of a character of the Basic Multilingual Plane (one byte for the
    // euro sign, else two), or nothing when code page 936 has no exact form for it.
    virtual std::string Encode936(char16_t c) const = 0;
    // The GB18030 bytes of a character code page 936 lacks (four, or two for the few that
    // GB18030 gives a two-byte form), or nothing where unknown.
    virtual std::string EncodeGb18030(char16_t c) const = 0;
    // The character of a two-byte GB18030 sequence; U+FFFD when it has none.
    virtual char16_t DecodeTwoByte(unsigned char lead, unsigned char trail) const = 0;
    // The character of a four-byte sequence of the Basic Multilingual Plane, given by its index
    // counted from 81 30 81 30; U+FFFD when it has none or where it is unknown.
    virtual char16_t DecodeFourByte(std::uint32_t index) const = 0;

  protected:
    Gb18030Table() = default;
    Gb18030Table(const Gb18030Table&) = default;
    Gb18030Table& operator=(const Gb18030Table&) = default;
};

// The four bytes of the four-byte sequence with that index, counted from 81 30 81 30.
std::string Gb18030FourBytes(std::uint32_t index);

// Text to GBK: code page 936 where it has the character, else GB18030's four bytes; an unpaired
// surrogate as U+FFFD's, and "?" where the table knows no form (only a system without GB18030).
std::string EncodeGbkWith(std::u16string_view text, const Gb18030Table& table);

// GB18030 bytes to text. A byte that cannot begin a character, or a sequence cut short, becomes
// one U+FFFD and reading goes on with the byte after the first (an ASCII byte is read again).
std::u16string DecodeGb18030With(std::string_view bytes, const Gb18030Table& table);

}  // namespace slotscope
