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

// What is wrong with the cookie text: "line N: ...", never quoting it; empty when nothing is.
inline std::string WindowCookieError(std::string_view cookie) {
    return WindowSessionCookies(cookie).error;
}

}  // namespace slotscope
