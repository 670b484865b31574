#pragma once

// The regions a run checks from, as a regions file or the settings dialog lists them: one
// `NAME = ADDRESS` per line, where ADDRESS is a proxy address or `direct` (this machine's own
// connection). A name on several lines adds to its pool; `#` at the start of a line or after a
// blank starts a comment.

#include <string>
#include <string_view>
#include <tl/expected.hpp>
#include <vector>

#include "regions/proxy_address.h"

namespace slotscope {

struct Region {
    std::u16string name;
    std::vector<ProxyAddress> pool;  // empty for the machine's own connection
    bool direct() const { return pool.empty(); }
};

// Why a list could not be read: the line (1-based; 0 for the list as a whole) and what is wrong,
// in words that never quote a password.
struct RegionListError {
    int line = 0;
    std::string message;
};

// The longest region name, in characters.
inline constexpr std::size_t kMaxRegionNameLength = 32;

// What is wrong with a region name, or empty when it is a good one: 1 to 32 characters, none of
// \ / : * ? " < > | nor a control character, not starting or ending with a space or a dot (the
// name becomes part of a file's name).
std::string RegionNameFault(std::u16string_view name);

// Reads the lines of a list in the order they name the regions.
tl::expected<std::vector<Region>, RegionListError> ReadRegionList(std::u16string_view text);

// The regions of `regions` that `names` name, in the list's order, names compared as Windows
// compares file names; or the first name that names none.
tl::expected<std::vector<Region>, std::u16string> ChooseRegions(
    const std::vector<Region>& regions, const std::vector<std::u16string>& names);

}  // namespace slotscope
