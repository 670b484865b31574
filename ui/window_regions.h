#pragma once

// The region choice of the window: the machine's own connection, each region of the settings,
// or all of them at once.

#include <string>
#include <tl/expected.hpp>
#include <vector>

#include "regions/region_list.h"

namespace slotscope {

// The choices for the regions the settings hold (their text as the dialog keeps it): 本机, each
// region by name, then 全部地域 where there is any region.
std::vector<std::u16string> RegionChoices(const std::u16string& regions);

// The regions a run checks from for the window's choice: the machine's own connection (a region
// without a name or proxies) for 本机, every region for 全部地域, else the one named; or why the
// choice names none, as the status says it.
tl::expected<std::vector<Region>, std::u16string> ChosenRegions(const std::u16string& regions,
                                                                const std::u16string& choice);

}  // namespace slotscope
