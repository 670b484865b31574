#include "history/history_schema.h"

#include <string>
#include <vector>

#include "history/history_file.h"
#include "page/own_site.h"
#include "sql/meta_table.h"

namespace slotscope {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE runs (
    id INTEGER PRIMARY KEY,
    site TEXT NOT NULL,
    device TEXT NOT NULL,
    started TEXT NOT NULL,
    finished TEXT,
    ended TEXT NOT NULL DEFAULT 'interrupted',
    keywords INTEGER NOT NULL DEFAULT 0,
    failed INTEGER NOT NULL DEFAULT 0,
    blocked INTEGER NOT NULL DEFAULT 0,
    version TEXT NOT NULL,
    region TEXT NOT NULL DEFAULT ''
);
CREATE TABLE results (
    run INTEGER NOT NULL REFERENCES runs (id),
    page TEXT NOT NULL,
    ord INTEGER NOT NULL,
    keyword TEXT NOT NULL,
    left_label TEXT NOT NULL,
    right_label TEXT NOT NULL,
    left_slot INTEGER,
    right_slot INTEGER,
    failed TEXT,
    left_change TEXT NOT NULL,
    left_by INTEGER,
    right_change TEXT NOT NULL,
    right_by INTEGER,
    left_listings INTEGER,
    right_listings INTEGER,
    left_sites TEXT,
    right_sites TEXT,
    failure_reason TEXT,
    left_ads TEXT,
    right_ads TEXT,
    PRIMARY KEY (run, page, ord)
);
CREATE INDEX results_by_keyword ON results (keyword, page, run);
)sql";

// From the first schema: the paid listings and the sites they show, unknown for older rows.
constexpr const char* kSchemaFrom1To2 = R"sql(
ALTER TABLE results ADD COLUMN left_listings INTEGER;
ALTER TABLE results ADD COLUMN right_listings INTEGER;
ALTER TABLE results ADD COLUMN left_sites TEXT;
ALTER TABLE results ADD COLUMN right_sites TEXT;
)sql";

// From the second schema: why a check failed, unknown for older rows.
constexpr const char* kSchemaFrom2To3 = "ALTER TABLE results ADD COLUMN failure_reason TEXT;";

// From the third schema: the region a run checked from; older runs used this machine's own
// connection, which is the empty name.
constexpr const char* kSchemaFrom3To4 =
    "ALTER TABLE runs ADD COLUMN region TEXT NOT NULL DEFAULT '';";

// From the fourth schema: each paid listing's site, title and text, unknown for older rows.
constexpr const char* kSchemaFrom4To5 = R"sql(
ALTER TABLE results ADD COLUMN left_ads TEXT;
ALTER TABLE results ADD COLUMN right_ads TEXT;
)sql";

// Older runs kept the site as it was typed ("http://www.shop.cn/"): each is stored as the site
// checked, so that every run of one site compares with the others.
sql::Result<> StoreSitesAsChecked(sql::Database& db) {
    std::vector<std::string> sites;
    sql::Result<sql::Statement> select = db.Prepare("SELECT DISTINCT site FROM runs");
    sql::Result<> read = select ? select->Each([&](const sql::Statement& row) {
        sites.push_back(row.Text(0));
        return true;
    })
                                : tl::unexpected(select.error());
    sql::Result<sql::Statement> update =
        read ? db.Prepare("UPDATE runs SET site = :checked WHERE site = :typed")
             : tl::unexpected(read.error());
    if (!update) {
        return tl::unexpected(std::move(update.error()));
    }
    for (const std::string& site : sites) {
        if (const std::string checked = SiteKey(site); checked != site) {
            update->Bind(":typed", site);
            update->Bind(":checked", checked);
            if (sql::Result<> ran = update->Run(); !ran) {
                return ran;
            }
        }
    }
    return {};
}

}  // namespace

const sql::Schema& HistorySchema() {
    static const sql::Schema schema{
        HistoryFile::kSchemaVersion,
        HistoryFile::kCompatibleVersion,
        [](sql::Database& db) {
            return db.Execute(kSchema).and_then([&] {
                return db.Execute("PRAGMA application_id=" +
                                  std::to_string(HistoryFile::kApplicationId));
            });
        },
        {
            {2, [](sql::Database& db) { return db.Execute(kSchemaFrom1To2); }},
            {3,
             [](sql::Database& db) {
                 return db.Execute(kSchemaFrom2To3).and_then([&] {
                     return StoreSitesAsChecked(db);
                 });
             }},
            {4, [](sql::Database& db) { return db.Execute(kSchemaFrom3To4); }},
            {5, [](sql::Database& db) { return db.Execute(kSchemaFrom4To5); }},
        }};
    return schema;
}

sql::Result<HistoryMarks> ReadHistoryMarks(sql::Database& db) {
    using Kind = HistoryMarks::Kind;
    const sql::Result<int> version = sql::SchemaVersion(db);
    if (!version) {
        return tl::unexpected(version.error());
    }
    if (*version == 0) {
        // An empty file holds no tables yet; anything else is another program's.
        return db.Integer("SELECT count(*) FROM sqlite_master").map([](int tables) {
            return HistoryMarks{tables == 0 ? Kind::Empty : Kind::Foreign, 0};
        });
    }
    const sql::Result<int> mark = db.Integer("PRAGMA application_id");
    if (!mark || *mark != HistoryFile::kApplicationId) {
        return mark.map([&](int) { return HistoryMarks{Kind::Foreign, *version}; });
    }
    // A newer program's file is used only when that program says this one can.
    return sql::CompatibleVersion(db).map([&](int compatible) {
        return HistoryMarks{compatible > HistoryFile::kSchemaVersion ? Kind::Newer : Kind::Ours,
                            *version};
    });
}

}  // namespace slotscope
