#include "history/history_file.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <thread>
#include <utility>

#include "base/file_open.h"
#include "page/own_site.h"
#include "base/text_codec.h"
#include "history/stored_sites.h"

namespace slotscope {
namespace {

// An SQLite failure, with its result code: busy and locked are tried again once.
class SqliteError final : public std::runtime_error {
  public:
    SqliteError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
    bool busy() const {
        const int primary = code_ & 0xff;
        return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
    }
    bool full() const { return (code_ & 0xff) == SQLITE_FULL; }

  private:
    int code_;
};

const char* DeviceName(Device device) {
    switch (device) {
        case Device::Mobile:
            return "mobile";
        case Device::Both:
            return "both";
        case Device::Pc:
            break;
    }
    return "pc";
}

const char* PageName(PageKind page) {
    return page == PageKind::Phone ? "mobile" : "pc";
}

const char* ChangeName(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::Up:
            return "up";
        case ChangeKind::Down:
            return "down";
        case ChangeKind::Same:
            return "same";
        case ChangeKind::Gained:
            return "gained";
        case ChangeKind::Lost:
            return "lost";
        case ChangeKind::None:
            return "none";
        case ChangeKind::Failed:
            return "failed";
        case ChangeKind::First:
            break;
    }
    return "first";
}

const char* EndedName(RunEnd end) {
    switch (end) {
        case RunEnd::Completed:
            return "finished";
        case RunEnd::Stopped:
            return "stopped";
        default:
            return "interrupted";  // no proper end: the run itself failed
    }
}

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
    version TEXT NOT NULL
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

}  // namespace

// One open connection and the statements the run uses, prepared once.
class HistoryFile::Database final {
  public:
    Database(const std::string& path, std::chrono::milliseconds busyTimeout, std::stop_token stop)
        : busyTimeout_(busyTimeout), stop_(std::move(stop)) {
        const int opened = sqlite3_open_v2(path.c_str(), &db_,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (opened != SQLITE_OK) {
            Fail(opened, "cannot be opened");
        }
        sqlite3_busy_handler(db_, &Database::WaitWhileBusy, this);
        sqlite3_extended_result_codes(db_, 1);
    }
    ~Database() {
        for (sqlite3_stmt* statement : statements_) {
            sqlite3_finalize(statement);
        }
        sqlite3_close(db_);
    }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    [[noreturn]] void Fail(int code, const char* what) const {
        throw SqliteError(code, std::string(what) + ": " +
                                    (db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code)));
    }

    void Execute(const char* sql) {
        char* message = nullptr;
        const int result = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
        if (result != SQLITE_OK) {
            const std::string text = message != nullptr ? message : sqlite3_errstr(result);
            sqlite3_free(message);
            throw SqliteError(result, text);
        }
    }

