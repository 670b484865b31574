#pragma once

#include <string>
#include <string_view>

#include "core/page_fetcher.h"

namespace slotscope {

// How the bytes of a response body become text.
enum class BodyCharset {
    Gb18030,  // GBK, GB2312 and GB18030 (a superset of both); also the default
    Utf8,
};

// The charset a response declares: from its Content-Type header, else from a <meta charset> or
// a content="...; charset=..." in the first 2 KB of the body. Without a declaration (or with one
// this program does not read) the body is taken as GBK.
BodyCharset DeclaredCharset(std::string_view contentType, std::string_view body);

// The body as text in its declared charset. Bytes invalid in the charset become U+FFFD.
std::u16string DecodeBody(std::string_view body, std::string_view contentType);

// A fetched body as the run takes it: its text, and its bytes kept as the page reader's input
// when they are UTF-8 already (and hold no NUL), which spares encoding the text again.
FetchResult PageOfBody(std::string body, BodyCharset charset);

// Whether a redirect target is a search engine's verification or captcha address.
bool IsVerificationAddress(std::string_view address);

// Whether a body is a verification page served instead of results: its title contains "验证",
// or its first 4 KB contain "百度安全验证", "请输入验证码" or "antispider". A results page shows
// the keyword in its title ("keyword_百度搜索"), so that title does not count: a search for a
// keyword with "验证" in it is not a verification page.
bool IsVerificationPage(std::string_view body, BodyCharset charset);

}  // namespace slotscope
