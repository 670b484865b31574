#include "ui/window_regions.h"

#include "ui/form_table.h"

namespace slotscope {
namespace {

// The regions of the settings; none where there are none (or the text was changed into one
// that no longer reads: the dialog takes no other).
std::vector<Region> RegionsOf(const std::u16string& regions) {
    return regions.empty() ? std::vector<Region>{}
                           : ReadRegionList(regions).value_or(std::vector<Region>{});
}

}  // namespace

std::vector<std::u16string> RegionChoices(const std::u16string& regions) {
    std::vector<std::u16string> choices{std::u16string(form::kOwnConnectionChoice)};
    const std::vector<Region> listed = RegionsOf(regions);
    for (const Region& region : listed) {
        choices.push_back(region.name);
    }
    if (!listed.empty()) {
        choices.emplace_back(form::kAllRegionsChoice);
    }
    return choices;
}

tl::expected<std::vector<Region>, std::u16string> ChosenRegions(const std::u16string& regions,
                                                                const std::u16string& choice) {
    if (choice.empty() || choice == form::kOwnConnectionChoice) {
        return std::vector<Region>(1);
    }
    std::vector<Region> listed = RegionsOf(regions);
    if (choice == form::kAllRegionsChoice && !listed.empty()) {
        return listed;
    }
    auto chosen = ChooseRegions(listed, {choice});
    if (!chosen) {
        return tl::unexpected(u"查询地域“" + choice + u"”不在设置的地域里，请重新选择");
    }
    return std::move(*chosen);
}

}  // namespace slotscope
