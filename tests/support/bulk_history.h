#pragma once

// A long history made in a few seconds, for the tests and benchmarks of reading one back: the
// file as runs make it (schema, marks), its rows written by SQL rather than a run at a time.

#include <sqlite3.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "history/history_file.h"

namespace slotscope::testing {

// `runs` finished runs of shop.example.cn over `keywords` keywords (鲜花速递1, …): keyword n
// holds left slot 0 (none) to 3, and one keyword in a hundred moves in each run, so that a run
// has keywords/100 changes against the one before; three paid listings on the left, one on the
// right. Empty, or why it could not be made.
inline std::string BulkHistory(const std::string& path, int keywords, int runs) {
    {
        HistoryFile schema(path, "bulk");
        schema.Begin(u"shop.example.cn", Device::Pc, u"", {});
        schema.End({});
        if (!schema.problem().empty()) {
            return schema.problem();
        }
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return "cannot open " + path;
    }
    std::string sql = "BEGIN; DELETE FROM runs;";
    for (int r = 1; r <= runs; ++r) {
        const std::string run = std::to_string(r);
        const std::string time =
            "2026-12-" + std::string(r % 28 < 9 ? "0" : "") + std::to_string(r % 28 + 1) + "T" +
            std::string(r % 24 < 10 ? "0" : "") + std::to_string(r % 24) + ":00:00Z";
        // One run: its row, then its keywords' rows, the slot moving every hundred keywords.
        std::string statement =
            "INSERT INTO runs (id, site, device, started, finished, ended, keywords, version) "
            "VALUES ({run}, 'shop.example.cn', 'pc', '{time}', '{time}', 'finished', "
            "{keywords}, 'bulk');"
            "WITH RECURSIVE k(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM k WHERE n < "
            "{keywords}), s AS (SELECT n, (n + ({run} + n % 100) / 100) % 4 AS now, (n + ({run}"
            " - 1 + n % 100) / 100) % 4 AS before FROM k) "
            "INSERT INTO results (run, page, ord, keyword, left_label, right_label, left_slot, "
            "right_slot, failed, left_change, left_by, right_change, right_by, left_listings, "
            "right_listings, left_sites, right_sites) SELECT {run}"
            ", 'pc', n, '鲜花速递' || n, CASE WHEN now > 0 THEN '左' || now ELSE '左无' END, "
            "'右无', nullif(now, 0), NULL, NULL, CASE WHEN {run}"
            " = 1 THEN 'first' WHEN now = before THEN (CASE WHEN now = 0 THEN 'none' ELSE "
            "'same' END) WHEN before = 0 THEN 'gained' WHEN now = 0 THEN 'lost' WHEN "
            "now < before THEN 'up' ELSE 'down' END, CASE WHEN {run}"
            " > 1 AND now > 0 AND before > 0 AND now <> before THEN abs(now - before) END, "
            "CASE WHEN {run}"
            " = 1 THEN 'first' ELSE 'none' END, NULL, 3, 1, "
            "CASE now WHEN 1 THEN 'shop.example.cn hua.com bjhua.cn' WHEN 2 THEN "
            "'hua.com shop.example.cn bjhua.cn' WHEN 3 THEN 'hua.com bjhua.cn shop.example.cn' "
            "ELSE 'hua.com bjhua.cn roseonly.com.cn' END, 'roseonly.com.cn' FROM s;";
        for (const auto& [hole, value] : {std::pair<std::string_view, std::string>{"{run}", run},
                                          {"{time}", time},
                                          {"{keywords}", std::to_string(keywords)}}) {
            for (std::size_t at = statement.find(hole); at != std::string::npos;
                 at = statement.find(hole, at + value.size())) {
                statement.replace(at, hole.size(), value);
            }
        }
        sql += statement;
    }
    sql += "COMMIT;";
    char* message = nullptr;
    const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    std::string problem = result == SQLITE_OK ? "" : (message != nullptr ? message : "failed");
    sqlite3_free(message);
    sqlite3_close(db);
    return problem;
}

}  // namespace slotscope::testing
