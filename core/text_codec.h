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

// UTF-8 bytes to text. Invalid bytes become U+FFFD.
std::u16string DecodeUtf8(std::string_view bytes);

// Text to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

}  // namespace slotscope
