#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace slotscope {

// A side's shown sites as one column of the history: joined by spaces, which no site holds. The
// side's listing count, kept beside them, tells an empty list from one empty site.
inline std::string JoinSites(const std::vector<std::string>& sites) {
    std::string joined;
    for (std::size_t i = 0; i < sites.size(); ++i) {
        joined += i == 0 ? "" : " ";
        joined += sites[i];
    }
    return joined;
}

inline std::vector<std::string> SplitSites(std::string_view joined, int listings) {
    std::vector<std::string> sites;
    for (int i = 0; i < listings; ++i) {
        const std::size_t space = joined.find(' ');
        sites.emplace_back(joined.substr(0, space));
        joined = space == std::string_view::npos ? std::string_view{} : joined.substr(space + 1);
    }
    return sites;
}

}  // namespace slotscope
