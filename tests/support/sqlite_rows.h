#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace slotscope::testing {

// The rows a query gives, each as its columns joined by '|' (NULL as "-").
inline std::vector<std::string> Rows(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    std::vector<std::string> rows;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                std::string row;
                for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                    const auto* text = sqlite3_column_text(statement, c);
                    row += (c > 0 ? "|" : "") +
                           std::string(text != nullptr ? reinterpret_cast<const char*>(text) : "-");
                }
                rows.push_back(row);
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

// Runs `sql` on the SQLite file at `path` (made where there is none); whether all of it ran.
inline bool Execute(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    const bool done = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                      sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return done;
}

}  // namespace slotscope::testing
