#include "history/history_export.h"

#include <map>
#include <nlohmann/json.hpp>
#include <string_view>

namespace slotscope {
namespace {

using Json = nlohmann::ordered_json;

template <typename T>
Json OrNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json ChangeJson(const StoredChange& change) {
    Json json = {{"kind", change.kind}};
    if ((change.kind == "up" || change.kind == "down") && change.by) {
        json["by"] = *change.by;
    }
    return json;
}

Json SitesJson(const StoredSide& side) {
    return side.sites ? Json(*side.sites) : Json(nullptr);
}

// A CSV field, quoted where it holds a separator, a quote or a line break.
std::string Field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

template <typename T>
std::string Field(const std::optional<T>& value) {
    if (!value) {
        return {};
    }
    if constexpr (std::is_same_v<T, std::string>) {
        return Field(*value);
    } else {
        return std::to_string(*value);
    }
}

std::string SitesField(const StoredSide& side) {
    if (!side.sites) {
        return {};
    }
    std::string joined;
    for (std::size_t i = 0; i < side.sites->size(); ++i) {
        joined += (i == 0 ? "" : "; ") + (*side.sites)[i];
    }
    return Field(joined);
}

}  // namespace

std::string HistoryJson(const SiteHistory& history) {
    Json runs = Json::array();
    std::map<long long, bool> bothPages;
    for (const StoredRun& run : history.runs) {
        runs.push_back({{"id", run.id},
                        {"device", run.device},
                        {"started", run.started},
                        {"finished", OrNull(run.finished)},
                        {"ended", run.ended},
                        {"keywords", run.keywords},
                        {"failed", run.failed},
                        {"blocked", run.blocked}});
        bothPages[run.id] = run.device == "both";
    }
    // Text from pages is kept as it came; bytes that are no UTF-8 are replaced, not thrown over.
    const auto dump = [](const Json& json) {
        return json.dump(-1, ' ', false, Json::error_handler_t::replace);
    };
    // The results one at a time: a long history's whole tree would take many times its text.
    std::string text = dump(Json{{"site", history.site}, {"runs", runs}});
    text.pop_back();  // the closing brace; the results follow
    text += ",\"results\":[";
    bool first = true;
    for (const StoredResult& result : history.results) {
        Json row = {{"run", result.run},
                    {"order", result.order},
                    {"keyword", result.keyword},
                    {"left", result.left.label},
                    {"right", result.right.label},
                    {"left_slot", OrNull(result.left.slot)},
                    {"right_slot", OrNull(result.right.slot)},
                    {"left_listings", OrNull(result.left.listings)},
                    {"right_listings", OrNull(result.right.listings)},
                    {"failed", OrNull(result.failed)},
                    {"left_sites", SitesJson(result.left)},
                    {"right_sites", SitesJson(result.right)},
                    {"left_change", ChangeJson(result.left.change)},
                    {"right_change", ChangeJson(result.right.change)}};
        if (bothPages[result.run]) {
            row["page"] = result.page;
        }
        text += first ? "" : ",";
        text += dump(row);
        first = false;
    }
    return text + "]}\n";
}

std::string HistoryCsv(const SiteHistory& history) {
    std::map<long long, const StoredRun*> runs;
    for (const StoredRun& run : history.runs) {
        runs[run.id] = &run;
    }
    std::string csv =
        "\xEF\xBB\xBFrun,started,device,page,order,keyword,left,right,left_slot,right_slot,"
        "left_listings,right_listings,failed,left_sites,right_sites,left_change,left_by,"
        "right_change,right_by\r\n";
    for (const StoredResult& result : history.results) {
        const StoredRun& run = *runs.at(result.run);
        csv += std::to_string(result.run) + ',' + run.started + ',' + run.device + ',' +
               result.page + ',' + std::to_string(result.order) + ',' + Field(result.keyword) +
               ',' + Field(result.left.label) + ',' + Field(result.right.label) + ',' +
               Field(result.left.slot) + ',' + Field(result.right.slot) + ',' +
               Field(result.left.listings) + ',' + Field(result.right.listings) + ',' +
               Field(result.failed) + ',' + SitesField(result.left) + ',' +
               SitesField(result.right) + ',' + result.left.change.kind + ',' +
               Field(result.left.change.by) + ',' + result.right.change.kind + ',' +
               Field(result.right.change.by) + "\r\n";
    }
    return csv;
}

}  // namespace slotscope