    // A statement, prepared once and reset for each use.
    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        const int result = sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
        if (result != SQLITE_OK) {
            Fail(result, "cannot be read");
        }
        statements_.push_back(statement);
        return statement;
    }

    int IntegerOf(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        int result = sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
        int value = 0;
        if (result == SQLITE_OK) {
            result = sqlite3_step(statement);
            value = sqlite3_column_int(statement, 0);
        }
        sqlite3_finalize(statement);
        if (result != SQLITE_ROW) {
            Fail(result, "cannot be read");
        }
        return value;
    }

    // Steps a statement to its end; the row it gives, if any, is read by `row` first.
    template <typename Row>
    void Run(sqlite3_stmt* statement, const Row& row) {
        int result = sqlite3_step(statement);
        if (result == SQLITE_ROW) {
            row(statement);
            while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
            }
        }
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        if (result != SQLITE_DONE) {
            Fail(result, "cannot be written");
        }
    }
    void Run(sqlite3_stmt* statement) {
        Run(statement, [](sqlite3_stmt*) {});
    }

    long long LastRow() const { return sqlite3_last_insert_rowid(db_); }

    // Older runs kept the site as it was typed ("http://www.shop.cn/"): each is stored as the
    // site checked, so that every run of one site compares with the others.
    void StoreSitesAsChecked() {
        std::vector<std::string> sites;
        sqlite3_stmt* const select = Prepare("SELECT DISTINCT site FROM runs");
        int result = SQLITE_ROW;
        while ((result = sqlite3_step(select)) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select, 0));
            sites.emplace_back(text != nullptr ? text : "");
        }
        sqlite3_reset(select);
        if (result != SQLITE_DONE) {
            Fail(result, "cannot be read");
        }
        sqlite3_stmt* const update = Prepare("UPDATE runs SET site = ?2 WHERE site = ?1");
        for (const std::string& site : sites) {
            if (const std::string checked = SiteKey(site); checked != site) {
                sqlite3_bind_text(update, 1, site.data(), static_cast<int>(site.size()),
                                  SQLITE_TRANSIENT);
                sqlite3_bind_text(update, 2, checked.data(), static_cast<int>(checked.size()),
                                  SQLITE_TRANSIENT);
                Run(update);
            }
        }
    }

    // Waits for a file another run holds, a little at a time, up to the wait allowed; a stop
    // request ends the wait at once.
    static int WaitWhileBusy(void* self, int count) {
        auto* database = static_cast<Database*>(self);
        const auto now = std::chrono::steady_clock::now();
        if (count == 0) {
            database->busySince_ = now;
        }
        if (database->stop_.stop_requested() ||
            now - database->busySince_ > database->busyTimeout_) {
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return 1;
    }

    sqlite3_stmt* insertRun = nullptr;
    sqlite3_stmt* insertResult = nullptr;
    sqlite3_stmt* updateResult = nullptr;
    sqlite3_stmt* endRun = nullptr;
    sqlite3_stmt* lastSlots = nullptr;

  private:
    sqlite3* db_ = nullptr;
    std::vector<sqlite3_stmt*> statements_;
    std::chrono::milliseconds busyTimeout_;
    std::stop_token stop_;
    std::chrono::steady_clock::time_point busySince_;
};

namespace {

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

void BindText(sqlite3_stmt* statement, int index, const char* text) {
    if (text == nullptr) {
        sqlite3_bind_null(statement, index);
    } else {
        sqlite3_bind_text(statement, index, text, -1, SQLITE_STATIC);
    }
}

void BindSlot(sqlite3_stmt* statement, int index, const std::optional<int>& slot) {
    if (slot) {
        sqlite3_bind_int(statement, index, *slot);
    } else {
        sqlite3_bind_null(statement, index);
    }
}

void BindBy(sqlite3_stmt* statement, int index, const SideChange& change) {
    const bool moved = change.kind == ChangeKind::Up || change.kind == ChangeKind::Down;
    BindSlot(statement, index, moved ? std::optional(change.by) : std::nullopt);
}

}  // namespace

const char* StoredFailureName(CheckFailure failure) {
    switch (failure) {
        case CheckFailure::Fetch:
            return "fetch";
        case CheckFailure::Blocked:
            return "blocked";
        case CheckFailure::Unreadable:
            return "unreadable";
        case CheckFailure::NotResultPage:
            return "not_result_page";
        case CheckFailure::None:
            break;
    }
    return nullptr;
}

CheckFailure StoredFailureKind(std::string_view name) {
    for (const CheckFailure failure : {CheckFailure::Fetch, CheckFailure::Blocked,
                                       CheckFailure::Unreadable, CheckFailure::NotResultPage}) {
        if (name == StoredFailureName(failure)) {
            return failure;
        }
    }
    return CheckFailure::None;
}

std::string UtcTimestamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(floor<seconds>(time - day));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

HistoryFile::HistoryFile(std::string utf8Path, std::string programVersion,
                         std::chrono::milliseconds busyTimeout)
    : path_(std::move(utf8Path)), version_(std::move(programVersion)), busyTimeout_(busyTimeout) {}

