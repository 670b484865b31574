#include "history/history_file.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>
#include <stop_token>
#include <utility>

#include "base/file_open.h"
#include "base/text_codec.h"
#include "history/history_schema.h"
#include "history/stored_ads.h"
#include "history/stored_sites.h"
#include "sql/database.h"
#include "sql/statement.h"
#include "sql/transaction.h"

namespace slotscope {
namespace {

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

// A keyword's row, the same parameters for its insert and its update.
constexpr const char* kInsertResult =
    "INSERT INTO results (run, page, ord, keyword, left_label, right_label, left_slot, "
    "right_slot, failed, left_change, left_by, right_change, right_by, left_listings, "
    "right_listings, left_sites, right_sites, failure_reason, left_ads, right_ads) "
    "VALUES (:run, :page, :ord, :keyword, :left_label, :right_label, :left_slot, :right_slot, "
    ":failed, :left_change, :left_by, :right_change, :right_by, :left_listings, "
    ":right_listings, :left_sites, :right_sites, :failure_reason, :left_ads, :right_ads)";
constexpr const char* kUpdateResult =
    "UPDATE results SET left_label = :left_label, right_label = :right_label, "
    "left_slot = :left_slot, right_slot = :right_slot, failed = :failed, "
    "left_change = :left_change, left_by = :left_by, right_change = :right_change, "
    "right_by = :right_by, left_listings = :left_listings, right_listings = :right_listings, "
    "left_sites = :left_sites, right_sites = :right_sites, failure_reason = :failure_reason, "
    "left_ads = :left_ads, right_ads = :right_ads "
    "WHERE run = :run AND page = :page AND ord = :ord AND keyword = :keyword";

// The places a side's change is bound at.
struct SideColumns {
    const char* label;
    const char* slot;
    const char* change;
    const char* by;
    const char* listings;
    const char* sites;
    const char* ads;
};
constexpr SideColumns kLeftColumns{":left_label",    ":left_slot",  ":left_change", ":left_by",
                                   ":left_listings", ":left_sites", ":left_ads"};
constexpr SideColumns kRightColumns{":right_label",    ":right_slot",  ":right_change", ":right_by",
                                    ":right_listings", ":right_sites", ":right_ads"};

// A side's seen listings: their sites and, read in the same pass, each one's title and text.
struct SeenListings {
    const std::vector<std::string>& sites;
    const std::vector<ListingAd>& ads;
};

void BindSide(sql::Statement& statement, const SideColumns& columns, std::u16string_view label,
              const SideChange& change, const SeenListings& seen, bool read) {
    const std::vector<std::string>& sites = seen.sites;
    statement.Bind(columns.label, EncodeUtf8(label));
    statement.Bind(columns.slot, SlotOf(label));
    statement.Bind(columns.change, ChangeName(change.kind));
    const bool moved = change.kind == ChangeKind::Up || change.kind == ChangeKind::Down;
    statement.Bind(columns.by, moved ? std::optional(change.by) : std::nullopt);
    // A failed check saw no listings: none are known.
    if (read) {
        statement.Bind(columns.listings, static_cast<int>(sites.size()));
        statement.Bind(columns.sites, JoinSites(sites));
        // Listings given without their titles (by a caller that reads no page) keep none.
        if (seen.ads.size() == sites.size()) {
            statement.Bind(columns.ads, JoinAds(seen.ads));
        } else {
            statement.BindNull(columns.ads);
        }
    } else {
        statement.BindNull(columns.listings);
        statement.BindNull(columns.sites);
        statement.BindNull(columns.ads);
    }
}

// Binds a keyword's row; `left` and `right` are its sides' changes.
void BindOutcome(sql::Statement& statement, long long run, const KeywordOutcome& outcome,
                 const SideChange& left, const SideChange& right) {
    const bool read = outcome.failure == CheckFailure::None;
    statement.Bind(":run", run);
    statement.Bind(":page", PageName(outcome.page));
    statement.Bind(":ord", outcome.order);
    statement.Bind(":keyword", EncodeUtf8(outcome.keyword));
    statement.Bind(":failed", StoredFailureName(outcome.failure));
    if (read) {
        statement.BindNull(":failure_reason");
    } else {
        statement.Bind(":failure_reason", outcome.failureReason);
    }
    BindSide(statement, kLeftColumns, outcome.left, left, {outcome.sites.left, outcome.ads.left},
             read);
    BindSide(statement, kRightColumns, outcome.right, right,
             {outcome.sites.right, outcome.ads.right}, read);
}

// The write-ahead log: a killed run loses nothing committed, and readers never wait. It is
// folded into the file often and kept short, so on a disk that fills up the history takes
// little of the room the results file needs.
sql::Result<> UseWriteAheadLog(sql::Database& db) {
    return db.Integer("PRAGMA journal_mode=WAL")
        .and_then([&](int) { return db.Execute("PRAGMA synchronous=NORMAL"); })
        .and_then([&] { return db.Integer("PRAGMA wal_autocheckpoint=64"); })
        .and_then([&](int) { return db.Integer("PRAGMA journal_size_limit=262144"); })
        .map([](int) {});
}

}  // namespace

// One open connection and the statements the run uses, prepared once; the transaction Hold
// took goes first, then the statements, then the connection.
struct HistoryFile::Connection {
    std::unique_ptr<sql::Database> db;
    sql::Statement insertRun;
    sql::Statement insertResult;
    sql::Statement updateResult;
    sql::Statement endRun;
    sql::Statement lastSlots;
    std::optional<sql::Transaction> held;

