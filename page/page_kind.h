#pragma once

namespace slotscope {

// The two result pages a keyword has: the desktop browser's and the phone browser's. They have
// their own addresses, browsers, layouts and results files.
enum class PageKind { Desktop, Phone };

}  // namespace slotscope
