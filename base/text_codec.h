#pragma once

#include <string>
#include <string_view>

namespace slotscope {

// Text to GBK (code page 936) bytes. A character GBK cannot represent is written as its
// GB18030 four-byte sequence, so nothing is lost and GBK text comes out unchanged; an unpaired
// surrogate is written as U+FFFD.
std::string EncodeGbk(std::u16string_view text);

// GB18030 bytes (a superset of GBK and GB2312) to text. Invalid bytes become U+FFFD.
std::u16string DecodeGb18030(std::string_view bytes);

// Whether EncodeGbk and DecodeGb18030 know every character of GB18030. Only a system without
// GB18030's tables (Wine has no code page 54936) lacks the four-byte forms of the characters of
// the Basic Multilingual Plane outside GBK, and writes them as "?".
bool KnowsAllOfGb18030();

// UTF-8 bytes to text. Each maximal invalid subsequence becomes one U+FFFD.
std::u16string DecodeUtf8(std::string_view bytes);

// Whether the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Whether the bytes are well-formed UTF-8 without a NUL byte: the bytes that decoding and
// EncodeUtf8WithoutNul give back unchanged, so a page's own bytes can be the HTML parser's input.
bool IsUtf8WithoutNul(std::string_view bytes);

// Text to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

// Text to UTF-8 without a NUL byte, for a reader that ends its input at one (the HTML parser):
// as EncodeUtf8, with U+0000 also as U+FFFD. Made for whole pages: runs of plain ASCII go eight
// units at a time.
std::string EncodeUtf8WithoutNul(std::u16string_view text);

// A text file's bytes as text, in the encoding they are in: UTF-8 or UTF-16 after a byte-order
// mark, else UTF-8 when they are well-formed UTF-8, else GB18030 (which covers GBK, as Notepad
// and Chinese Windows programs save "ANSI" text). A UTF-8 or UTF-16 byte-order mark is dropped.
std::u16string DecodeTextFile(std::string_view bytes);

}  // namespace slotscope
