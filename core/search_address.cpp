#include "core/search_address.h"

#include <algorithm>

#include "base/ascii.h"
#include "base/text_codec.h"

namespace slotscope {
namespace {

bool IsUnreserved(unsigned char c) {
    return ascii::IsLabelCharacter(c) || c == '.' || c == '_' || c == '~';
}

std::string PercentEncode(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (IsUnreserved(c)) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0x0F];
        }
    }
    return encoded;
}

}  // namespace

std::string PercentEncodeKeyword(std::u16string_view keyword) {
    return PercentEncode(EncodeGbk(keyword));
}

std::string PercentEncodeUtf8Keyword(std::u16string_view keyword) {
    return PercentEncode(EncodeUtf8(keyword));
}

std::string SearchHomePage(std::string_view prefix) {
    const std::size_t scheme = prefix.find("://");
    const std::size_t hostStart = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t hostEnd = std::min(prefix.find_first_of("/?#", hostStart), prefix.size());
    if (hostEnd == hostStart) {
        return {};
    }
    std::string home(prefix.substr(0, hostEnd));
    home += '/';
    return home;
}

std::string SearchAddress(std::string_view prefix, std::u16string_view keyword, PageKind page) {
    std::string address(prefix);
    address +=
        page == PageKind::Phone ? PercentEncodeUtf8Keyword(keyword) : PercentEncodeKeyword(keyword);
    return address;
}

}  // namespace slotscope
