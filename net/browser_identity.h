#pragma once

#include <string>
#include <vector>

#include "page/page_kind.h"

namespace slotscope {

// What a request says of the browser it comes from, the same for every request of its kind:
// Chrome on Windows for the desktop page, Chrome on Android for the phone's, with the client
// hints and navigation headers those browsers send when the user opens a page.
struct BrowserIdentity {
    std::string userAgent;
    std::vector<std::string> headers;  // "Name: value", the User-Agent apart
};

// The identity of a request for a page of that kind. A request that follows a link from a page
// of the same site (a search from the search home page) says so (Sec-Fetch-Site: same-origin);
// any other is a navigation of its own (none).
BrowserIdentity RequestIdentity(PageKind page, bool sameOrigin);

}  // namespace slotscope
