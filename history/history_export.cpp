#include "history/history_export.h"

#include <map>
#include <nlohmann/json.hpp>
#include <string_view>

#include "base/text_codec.h"
#include "core/run_captions.h"
#include "history/history_file.h"
#include "history/local_time.h"
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

Json AdsJson(const StoredSide& side) {
    if (!side.ads) {
        return nullptr;
    }
    Json ads = Json::array();
    for (const StoredAd& ad : *side.ads) {
        ads.push_back({{"site", ad.site}, {"title", ad.title}, {"text", ad.text}});
    }
    return ads;
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

// A side's paid listings for people: each as "site｜title｜text", joined by "; ".
std::string AdsField(const StoredSide& side) {
    if (!side.ads) {
        return {};
    }
    std::string joined;
    for (const StoredAd& ad : *side.ads) {
        joined += (joined.empty() ? "" : "; ") + ad.site + "｜" + ad.title + "｜" + ad.text;
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
                    {"left_ads", AdsJson(result.left)},
                    {"right_ads", AdsJson(result.right)},
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

// The words a person reads in the spreadsheet for what the history keeps in English.
// A word this version does not know (a newer one's) goes out as it is kept.
std::string DeviceWord(std::string_view device) {
    if (device == "mobile") {
        return "手机";
    }
    if (device == "both") {
        return "两者";
    }
    return device == "pc" ? "电脑" : CsvField(device);
}

std::string ChangeWord(const StoredChange& change) {
    const std::string by = change.by ? std::to_string(*change.by) : "";
    static const std::pair<std::string_view, std::string_view> words[] = {
        {"same", "不变"}, {"gained", "新上"},     {"lost", "掉出"},
        {"none", "仍无"}, {"failed", "查询失败"}, {"first", "首次"}};
    if (change.kind == "up" || change.kind == "down") {
        return (change.kind == "up" ? "上升" : "下降") + by;
    }
    for (const auto& [kind, word] : words) {
        if (change.kind == kind) {
            return std::string(word);
        }
    }
    return CsvField(change.kind);
}

std::string FailureWord(const std::optional<std::string>& failed) {
    if (!failed) {
        return {};
    }
    const std::u16string_view word = FailureKindText(StoredFailureKind(*failed));
    return word.empty() ? CsvField(*failed) : EncodeUtf8(word);
}

ExportEnd WriteHistoryCsv(HistoryReader& reader, const std::vector<StoredRun>& runs,
                          const ExportOut& out) {
    std::map<long long, const StoredRun*> byId;
    for (const StoredRun& run : runs) {
        byId[run.id] = &run;
    }
    if (!out("\xEF\xBB\xBF运行编号,开始时间,开始时间(UTC),设备,页面,地域,序号,关键词,左侧/上方,"
             "右侧/下方,左侧位次,右侧位次,左侧推广数,右侧推广数,左侧网站,右侧网站,左侧变化,"
             "右侧变化,查询失败,失败原因,左侧广告,右侧广告\r\n")) {
        return ExportEnd::WriteFailed;
    }
    bool written = true;
    const bool read = reader.Results(runs, [&](const StoredResult& result) {
        const StoredRun& run = *byId.at(result.run);
        written =
            out(std::to_string(result.run) + ',' +
                CsvField(LocalTimeText(run.started, TimeShown::Seconds)) + ',' +
                CsvField(run.started) + ',' + DeviceWord(run.device) + ',' +
                DeviceWord(result.page) + ',' + CsvField(run.region.empty() ? "本机" : run.region) +
                ',' + std::to_string(result.order) + ',' + CsvField(result.keyword) + ',' +
                CsvField(result.left.label) + ',' + CsvField(result.right.label) + ',' +
                Field(result.left.slot) + ',' + Field(result.right.slot) + ',' +
                Field(result.left.listings) + ',' + Field(result.right.listings) + ',' +
                SitesField(result.left) + ',' + SitesField(result.right) + ',' +
                ChangeWord(result.left.change) + ',' + ChangeWord(result.right.change) + ',' +
                FailureWord(result.failed) + ',' + Field(result.failureReason) + ',' +
                AdsField(result.left) + ',' + AdsField(result.right) + "\r\n");
        return written;
    });
    if (!written) {
        return ExportEnd::WriteFailed;
    }
    return read ? ExportEnd::Written : ExportEnd::ReadFailed;
}

}  // namespace slotscope
