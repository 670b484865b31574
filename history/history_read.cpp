#include "history/history_read.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>

#include "core/file_open.h"
#include "history/history_file.h"
#include "history/stored_sites.h"

namespace slotscope {
namespace {

struct CloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

std::string Text(sqlite3_stmt* row, int column) {
    const auto* text = sqlite3_column_text(row, column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(text),
                             static_cast<std::size_t>(sqlite3_column_bytes(row, column)));
}

std::optional<std::string> MaybeText(sqlite3_stmt* row, int column) {
    if (sqlite3_column_type(row, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    return Text(row, column);
}

std::optional<int> MaybeInt(sqlite3_stmt* row, int column) {
    if (sqlite3_column_type(row, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    return sqlite3_column_int(row, column);
}

// A side's columns from `first` on: label, slot, listings, sites, change, by.
StoredSide SideOf(sqlite3_stmt* row, int first) {
    StoredSide side;
    side.label = Text(row, first);
    side.slot = MaybeInt(row, first + 1);
    side.listings = MaybeInt(row, first + 2);
    const std::optional<std::string> sites = MaybeText(row, first + 3);
    if (side.listings && sites) {
        side.sites = SplitSites(*sites, *side.listings);
    } else {
        side.listings.reset();
    }
    side.change = {Text(row, first + 4), MaybeInt(row, first + 5)};
    return side;
}

// A path as the path of a file: address, its special characters escaped.
std::string UriPath(const std::string& path) {
    std::string uri;
    for (const char c : path) {
        if (c == '?' || c == '#' || c == '%') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        } else {
            uri += c == '\\' ? '/' : c;
        }
    }
    return uri;
}

class Reader final {
  public:
    explicit Reader(std::string& problem) : problem_(problem) {}

    // Opened as runs open it, so that the last to close it folds its log in and removes it;
    // only read. A file in a folder that takes no writes is read as it stands.
    bool Open(const std::string& path) {
        sqlite3* db = nullptr;
        int opened = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (opened != SQLITE_OK) {
            sqlite3_close(db);
            db = nullptr;
            opened = sqlite3_open_v2(("file:" + UriPath(path) + "?immutable=1").c_str(), &db,
                                     SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
        }
        db_.reset(db);
        if (opened != SQLITE_OK) {
            return Failed("cannot be opened");
        }
        sqlite3_busy_timeout(db_.get(), 10000);
        return true;
    }

    Statement Prepare(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            Failed("cannot be read");
            return nullptr;
        }
        return Statement(statement);
    }

    // Steps a statement to its end, handing each row to `row`.
    template <typename Row>
    bool Rows(sqlite3_stmt* statement, const Row& row) {
        int result = 0;
        while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
            row(statement);
        }
        return result == SQLITE_DONE || Failed("cannot be read");
    }

    std::optional<int> Integer(const char* sql) {
        const Statement statement = Prepare(sql);
        std::optional<int> value;
        if (statement == nullptr || !Rows(statement.get(), [&](sqlite3_stmt* row) {
                value = sqlite3_column_int(row, 0);
            })) {
            return std::nullopt;
        }
        return value.value_or(0);
    }

    bool Execute(const char* sql) {
        return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK ||
               Failed("cannot be read");
    }

    bool Failed(std::string_view what) {
        if (problem_.empty()) {
            problem_ = std::string(what) + ": " +
                       (db_ != nullptr ? sqlite3_errmsg(db_.get()) : "out of memory");
        }
        return false;
    }

  private:
    std::string& problem_;
    Database db_;
};

}  // namespace

std::string BareSite(std::string_view site) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!site.empty() && isSpace(site.front())) {
        site.remove_prefix(1);
    }
    while (!site.empty() && isSpace(site.back())) {
        site.remove_suffix(1);
    }
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (site.size() >= scheme.size() &&
            std::equal(scheme.begin(), scheme.end(), site.begin(),
                       [](char a, char b) { return a == (b | 0x20); })) {
            site.remove_prefix(scheme.size());
        }
    }
    if (site.size() >= 4 && (site[0] | 0x20) == 'w' && (site[1] | 0x20) == 'w' &&
        (site[2] | 0x20) == 'w' && site[3] == '.') {
        site.remove_prefix(4);
    }
    return std::string(site);
}