    // The sides' changes against the latest earlier run of the site from the same region that
    // checked the keyword on the same page without failure.
    sql::Result<std::pair<SideChange, SideChange>> ChangesOf(const KeywordOutcome& outcome,
                                                             long long run, const std::string& site,
                                                             const std::string& region) {
        std::optional<std::optional<int>> left;
        std::optional<std::optional<int>> right;
        lastSlots.Bind(":keyword", EncodeUtf8(outcome.keyword));
        lastSlots.Bind(":page", PageName(outcome.page));
        lastSlots.Bind(":run", run);
        lastSlots.Bind(":site", site);
        lastSlots.Bind(":region", region);
        return lastSlots
            .Run([&](const sql::Statement& row) {
                left = row.MaybeInt(0);
                right = row.MaybeInt(1);
            })
            .map([&] {
                const bool failed = outcome.failure != CheckFailure::None;
                return std::pair(CompareSlots(left, SlotOf(outcome.left), failed),
                                 CompareSlots(right, SlotOf(outcome.right), failed));
            });
    }
};

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
                         std::chrono::milliseconds busyTimeout, Clock clock)
    : path_(std::move(utf8Path)),
      version_(std::move(programVersion)),
      busyTimeout_(busyTimeout),
      clock_(clock ? std::move(clock) : [] { return std::chrono::system_clock::now(); }) {}

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
    connection_.reset();
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
    if (connection_ == nullptr || connection_->held) {
        return;
    }
    // The wait for another run's lock happens here, tried again once when it outlasts the wait.
    try {
        sql::Transaction& held = connection_->held.emplace(*connection_->db);
        if (const sql::Result<> begun = held.Begin(); !begun) {
            connection_->held.reset();
            GiveUp(begun.error().message, begun.error().full());
        }
    } catch (const std::bad_alloc&) {
        GiveUp("out of memory");
    }
}

template <typename Work>
void HistoryFile::Write(const Work& work) {
    Hold();
    if (connection_ == nullptr || !connection_->held) {
        return;
    }
    try {
        const sql::Result<> done =
            work(*connection_).and_then([&] { return connection_->held->Commit(); });
        connection_->held.reset();  // rolled back unless committed
        if (!done) {
            GiveUp(done.error().message, done.error().full());
        }
    } catch (const std::bad_alloc&) {
        GiveUp("out of memory");
    }
}

bool HistoryFile::Open() {
    std::optional<HistoryMarks> marks;
    sql::Result<std::unique_ptr<sql::Database>> opened = sql::Database::OpenRetrying(
        path_, sql::OpenMode::Create, {busyTimeout_, stop_}, [&](sql::Database& db) {
            // Another program's database is left exactly as it is: ours carry their mark, and a
            // new one has no tables yet. Read in one transaction, as another run may be making
            // the tables meanwhile.
            sql::Transaction reading(db, sql::Transaction::Kind::Deferred);
            return reading.Begin()
                .and_then([&] { return ReadHistoryMarks(db); })
                .and_then([&](HistoryMarks read) {
                    marks = read;
                    return reading.Commit();
                })
                .and_then([&] {
                    const bool usable = marks->kind == HistoryMarks::Kind::Empty ||
                                        marks->kind == HistoryMarks::Kind::Ours;
                    return usable ? UseWriteAheadLog(db) : sql::Result<>();
                });
        });
    if (!opened) {
        GiveUp(opened.error().message, opened.error().full());
        return false;
    }
    if (marks->kind == HistoryMarks::Kind::Foreign) {
        GiveUp("not a Slotscope history; left as it is");
        return false;
    }
    if (marks->kind == HistoryMarks::Kind::Newer) {
        GiveUp("made by a newer version of Slotscope (schema " + std::to_string(marks->version) +
               "); left as it is");
        return false;
    }
    connection_ = std::make_unique<Connection>();
    connection_->db = std::move(*opened);
    return true;
}

