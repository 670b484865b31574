#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace slotscope {

// The user's own Baidu session, read from what the user saved: a Netscape cookie file (what
// browser extensions export), or one line as copied from a browser's developer tools
// ("BAIDUID=…; BDUSS=…", "Cookie:" before it or not). They are told apart by their content.
struct SessionCookies {
    // The cookies as lines of a Netscape cookie file, for libcurl's cookie jar, every one marked
    // secure: sent over HTTPS only, or to this machine (localhost, 127.0.0.1, ::1).
    std::vector<std::string> jarLines;
    // A cookie file's cookies for other sites than the search's, which were left out.
    std::size_t leftOut = 0;
    // Why the text is no cookie file: "line N: …". It never quotes the text, which holds a
    // login. Empty when the text was read.
    std::string error;
    // The line the error is at, counting from 1; 0 when it is at no one line (no cookie at all).
    std::size_t errorLine = 0;
};

// A cookie line goes to the domain of every host of `searchHosts` (the search addresses' hosts:
// www.baidu.com and m.baidu.com share .baidu.com), as the site's own cookies do. Of a cookie file
// (a browser's export holds every site's) only the cookies of those domains are taken, and they
// go where their own domains say; none of them is an error.
SessionCookies ReadSessionCookies(std::string_view text,
                                  const std::vector<std::string>& searchHosts);

// The host of an address: after "://", up to the first '/', '?', '#' or ':'.
std::string HostOf(std::string_view address);

}  // namespace slotscope