HistoryFile::~HistoryFile() = default;

void HistoryFile::GiveUp(const std::string& why, bool diskFull) {
    if (problem_.empty()) {
        // What was lost besides the rows not recorded, where every row was.
        const char* lost = stage_ == Stage::Revising ? "; the rows the rounds after verification "
                                                       "changed were not revised"
                           : stage_ == Stage::Ending ? "; the run's end was not kept"
                                                     : "";
        problem_ = "history file " + path_ + ": " + why + lost;
    }
    database_.reset();
    held_ = false;
    if (diskFull && created_) {
        // A history this run began on a full disk holds nothing older; its files would only
        // take the room the results file needs.
        for (const char* suffix : {"", "-wal", "-shm"}) {
            RemoveFile(path_ + suffix);
        }
        keptKeywords_ = 0;
    }
}

void HistoryFile::Hold() {
    if (database_ == nullptr || held_) {
        return;
    }
    // The wait for another run's lock happens here, tried again once when it outlasts the wait.
    for (int attempt = 0;; ++attempt) {
        try {
            database_->Execute("BEGIN IMMEDIATE");
            held_ = true;
            return;
        } catch (const SqliteError& error) {
            if (!error.busy() || attempt > 0 || stop_.stop_requested()) {
                GiveUp(error.what(), error.full());
                return;
            }
        } catch (const std::bad_alloc&) {
            GiveUp("out of memory");
            return;
        }
    }
}

template <typename Work>
void HistoryFile::Write(const Work& work) {
    Hold();
    if (database_ == nullptr || !held_) {
        return;
    }
    held_ = false;
    try {
        try {
            work(*database_);
            database_->Execute("COMMIT");
        } catch (...) {
            try {
                database_->Execute("ROLLBACK");
            } catch (const SqliteError&) {
                // SQLite rolled back itself.
            }
            throw;
        }
    } catch (const SqliteError& error) {
        GiveUp(error.what(), error.full());
    } catch (const std::bad_alloc&) {
        GiveUp("out of memory");
    }
}