bool HistoryFile::Prepare() {
    try {
        if (const sql::Result<> upgraded = sql::Upgrade(*connection_->db, HistorySchema());
            !upgraded) {
            GiveUp(upgraded.error().message, upgraded.error().full());
            return false;
        }
    } catch (const std::bad_alloc&) {
        GiveUp("out of memory");
        return false;
    }
    sql::Database& db = *connection_->db;
    const std::pair<sql::Statement*, const char*> statements[] = {
        {&connection_->insertRun,
         "INSERT INTO runs (site, device, started, version, region) "
         "VALUES (:site, :device, :started, :version, :region)"},
        {&connection_->insertResult, kInsertResult},
        {&connection_->updateResult, kUpdateResult},
        {&connection_->endRun,
         "UPDATE runs SET finished = :finished, ended = :ended, keywords = :keywords, "
         "failed = :failed, blocked = :blocked WHERE id = :run"},
        {&connection_->lastSlots,
         "SELECT r.left_slot, r.right_slot FROM results r JOIN runs u ON u.id = r.run "
         "WHERE r.keyword = :keyword AND r.page = :page AND r.failed IS NULL AND r.run < :run "
         "AND u.site = :site COLLATE NOCASE AND u.region = :region ORDER BY r.run DESC LIMIT 1"},
    };
    for (const auto& [statement, sql] : statements) {
        sql::Result<sql::Statement> prepared = db.Prepare(sql);
        if (!prepared) {
            GiveUp(prepared.error().message);
            return false;
        }
        *statement = std::move(*prepared);
    }
    return true;
}

void HistoryFile::Begin(std::u16string_view site, Device device, std::u16string_view region,
                        std::stop_token stop) {
    stop_ = std::move(stop);
    created_ = !IsRegularFile(path_);
    countedPage_ = device == Device::Mobile ? PageKind::Phone : PageKind::Desktop;
    if (!Open() || !Prepare()) {
        return;
    }
    const std::string siteText = EncodeUtf8(site);
    region_ = EncodeUtf8(region);
    Write([&](Connection& c) {
        c.insertRun.Bind(":site", siteText);
        c.insertRun.Bind(":region", region_);
        c.insertRun.Bind(":device", DeviceName(device));
        c.insertRun.Bind(":started", UtcTimestamp(clock_()));
        c.insertRun.Bind(":version", version_);
        return c.insertRun.Run().map([&] { run_ = c.db->LastInsertRow(); });
    });
    site_ = siteText;
}

void HistoryFile::Keep(const std::vector<KeywordOutcome>& outcomes, bool revised) {
    Write([&](Connection& c) -> sql::Result<> {
        sql::Statement& statement = revised ? c.updateResult : c.insertResult;
        for (const KeywordOutcome& outcome : outcomes) {
            const auto changes = c.ChangesOf(outcome, run_, site_, region_);
            if (!changes) {
                return tl::unexpected(changes.error());
            }
            BindOutcome(statement, run_, outcome, changes->first, changes->second);
            if (sql::Result<> ran = statement.Run(); !ran) {
                return ran;
            }
            const auto at = static_cast<std::size_t>(outcome.order);
            if (outcome.page == countedPage_ && !revised) {
                counted_.resize(std::max(counted_.size(), at));
            }
            if (outcome.page == countedPage_ && at <= counted_.size()) {
                counted_[at - 1] = changes->first;
            }
        }
        return {};
    });
}

void HistoryFile::Record(const std::vector<KeywordOutcome>& outcomes) {
    Keep(outcomes, false);
    keptKeywords_ += connection_ != nullptr && !outcomes.empty() ? 1 : 0;
}

void HistoryFile::Revise(const std::vector<KeywordOutcome>& outcomes) {
    stage_ = Stage::Revising;
    Keep(outcomes, true);
}

void HistoryFile::End(const RunSummary& summary) {
    if (ended_ || run_ == 0) {
        return;
    }
    ended_ = true;
    stage_ = Stage::Ending;
    Write([&](Connection& c) {
        c.endRun.Bind(":run", run_);
        c.endRun.Bind(":finished", UtcTimestamp(clock_()));
        c.endRun.Bind(":ended", EndedName(summary.end));
        c.endRun.Bind(":keywords", summary.keywords);
        c.endRun.Bind(":failed", summary.failed);
        c.endRun.Bind(":blocked", summary.blocked);
        return c.endRun.Run();
    });
    connection_.reset();  // the file is closed with the run
}

ChangeCounts HistoryFile::changes() const {
    ChangeCounts counts;
    for (const SideChange& change : counted_) {
        counts.Count(change);
    }
    return counts;
}

}  // namespace slotscope
