#include "history/history_read.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string_view>

#include "base/file_open.h"
#include "history/history_file.h"
#include "history/history_schema.h"
#include "history/stored_ads.h"
#include "history/stored_sites.h"
#include "page/own_site.h"
#include "sql/database.h"
#include "sql/statement.h"
#include "sql/transaction.h"

namespace slotscope {
namespace {

// A side's columns from `first` on: label, slot, listings, sites, change, by.
StoredSide SideOf(const sql::Statement& row, int first) {
    StoredSide side;
    side.label = row.Text(first);
    side.slot = row.MaybeInt(first + 1);
    side.listings = row.MaybeInt(first + 2);
    const std::optional<std::string> sites = row.MaybeText(first + 3);
    if (side.listings && sites) {
        side.sites = SplitSites(*sites, *side.listings);
    } else {
        side.listings.reset();
    }
    side.change = {row.Text(first + 4), row.MaybeInt(first + 5)};
    return side;
}

// site_key(site): the stored site as SiteKey gives it.
std::string SiteKeyOf(std::string_view site) {
    return SiteKey(site);
}

}  // namespace

// The connection and its one read transaction, and the first failure's reason.
class HistoryReader::Database final {
  public:
    // Opened as runs open it, so that the last to close it folds its log in and removes it;
    // only read. A file in a folder that takes no writes is read as it stands.
    bool Open(const std::string& path) {
        const sql::BusyWait wait{std::chrono::seconds(10), {}};
        auto opened = sql::Database::Open(path, sql::OpenMode::Existing, wait);
        if (!opened) {
            opened = sql::Database::Open(path, sql::OpenMode::Immutable, wait);
        }
        if (!opened) {
            return Failed(opened.error());
        }
        db_ = std::move(*opened);
        // Runs are found by their site as the site rule gives it, whatever form older runs
        // kept it in.
        const sql::Result<> added = db_->AddFunction("site_key", &SiteKeyOf);
        return added || Failed(added.error());
    }

    // One transaction for all the reading: one snapshot, whatever runs write meanwhile.
    bool BeginSnapshot() {
        const sql::Result<> begun =
            snapshot_.emplace(*db_, sql::Transaction::Kind::Deferred).Begin();
        return begun || Failed({begun.error().code, "cannot be read: " + begun.error().message});
    }

    // A statement, prepared once and kept for the reader's life: some run once per keyword.
    sql::Statement* Prepare(const std::string& sql) {
        if (const auto found = statements_.find(sql); found != statements_.end()) {
            return &found->second;
        }
        sql::Result<sql::Statement> prepared = db_->Prepare(sql);
        if (!prepared) {
            Failed(prepared.error());
            return nullptr;
        }
        return &statements_.emplace(sql, std::move(*prepared)).first->second;
    }

    // Steps a statement to its end, handing each row to `row`, which stops it by returning
    // false.
    bool Rows(sql::Statement& statement, const sql::Statement::EachRow& row) {
        const sql::Result<> read = statement.Each(row);
        return read || Failed(read.error());
    }

    sql::Result<HistoryMarks> Marks() { return ReadHistoryMarks(*db_); }

    bool Failed(const sql::Error& error) {
        if (problem.empty()) {
            problem = error.message;
        }
        return false;
    }

    std::string problem;