void HistoryFile::Begin(std::u16string_view site, Device device, std::stop_token stop) {
    stop_ = std::move(stop);
    created_ = !IsRegularFile(path_);
    countedPage_ = device == Device::Mobile ? PageKind::Phone : PageKind::Desktop;
    // Two runs opening one file at once can each hold what the other needs to switch it to the
    // write-ahead log, and SQLite then answers busy at once instead of waiting: such a start is
    // tried again until the wait is over.
    const auto giveUpAt = std::chrono::steady_clock::now() + busyTimeout_;
    for (;;) {
        try {
            database_ = std::make_unique<Database>(path_, busyTimeout_, stop_);
            Database& db = *database_;
            // Another program's database is left exactly as it is: ours carry their mark, and
            // a new one has no tables yet. Read in one transaction, as another run may be
            // making the tables meanwhile.
            db.Execute("BEGIN");
            const int found = db.IntegerOf("PRAGMA user_version");
            const bool foreign = found == 0
                                     ? db.IntegerOf("SELECT count(*) FROM sqlite_master") > 0
                                     : db.IntegerOf("PRAGMA application_id") != kApplicationId;
            db.Execute("COMMIT");
            if (foreign) {
                GiveUp("not a Slotscope history; left as it is");
                return;
            }
            if (found > kSchemaVersion) {
                GiveUp("made by a newer version of Slotscope (schema " + std::to_string(found) +
                       "); left as it is");
                return;
            }
            // The write-ahead log: a killed run loses nothing committed, and readers never wait.
            // It is folded into the file often and kept short, so on a disk that fills up the
            // history takes little of the room the results file needs.
            db.IntegerOf("PRAGMA journal_mode=WAL");
            db.Execute("PRAGMA synchronous=NORMAL");
            db.IntegerOf("PRAGMA wal_autocheckpoint=64");
            db.IntegerOf("PRAGMA journal_size_limit=262144");
            break;
        } catch (const SqliteError& error) {
            if (!error.busy() || std::chrono::steady_clock::now() > giveUpAt) {
                GiveUp(error.what(), error.full());
                return;
            }
            database_.reset();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    Write([](Database& db) {
        // Checked again inside the transaction: another run may have made the tables meanwhile.
        const int version = db.IntegerOf("PRAGMA user_version");
        if (version == 0) {
            db.Execute(kSchema);
            db.Execute(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
        } else {
            if (version == 1) {
                db.Execute(kSchemaFrom1To2);
            }
            if (version <= 2) {
                db.Execute(kSchemaFrom2To3);
                db.StoreSitesAsChecked();
            }
        }
        if (version < kSchemaVersion) {
            db.Execute(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
        }
    });
    if (database_ == nullptr) {
        return;
    }
    try {
        Database& db = *database_;
        db.insertRun =
            db.Prepare("INSERT INTO runs (site, device, started, version) VALUES (?1, ?2, ?3, ?4)");
        db.insertResult = db.Prepare(
            "INSERT INTO results (run, page, ord, keyword, left_label, right_label, left_slot, "
            "right_slot, failed, left_change, left_by, right_change, right_by, left_listings, "
            "right_listings, left_sites, right_sites, failure_reason) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, "
            "?18)");
        db.updateResult = db.Prepare(
            "UPDATE results SET left_label = ?5, right_label = ?6, left_slot = ?7, "
            "right_slot = ?8, failed = ?9, left_change = ?10, left_by = ?11, right_change = ?12, "
            "right_by = ?13, left_listings = ?14, right_listings = ?15, left_sites = ?16, "
            "right_sites = ?17, failure_reason = ?18 WHERE run = ?1 AND page = ?2 AND ord = ?3 AND "
            "keyword = ?4");
        db.endRun = db.Prepare(
            "UPDATE runs SET finished = ?2, ended = ?3, keywords = ?4, failed = ?5, blocked = ?6 "
            "WHERE id = ?1");
        db.lastSlots = db.Prepare(
            "SELECT r.left_slot, r.right_slot FROM results r JOIN runs u ON u.id = r.run "
            "WHERE r.keyword = ?1 AND r.page = ?2 AND r.failed IS NULL AND r.run < ?3 "
            "AND u.site = ?4 COLLATE NOCASE ORDER BY r.run DESC LIMIT 1");
    } catch (const SqliteError& error) {
        GiveUp(error.what());
        return;
    }
    const std::string siteText = EncodeUtf8(site);
    Write([&](Database& db) {
        BindText(db.insertRun, 1, siteText);
        BindText(db.insertRun, 2, DeviceName(device));
        BindText(db.insertRun, 3, UtcTimestamp(std::chrono::system_clock::now()));
        BindText(db.insertRun, 4, version_);
        db.Run(db.insertRun);
        run_ = db.LastRow();
    });
    site_ = siteText;
}

SideChange HistoryFile::ChangeOf(const KeywordOutcome& outcome, bool left) {
    std::optional<std::optional<int>> before;
    Database& db = *database_;
    BindText(db.lastSlots, 1, EncodeUtf8(outcome.keyword));
    BindText(db.lastSlots, 2, PageName(outcome.page));
    sqlite3_bind_int64(db.lastSlots, 3, run_);
    BindText(db.lastSlots, 4, site_);
    db.Run(db.lastSlots, [&](sqlite3_stmt* row) {
        const int column = left ? 0 : 1;
        before = sqlite3_column_type(row, column) == SQLITE_NULL
                     ? std::optional<int>()
                     : std::optional(sqlite3_column_int(row, column));
    });
    return CompareSlots(before, SlotOf(left ? outcome.left : outcome.right),
                        outcome.failure != CheckFailure::None);
}

namespace {

// Binds a keyword's row; `left` and `right` are its sides' changes.
void BindOutcome(sqlite3_stmt* statement, long long run, const KeywordOutcome& outcome,
                 const SideChange& left, const SideChange& right) {
    sqlite3_bind_int64(statement, 1, run);
    BindText(statement, 2, PageName(outcome.page));
    sqlite3_bind_int(statement, 3, outcome.order);
    BindText(statement, 4, EncodeUtf8(outcome.keyword));
    BindText(statement, 5, EncodeUtf8(outcome.left));
    BindText(statement, 6, EncodeUtf8(outcome.right));
    BindSlot(statement, 7, SlotOf(outcome.left));
    BindSlot(statement, 8, SlotOf(outcome.right));
    BindText(statement, 9, StoredFailureName(outcome.failure));
    BindText(statement, 10, ChangeName(left.kind));
    BindBy(statement, 11, left);
    BindText(statement, 12, ChangeName(right.kind));
    BindBy(statement, 13, right);
    if (outcome.failure == CheckFailure::None) {
        sqlite3_bind_null(statement, 18);
    } else {
        BindText(statement, 18, outcome.failureReason);
    }
    // A failed check saw no listings: none are known.
    const bool read = outcome.failure == CheckFailure::None;
    int index = 14;
    for (const auto* sites : {&outcome.sites.left, &outcome.sites.right}) {
        if (read) {
            sqlite3_bind_int(statement, index, static_cast<int>(sites->size()));
            BindText(statement, index + 2, JoinSites(*sites));
        } else {
            sqlite3_bind_null(statement, index);
            sqlite3_bind_null(statement, index + 2);
        }
        ++index;
    }
}

}  // namespace

void HistoryFile::Record(const std::vector<KeywordOutcome>& outcomes) {
    Write([&](Database& db) {
        for (const KeywordOutcome& outcome : outcomes) {
            const SideChange left = ChangeOf(outcome, true);
            const SideChange right = ChangeOf(outcome, false);
            BindOutcome(db.insertResult, run_, outcome, left, right);
            db.Run(db.insertResult);
            if (outcome.page == countedPage_) {
                counted_.resize(std::max<std::size_t>(counted_.size(),
                                                      static_cast<std::size_t>(outcome.order)));
                counted_[static_cast<std::size_t>(outcome.order) - 1] = left;
            }
        }
    });
    keptKeywords_ += database_ != nullptr && !outcomes.empty() ? 1 : 0;
}

void HistoryFile::Revise(const std::vector<KeywordOutcome>& outcomes) {
    stage_ = Stage::Revising;
    Write([&](Database& db) {
        for (const KeywordOutcome& outcome : outcomes) {
            const SideChange left = ChangeOf(outcome, true);
            const SideChange right = ChangeOf(outcome, false);
            BindOutcome(db.updateResult, run_, outcome, left, right);
            db.Run(db.updateResult);
            if (outcome.page == countedPage_ &&
                static_cast<std::size_t>(outcome.order) <= counted_.size()) {
                counted_[static_cast<std::size_t>(outcome.order) - 1] = left;
            }
        }
    });
}

void HistoryFile::End(const RunSummary& summary) {
    if (ended_ || run_ == 0) {
        return;
    }
    ended_ = true;
    stage_ = Stage::Ending;
    Write([&](Database& db) {
        sqlite3_bind_int64(db.endRun, 1, run_);
        BindText(db.endRun, 2, UtcTimestamp(std::chrono::system_clock::now()));
        BindText(db.endRun, 3, EndedName(summary.end));
        sqlite3_bind_int(db.endRun, 4, summary.keywords);
        sqlite3_bind_int(db.endRun, 5, summary.failed);
        sqlite3_bind_int(db.endRun, 6, summary.blocked);
        db.Run(db.endRun);
    });
    database_.reset();  // the file is closed with the run
}

ChangeCounts HistoryFile::changes() const {
    ChangeCounts counts;
    for (const SideChange& change : counted_) {
        counts.Count(change);
    }
    return counts;
}

}  // namespace slotscope
