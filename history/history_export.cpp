#include "history/history_export.h"

#include <map>
#include <nlohmann/json.hpp>
#include <string_view>

#include "page/own_site.h"

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

template <typename T>
std::string Field(const std::optional<T>& value) {
    if (!value) {
        return {};
    }
    if constexpr (std::is_same_v<T, std::string>) {
        return CsvField(*value);
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
    return CsvField(joined);
}

}  // namespace

std::string CsvField(std::string_view text) {
    // OWASP's advice for CSV: what a spreadsheet would evaluate is made text.
    const bool formula =
        !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
    std::string field = formula ? "'" : "";
    field += text;
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        return field;
    }
    std::string quoted = "\"";
    for (const char c : field) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

namespace {

// A run's region for the export: null for the machine's own connection.
Json RegionJson(const StoredRun& run) {
    return run.region.empty() ? Json(nullptr) : Json(run.region);
}

}  // namespace

ExportEnd WriteHistoryJson(HistoryReader& reader, const std::string& site,
                           const std::vector<StoredRun>& runs, const ExportOut& out) {
    Json runsJson = Json::array();
    std::map<long long, bool> bothPages;
    std::map<long long, Json> regions;
    for (const StoredRun& run : runs) {
        runsJson.push_back({{"id", run.id},
                            {"device", run.device},
                            {"started", run.started},
                            {"finished", OrNull(run.finished)},
                            {"ended", run.ended},
                            {"keywords", run.keywords},
                            {"failed", run.failed},
                            {"blocked", run.blocked},
                            {"region", RegionJson(run)}});
        bothPages[run.id] = run.device == "both";
        regions[run.id] = RegionJson(run);
    }
    // Text from pages is kept as it came; bytes that are no UTF-8 are replaced, not thrown over.
    const auto dump = [](const Json& json) {
        return json.dump(-1, ' ', false, Json::error_handler_t::replace);
    };
    std::string head = dump(Json{{"site", SiteKey(site)}, {"runs", runsJson}});
    head.pop_back();  // the closing brace; the results follow
    if (!out(head + ",\"results\":[")) {
        return ExportEnd::WriteFailed;
    }
    bool first = true;
    bool written = true;
    const bool read = reader.Results(runs, [&](const StoredResult& result) {
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
                    {"failure_reason", OrNull(result.failureReason)},
                    {"left_sites", SitesJson(result.left)},
                    {"right_sites", SitesJson(result.right)},
                    {"left_change", ChangeJson(result.left.change)},
                    {"right_change", ChangeJson(result.right.change)},
                    {"region", regions[result.run]}};
        if (bothPages[result.run]) {
            row["page"] = result.page;
        }
        written = out((first ? "" : ",") + dump(row));
        first = false;
        return written;
    });
    if (!written) {
        return ExportEnd::WriteFailed;
    }
    if (!read) {
        return ExportEnd::ReadFailed;
    }
    return out("]}\n") ? ExportEnd::Written : ExportEnd::WriteFailed;
}

ExportEnd WriteHistoryCsv(HistoryReader& reader, const std::vector<StoredRun>& runs,
                          const ExportOut& out) {
    std::map<long long, const StoredRun*> byId;
    for (const StoredRun& run : runs) {
        byId[run.id] = &run;
    }
    if (!out("\xEF\xBB\xBFrun,started,device,page,order,keyword,left,right,left_slot,right_slot,"
             "left_listings,right_listings,failed,left_sites,right_sites,left_change,left_by,"
             "right_change,right_by,failure_reason,region\r\n")) {
        return ExportEnd::WriteFailed;
    }
    bool written = true;
    const bool read = reader.Results(runs, [&](const StoredResult& result) {
        const StoredRun& run = *byId.at(result.run);
        written = out(std::to_string(result.run) + ',' + CsvField(run.started) + ',' +
                      CsvField(run.device) + ',' + CsvField(result.page) + ',' +
                      std::to_string(result.order) + ',' + CsvField(result.keyword) + ',' +
                      CsvField(result.left.label) + ',' + CsvField(result.right.label) + ',' +
                      Field(result.left.slot) + ',' + Field(result.right.slot) + ',' +
                      Field(result.left.listings) + ',' + Field(result.right.listings) + ',' +
                      Field(result.failed) + ',' + SitesField(result.left) + ',' +
                      SitesField(result.right) + ',' + CsvField(result.left.change.kind) + ',' +
                      Field(result.left.change.by) + ',' + CsvField(result.right.change.kind) +
                      ',' + Field(result.right.change.by) + ',' + Field(result.failureReason) +
                      ',' + CsvField(run.region) + "\r\n");
        return written;
    });
    if (!written) {
        return ExportEnd::WriteFailed;
    }
    return read ? ExportEnd::Written : ExportEnd::ReadFailed;
}

}  // namespace slotscope