  private:
    std::unique_ptr<sql::Database> db_;  // declared first: closed after the statements
    std::optional<sql::Transaction> snapshot_;
    std::map<std::string, sql::Statement> statements_;
};

namespace {

// The columns of a result, as ResultOf reads them.
std::string ResultColumns(int version) {
    // The first schema kept no listings: its rows read as unknown there.
    const char* left = version >= 2 ? "r.left_listings, r.left_sites" : "NULL, NULL";
    const char* right = version >= 2 ? "r.right_listings, r.right_sites" : "NULL, NULL";
    return std::string("r.run, r.page, r.ord, r.keyword, r.failed, r.left_label, r.left_slot, ") +
           left + ", r.left_change, r.left_by, r.right_label, r.right_slot, " + right +
           ", r.right_change, r.right_by, " + (version >= 3 ? "r.failure_reason" : "NULL") +
           (version >= 5 ? ", r.left_ads, r.right_ads" : ", NULL, NULL");
}

StoredResult ResultOf(const sql::Statement& row) {
    StoredResult result{row.Int64(0),     row.Text(1),    row.Int(2),      row.Text(3),
                        row.MaybeText(4), SideOf(row, 5), SideOf(row, 11), row.MaybeText(17)};
    result.left.ads = SplitAds(row.MaybeText(18));
    result.right.ads = SplitAds(row.MaybeText(19));
    return result;
}

}  // namespace

HistoryReader::HistoryReader(std::unique_ptr<Database> database, int version)
    : database_(std::move(database)), version_(version) {}

HistoryReader::~HistoryReader() = default;

const std::string& HistoryReader::problem() const {
    return database_->problem;
}

tl::expected<std::unique_ptr<HistoryReader>, std::string> HistoryReader::Open(
    const std::string& utf8Path) {
    if (!IsRegularFile(utf8Path)) {
        return tl::unexpected(std::string("no history yet"));
    }
    auto database = std::make_unique<Database>();
    const sql::Result<HistoryMarks> marks = database->Open(utf8Path) && database->BeginSnapshot()
                                                ? database->Marks()
                                                : tl::unexpected(sql::Error{0, database->problem});
    if (!marks) {
        return tl::unexpected(marks.error().message);
    }
    switch (marks->kind) {
        case HistoryMarks::Kind::Foreign:
            return tl::unexpected(std::string("not a Slotscope history"));
        case HistoryMarks::Kind::Newer:
            return tl::unexpected("made by a newer version of Slotscope (schema " +
                                  std::to_string(marks->version) + ")");
        case HistoryMarks::Kind::Empty:  // as a run would begin it: no runs
        case HistoryMarks::Kind::Ours:
            break;
    }
    return std::unique_ptr<HistoryReader>(new HistoryReader(std::move(database), marks->version));
}

tl::expected<std::vector<StoredRun>, std::string> HistoryReader::Runs(
    const std::string& site, int lastRuns, const std::optional<std::string>& region) {
    std::vector<StoredRun> runs;
    if (version_ == 0) {
        return runs;
    }
    // Files before regions hold only runs from the machine's own connection.
    const std::string regionColumn = version_ >= 4 ? "region" : "''";
    sql::Statement* const statement = database_->Prepare(
        "SELECT id, device, started, finished, ended, keywords, failed, blocked, " + regionColumn +
        " FROM runs WHERE site_key(site) = :site AND (:any OR " + regionColumn +
        " = :region) ORDER BY id DESC LIMIT :limit");
    if (statement == nullptr) {
        return tl::unexpected(database_->problem);
    }
    statement->Bind(":site", SiteKey(site));
    statement->Bind(":any", region ? 0 : 1);
    statement->Bind(":region", region.value_or(""));
    statement->Bind(":limit", lastRuns > 0 ? lastRuns : -1);
    const bool read = database_->Rows(*statement, [&](const sql::Statement& row) {
        runs.push_back({row.Int64(0), row.Text(1), row.Text(2), row.MaybeText(3), row.Text(4),
                        row.Int(5), row.Int(6), row.Int(7), row.Text(8)});
        return true;
    });
    if (!read) {
        return tl::unexpected(database_->problem);
    }
    std::reverse(runs.begin(), runs.end());
    return runs;
}

bool HistoryReader::ResultsOfRun(long long run, const EachResult& each) {
    if (version_ == 0) {
        return true;
    }
    // Sorted a run at a time: a run's rows are as many as its keywords.
    sql::Statement* const statement =
        database_->Prepare("SELECT " + ResultColumns(version_) +
                           " FROM results r WHERE r.run = :run ORDER BY r.ord, r.page DESC");
    if (statement == nullptr) {
        return false;
    }
    statement->Bind(":run", run);
    return database_->Rows(*statement,
                           [&](const sql::Statement& row) { return each(ResultOf(row)); });
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
    sql::Statement* const statement =
        database_->Prepare("SELECT " + ResultColumns(version_) +
                           " FROM results r WHERE r.keyword = :keyword AND r.page = :page AND "
                           "r.run >= :first ORDER BY r.run, r.ord");
    if (statement == nullptr) {
        return false;
    }
    statement->Bind(":keyword", keyword);
    statement->Bind(":page", page);
    statement->Bind(":first", firstRun);
    return database_->Rows(*statement,
                           [&](const sql::Statement& row) { return each(ResultOf(row)); });
}

bool HistoryReader::CheckBefore(const std::string& site, const StoredRun& run,
                                const std::string& page, const std::string& keyword,
                                const EachResult& each) {
    if (version_ == 0) {
        return true;
    }
    const std::string regionColumn = version_ >= 4 ? "u.region" : "''";
    sql::Statement* const statement = database_->Prepare(
        "SELECT " + ResultColumns(version_) +
        " FROM results r JOIN runs u ON u.id = r.run WHERE r.keyword = :keyword AND "
        "r.page = :page AND r.failed IS NULL AND r.run < :run AND site_key(u.site) = :site AND " +
        regionColumn + " = :region ORDER BY r.run DESC LIMIT 1");
    if (statement == nullptr) {
        return false;
    }
    statement->Bind(":keyword", keyword);
    statement->Bind(":page", page);
    statement->Bind(":run", run.id);
    statement->Bind(":site", SiteKey(site));
    statement->Bind(":region", run.region);
    return database_->Rows(*statement,
                           [&](const sql::Statement& row) { return each(ResultOf(row)); });
}

bool HistoryReader::KeywordsBeforeTheLast(
    const std::string& site, const std::vector<StoredRun>& runs,
    const std::function<bool(const std::string& page, const std::string& keyword)>& each) {
    if (version_ == 0 || runs.size() < 2) {
        return true;
    }
    // In the order of the latest run that checked them, as the last run orders its own. The
    // runs before the last are a range of ids, of which only the site's from the same region on
    // the same main page count.
    const std::string regionColumn = version_ >= 4 ? "region" : "''";
    sql::Statement* const statement = database_->Prepare(
        "SELECT g.page, g.keyword FROM (SELECT r.page AS page, r.keyword AS keyword, "
        "max(r.run) AS latest FROM results r WHERE r.run BETWEEN :first AND :before_last AND "
        "r.run IN (SELECT id FROM runs WHERE site_key(site) = :site AND " +
        regionColumn +
        " = :region AND (device = 'mobile') = :phone) GROUP BY r.page, "
        "r.keyword) g WHERE NOT EXISTS (SELECT 1 FROM results l WHERE l.keyword = g.keyword AND "
        "l.page = g.page AND l.run = :last) ORDER BY g.latest DESC, (SELECT min(o.ord) FROM "
        "results o WHERE o.keyword = g.keyword AND o.page = g.page AND o.run = g.latest), "
        "g.page DESC");
    if (statement == nullptr) {
        return false;
    }
    statement->Bind(":first", runs.front().id);
    statement->Bind(":before_last", runs[runs.size() - 2].id);
    statement->Bind(":site", SiteKey(site));
    statement->Bind(":region", runs.back().region);
    statement->Bind(":phone", runs.back().device == "mobile" ? 1 : 0);
    statement->Bind(":last", runs.back().id);
    return database_->Rows(
        *statement, [&](const sql::Statement& row) { return each(row.Text(0), row.Text(1)); });
}

std::optional<std::vector<RunTotals>> HistoryReader::Totals(const std::vector<StoredRun>& runs) {
    std::vector<RunTotals> totals(runs.size());
    if (version_ == 0) {
        return totals;
    }
    sql::Statement* const statement = database_->Prepare(
        "SELECT count(*), count(left_slot), total(left_slot), ifnull(max(left_slot), 0) "
        "FROM results WHERE run = :run AND page = :page AND failed IS NULL");
    if (statement == nullptr) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        statement->Bind(":run", runs[i].id);
        statement->Bind(":page", runs[i].device == "mobile" ? "mobile" : "pc");
        const bool read = database_->Rows(*statement, [&](const sql::Statement& row) {
            totals[i] = {row.Int(0), row.Int(1), static_cast<long long>(row.Double(2)), row.Int(3)};
            return true;
        });
        if (!read) {
            return std::nullopt;
        }
    }
    return totals;
}

}  // namespace slotscope