std::optional<SiteHistory> ReadSiteHistory(const std::string& utf8Path, const std::string& site,
                                           int lastRuns, std::string& problem) {
    problem.clear();
    if (!IsRegularFile(utf8Path)) {
        problem = "no history yet";
        return std::nullopt;
    }
    Reader reader(problem);
    if (!reader.Open(utf8Path) || !reader.Execute("BEGIN")) {
        return std::nullopt;
    }
    const std::optional<int> version = reader.Integer("PRAGMA user_version");
    const std::optional<int> mark = reader.Integer("PRAGMA application_id");
    if (!version || !mark) {
        return std::nullopt;
    }
    SiteHistory history;
    history.site = BareSite(site);
    if (*version == 0) {
        // An empty file, as a run would begin it, holds no runs; anything else is another's.
        const std::optional<int> tables = reader.Integer("SELECT count(*) FROM sqlite_master");
        if (!tables) {
            return std::nullopt;
        }
        if (*tables == 0) {
            return history;
        }
    }
    if (*version == 0 || *mark != HistoryFile::kApplicationId) {
        problem = "not a Slotscope history";
        return std::nullopt;
    }
    if (*version > HistoryFile::kSchemaVersion) {
        problem = "made by a newer version of Slotscope (schema " + std::to_string(*version) + ")";
        return std::nullopt;
    }

    const Statement runs = reader.Prepare(
        "SELECT id, device, started, finished, ended, keywords, failed, blocked FROM runs "
        "WHERE site COLLATE NOCASE IN (?1, ?3) ORDER BY id DESC LIMIT ?2");
    if (runs == nullptr) {
        return std::nullopt;
    }
    // The site as the runs were given it: with or without "www.", as the website box reads.
    const std::string bare = BareSite(site);
    const std::string withWww = "www." + bare;
    sqlite3_bind_text(runs.get(), 1, bare.data(), static_cast<int>(bare.size()), SQLITE_STATIC);
    sqlite3_bind_int(runs.get(), 2, lastRuns > 0 ? lastRuns : -1);
    sqlite3_bind_text(runs.get(), 3, withWww.data(), static_cast<int>(withWww.size()),
                      SQLITE_STATIC);
    const bool runsRead = reader.Rows(runs.get(), [&](sqlite3_stmt* row) {
        history.runs.push_back({sqlite3_column_int64(row, 0), Text(row, 1), Text(row, 2),
                                MaybeText(row, 3), Text(row, 4), sqlite3_column_int(row, 5),
                                sqlite3_column_int(row, 6), sqlite3_column_int(row, 7)});
    });
    if (!runsRead) {
        return std::nullopt;
    }
    std::reverse(history.runs.begin(), history.runs.end());
    if (history.runs.empty()) {
        return history;
    }

    // The first schema kept no listings: its rows read as unknown there.
    const char* listings = *version >= 2 ? "r.left_listings, r.left_sites" : "NULL, NULL";
    const char* rightListings = *version >= 2 ? "r.right_listings, r.right_sites" : "NULL, NULL";
    const Statement results = reader.Prepare(
        std::string(
            "SELECT r.run, r.page, r.ord, r.keyword, r.failed, r.left_label, r.left_slot, ") +
        listings + ", r.left_change, r.left_by, r.right_label, r.right_slot, " + rightListings +
        ", r.right_change, r.right_by FROM results r WHERE r.run >= ?1 AND r.run IN "
        "(SELECT id FROM runs WHERE site COLLATE NOCASE IN (?2, ?3)) "
        "ORDER BY r.run, r.ord, r.page DESC");
    if (results == nullptr) {
        return std::nullopt;
    }
    sqlite3_bind_int64(results.get(), 1, history.runs.front().id);
    sqlite3_bind_text(results.get(), 2, bare.data(), static_cast<int>(bare.size()), SQLITE_STATIC);
    sqlite3_bind_text(results.get(), 3, withWww.data(), static_cast<int>(withWww.size()),
                      SQLITE_STATIC);
    const bool resultsRead = reader.Rows(results.get(), [&](sqlite3_stmt* row) {
        history.results.push_back({sqlite3_column_int64(row, 0), Text(row, 1),
                                   sqlite3_column_int(row, 2), Text(row, 3), MaybeText(row, 4),
                                   SideOf(row, 5), SideOf(row, 11)});
    });
    if (!resultsRead || !reader.Execute("COMMIT")) {
        return std::nullopt;
    }
    return history;
}

}  // namespace slotscope
