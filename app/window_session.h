#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/search_address.h"
#include "net/cookie_file.h"
#include "net/page_fetch.h"

namespace slotscope {

// The user's cookie text read for the built-in search hosts, desktop and phone.
inline SessionCookies WindowSessionCookies(std::string_view cookie) {
    return ReadSessionCookies(cookie, {HostOf(SearchUrlPrefix), HostOf(MobileSearchUrlPrefix)});
}

// The window's page fetch for one run, in the user's session where a cookie was given.
inline std::unique_ptr<PageFetcher> MakeWindowFetcher(std::string_view cookie) {
    FetchSettings settings;
    settings.cookies = WindowSessionCookies(cookie).jarLines;
    return std::make_unique<HttpPageFetcher>(std::move(settings));
}

// Where the cookie text cannot be read, in the window's words ("第2行"), never quoting it; empty
// when it can.
inline std::string WindowCookieError(std::string_view cookie) {
    const SessionCookies cookies = WindowSessionCookies(cookie);
    if (cookies.error.empty()) {
        return {};
    }
    return cookies.errorLine > 0 ? "第" + std::to_string(cookies.errorLine) + "行" : "没有Cookie";
}

}  // namespace slotscope
