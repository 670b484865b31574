#include "sql/meta_table.h"

#include <string>

#include "sql/database.h"

namespace slotscope::sql {

namespace {
constexpr const char* kCompatibleKey = "last_compatible_version";
}

Result<int> SchemaVersion(Database& db) {
    return db.Integer("PRAGMA user_version");
}

Result<int> CompatibleVersion(Database& db) {
    Result<int> version = SchemaVersion(db);
    if (!version) {
        return version;
    }
    const Result<int> table =
        db.Integer("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'meta'");
    if (!table || *table == 0) {
        return table ? version : table;
    }
    Result<Statement> select = db.Prepare("SELECT value FROM meta WHERE key = :key");
    if (!select) {
        return tl::unexpected(std::move(select.error()));
    }
    select->Bind(":key", kCompatibleKey);
    const Result<bool> row = select->Step();
    if (!row) {
        return tl::unexpected(row.error());
    }
    return *row ? select->Int(0) : *version;
}

Result<> SetSchemaVersion(Database& db, int version) {
    return db.Execute("PRAGMA user_version=" + std::to_string(version));
}

Result<> SetCompatibleVersion(Database& db, int compatible) {
    Result<> made = db.Execute(
        "CREATE TABLE IF NOT EXISTS meta (key TEXT NOT NULL PRIMARY KEY, value INTEGER NOT NULL)");
    Result<Statement> insert =
        made ? db.Prepare("INSERT OR REPLACE INTO meta (key, value) VALUES (:key, :value)")
             : tl::unexpected(made.error());
    if (!insert) {
        return tl::unexpected(std::move(insert.error()));
    }
    insert->Bind(":key", kCompatibleKey);
    insert->Bind(":value", compatible);
    return insert->Run();
}

}  // namespace slotscope::sql
