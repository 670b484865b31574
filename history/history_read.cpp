#include "history/history_read.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <string_view>

#include "base/file_open.h"
#include "page/own_site.h"
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
using DatabaseHandle = std::unique_ptr<sqlite3, CloseDatabase>;
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

// site_key(site): the stored site as SiteKey gives it.
void SiteKeyOf(sqlite3_context* context, int /*count*/, sqlite3_value** values) {
    const auto* text = sqlite3_value_text(values[0]);
    if (text == nullptr) {
        sqlite3_result_null(context);
        return;
    }
    try {
        const std::string key =
            SiteKey(std::string_view(reinterpret_cast<const char*>(text),
                                     static_cast<std::size_t>(sqlite3_value_bytes(values[0]))));
        sqlite3_result_text(context, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    }
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

}  // namespace

// The connection and its one read transaction, and the first failure's reason.
class HistoryReader::Database final {
  public:
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
        // Runs are found by their site as the site rule gives it, whatever form older runs
        // kept it in.
        if (sqlite3_create_function_v2(db_.get(), "site_key", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                       nullptr, &SiteKeyOf, nullptr, nullptr,
                                       nullptr) != SQLITE_OK) {
            return Failed("cannot be read");
        }
        return true;
    }

    // A statement, prepared once and kept for the reader's life: some run once per keyword.
    sqlite3_stmt* Prepare(const std::string& sql) {
        if (const auto found = statements_.find(sql); found != statements_.end()) {
            return found->second.get();
        }
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            Failed("cannot be read");
            return nullptr;
        }
        statements_.emplace(sql, Statement(statement));
        return statement;
    }

    // Steps a statement to its end, handing each row to `row`, which stops it by returning
    // false.
    template <typename Row>
    bool Rows(sqlite3_stmt* statement, const Row& row) {
        int result = 0;
        while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
            if (!row(statement)) {
                sqlite3_reset(statement);
                return true;
            }
        }
        sqlite3_reset(statement);
        return result == SQLITE_DONE || Failed("cannot be read");
    }

    std::optional<int> Integer(const char* sql) {
        sqlite3_stmt* const statement = Prepare(sql);
        std::optional<int> value;
        if (statement == nullptr || !Rows(statement, [&](sqlite3_stmt* row) {
                value = sqlite3_column_int(row, 0);
                return true;
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
        if (problem.empty()) {
            problem = std::string(what) + ": " +
                      (db_ != nullptr ? sqlite3_errmsg(db_.get()) : "out of memory");
        }
        return false;
    }

    std::string problem;

  private:
    DatabaseHandle db_;  // declared first: closed after the statements
    std::map<std::string, Statement> statements_;
};

namespace {

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

// The columns of a result, as ResultOf reads them.
std::string ResultColumns(int version) {
    // The first schema kept no listings: its rows read as unknown there.
    const char* left = version >= 2 ? "r.left_listings, r.left_sites" : "NULL, NULL";
    const char* right = version >= 2 ? "r.right_listings, r.right_sites" : "NULL, NULL";
    return std::string("r.run, r.page, r.ord, r.keyword, r.failed, r.left_label, r.left_slot, ") +
           left + ", r.left_change, r.left_by, r.right_label, r.right_slot, " + right +
           ", r.right_change, r.right_by, " + (version >= 3 ? "r.failure_reason" : "NULL");
}

StoredResult ResultOf(sqlite3_stmt* row) {
    return {sqlite3_column_int64(row, 0),
            Text(row, 1),
            sqlite3_column_int(row, 2),
            Text(row, 3),
            MaybeText(row, 4),
            SideOf(row, 5),
            SideOf(row, 11),
            MaybeText(row, 17)};
}

}  // namespace

HistoryReader::HistoryReader(std::unique_ptr<Database> database, int version)
    : database_(std::move(database)), version_(version) {}

HistoryReader::~HistoryReader() = default;

const std::string& HistoryReader::problem() const {
    return database_->problem;
}

std::unique_ptr<HistoryReader> HistoryReader::Open(const std::string& utf8Path,
                                                   std::string& problem) {
    problem.clear();
    if (!IsRegularFile(utf8Path)) {
        problem = "no history yet";
        return nullptr;
    }
    auto database = std::make_unique<Database>();
    // One transaction for all the reading: one snapshot, whatever runs write meanwhile.
    if (!database->Open(utf8Path) || !database->Execute("BEGIN")) {
        problem = database->problem;
        return nullptr;
    }
    const std::optional<int> version = database->Integer("PRAGMA user_version");
    const std::optional<int> mark = database->Integer("PRAGMA application_id");
    if (!version || !mark) {
        problem = database->problem;
        return nullptr;
    }
    if (*version == 0) {
        // An empty file, as a run would begin it, holds no runs; anything else is another's.
        const std::optional<int> tables = database->Integer("SELECT count(*) FROM sqlite_master");
        if (!tables) {
            problem = database->problem;
            return nullptr;
        }
        if (*tables == 0) {
            return std::unique_ptr<HistoryReader>(new HistoryReader(std::move(database), 0));
        }
    }
    if (*version == 0 || *mark != HistoryFile::kApplicationId) {
        problem = "not a Slotscope history";
        return nullptr;
    }
    if (*version > HistoryFile::kSchemaVersion) {
        problem = "made by a newer version of Slotscope (schema " + std::to_string(*version) + ")";
        return nullptr;
    }
    return std::unique_ptr<HistoryReader>(new HistoryReader(std::move(database), *version));
}

std::optional<std::vector<StoredRun>> HistoryReader::Runs(const std::string& site, int lastRuns) {
    std::vector<StoredRun> runs;
    if (version_ == 0) {
        return runs;
    }
    sqlite3_stmt* const statement = database_->Prepare(
        "SELECT id, device, started, finished, ended, keywords, failed, blocked FROM runs "
        "WHERE site_key(site) = ?1 ORDER BY id DESC LIMIT ?2");
    if (statement == nullptr) {
        return std::nullopt;
    }
    BindText(statement, 1, SiteKey(site));
    sqlite3_bind_int(statement, 2, lastRuns > 0 ? lastRuns : -1);
    const bool read = database_->Rows(statement, [&](sqlite3_stmt* row) {
        runs.push_back({sqlite3_column_int64(row, 0), Text(row, 1), Text(row, 2), MaybeText(row, 3),
                        Text(row, 4), sqlite3_column_int(row, 5), sqlite3_column_int(row, 6),
                        sqlite3_column_int(row, 7)});
        return true;
    });
    if (!read) {
        return std::nullopt;
    }
    std::reverse(runs.begin(), runs.end());
    return runs;
}

bool HistoryReader::ResultsOfRun(long long run, const EachResult& each) {
    if (version_ == 0) {
        return true;
    }
    // Sorted a run at a time: a run's rows are as many as its keywords.
    sqlite3_stmt* const statement =
        database_->Prepare("SELECT " + ResultColumns(version_) +
                           " FROM results r WHERE r.run = ?1 ORDER BY r.ord, r.page DESC");
    if (statement == nullptr) {
        return false;
    }
    sqlite3_bind_int64(statement, 1, run);
    return database_->Rows(statement, [&](sqlite3_stmt* row) { return each(ResultOf(row)); });
}

bool HistoryReader::Results(const std::vector<StoredRun>& runs, const EachResult& each) {
    for (const StoredRun& run : runs) {
        bool going = true;
        if (!ResultsOfRun(run.id,
                          [&](const StoredResult& result) { return going = each(result); })) {
            return false;
        }
        if (!going) {
            return true;
        }
    }
    return true;
}

bool HistoryReader::ResultsOfKeyword(const std::string& page, const std::string& keyword,
                                     long long firstRun, const EachResult& each) {
    if (version_ == 0) {
        return true;
    }
    sqlite3_stmt* const statement = database_->Prepare(
        "SELECT " + ResultColumns(version_) +
        " FROM results r WHERE r.keyword = ?1 AND r.page = ?2 AND r.run >= ?3 ORDER BY r.run");
    if (statement == nullptr) {
        return false;
    }
    BindText(statement, 1, keyword);
    BindText(statement, 2, page);
    sqlite3_bind_int64(statement, 3, firstRun);
    return database_->Rows(statement, [&](sqlite3_stmt* row) { return each(ResultOf(row)); });
}

bool HistoryReader::KeywordsBeforeTheLast(
    const std::string& site, const std::vector<StoredRun>& runs,
    const std::function<bool(const std::string& page, const std::string& keyword)>& each) {
    if (version_ == 0 || runs.size() < 2) {
        return true;
    }
    // In the order of the latest run that checked them, as the last run orders its own. The
    // runs before the last are a range of ids, of which only the site's count.
    sqlite3_stmt* const statement = database_->Prepare(
        "SELECT g.page, g.keyword FROM (SELECT r.page AS page, r.keyword AS keyword, "
        "max(r.run) AS latest FROM results r WHERE r.run BETWEEN ?2 AND ?3 AND r.run IN "
        "(SELECT id FROM runs WHERE site_key(site) = ?4) GROUP BY r.page, r.keyword) g "
        "WHERE NOT EXISTS (SELECT 1 FROM results l WHERE l.keyword = g.keyword AND "
        "l.page = g.page AND l.run = ?1) ORDER BY g.latest DESC, (SELECT min(o.ord) FROM "
        "results o WHERE o.keyword = g.keyword AND o.page = g.page AND o.run = g.latest), "
        "g.page DESC");
    if (statement == nullptr) {
        return false;
    }
    sqlite3_bind_int64(statement, 2, runs.front().id);
    sqlite3_bind_int64(statement, 3, runs[runs.size() - 2].id);
    BindText(statement, 4, SiteKey(site));
    sqlite3_bind_int64(statement, 1, runs.back().id);
    return database_->Rows(statement,
                           [&](sqlite3_stmt* row) { return each(Text(row, 0), Text(row, 1)); });
}

std::optional<std::vector<RunTotals>> HistoryReader::Totals(const std::vector<StoredRun>& runs) {
    std::vector<RunTotals> totals(runs.size());
    if (version_ == 0) {
        return totals;
    }
    sqlite3_stmt* const statement = database_->Prepare(
        "SELECT count(*), count(left_slot), total(left_slot), ifnull(max(left_slot), 0) "
        "FROM results WHERE run = ?1 AND page = ?2 AND failed IS NULL");
    if (statement == nullptr) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        sqlite3_bind_int64(statement, 1, runs[i].id);
        BindText(statement, 2, runs[i].device == "mobile" ? "mobile" : "pc");
        const bool read = database_->Rows(statement, [&](sqlite3_stmt* row) {
            totals[i] = {sqlite3_column_int(row, 0), sqlite3_column_int(row, 1),
                         static_cast<long long>(sqlite3_column_double(row, 2)),
                         sqlite3_column_int(row, 3)};
            return true;
        });
        if (!read) {
            return std::nullopt;
        }
    }
    return totals;
}

}  // namespace slotscope
