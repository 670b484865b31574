#include "net/browser_identity.h"

namespace slotscope {
namespace {

struct Browser {
    const char* userAgent;
    const char* platform;  // sec-ch-ua-platform
    const char* mobile;    // sec-ch-ua-mobile
};

constexpr Browser kDesktopBrowser{
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36",
    "\"Windows\"", "?0"};
constexpr Browser kPhoneBrowser{
    "Mozilla/5.0 (Linux; Android 10; K) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Mobile Safari/537.36",
    "\"Android\"", "?1"};

// What Chrome asks for when it opens a page.
constexpr const char* kAccept =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,"
    "image/apng,*/*;q=0.8,application/signed-exchange;v=b3;q=0.7";

// Chrome 131's brands, as both browsers above send them.
constexpr const char* kBrands =
    R"("Google Chrome";v="131", "Chromium";v="131", "Not_A Brand";v="24")";

}  // namespace

BrowserIdentity RequestIdentity(PageKind page, bool sameOrigin) {
    const Browser& browser = page == PageKind::Phone ? kPhoneBrowser : kDesktopBrowser;
    return {browser.userAgent,
            {
                kAccept,
                "Accept-Language: zh-CN,zh;q=0.9",
                std::string("sec-ch-ua: ") + kBrands,
                std::string("sec-ch-ua-mobile: ") + browser.mobile,
                std::string("sec-ch-ua-platform: ") + browser.platform,
                "Upgrade-Insecure-Requests: 1",
                "Sec-Fetch-Site: " + std::string(sameOrigin ? "same-origin" : "none"),
                "Sec-Fetch-Mode: navigate",
                "Sec-Fetch-User: ?1",
                "Sec-Fetch-Dest: document",
            }};
}

}  // namespace slotscope
