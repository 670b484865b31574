#include "history/stored_ads.h"

#include <nlohmann/json.hpp>

namespace slotscope {

using Json = nlohmann::ordered_json;

std::string JoinAds(const std::vector<ListingAd>& ads) {
    Json array = Json::array();
    for (const ListingAd& ad : ads) {
        array.push_back({{"site", ad.site}, {"title", ad.title}, {"text", ad.text}});
    }
    return array.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

// A listing's field as kept; empty where it is missing or not text (a newer version's, or a
// file edited by hand), so that one odd value never stops a whole history being read.
std::string Field(const Json& ad, const char* name) {
    const auto found = ad.find(name);
    return found != ad.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

std::optional<std::vector<StoredAd>> SplitAds(const std::optional<std::string>& column) {
    if (!column) {
        return std::nullopt;
    }
    const Json array = Json::parse(*column, nullptr, false);
    if (!array.is_array()) {
        return std::nullopt;
    }
    std::vector<StoredAd> ads;
    ads.reserve(array.size());
    for (const Json& ad : array) {
        if (!ad.is_object()) {
            return std::nullopt;
        }
        ads.push_back({Field(ad, "site"), Field(ad, "title"), Field(ad, "text")});
    }
    return ads;
}

}  // namespace slotscope
