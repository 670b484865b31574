// Files of older schemas as earlier versions wrote them, taken up by a run; files of a newer one
// left as they are unless it says this version can use them; the run's times from its clock.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "history/history_file.h"
#include "history/history_read.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/temp_dir.h"

namespace slotscope {
namespace {

using testing::Rows;

// The tables of the first schema, and one run of a site as it was typed then.
constexpr const char* kFirstSchema = R"sql(
CREATE TABLE runs (id INTEGER PRIMARY KEY, site TEXT NOT NULL, device TEXT NOT NULL,
    started TEXT NOT NULL, finished TEXT, ended TEXT NOT NULL DEFAULT 'interrupted',
    keywords INTEGER NOT NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0,
    blocked INTEGER NOT NULL DEFAULT 0, version TEXT NOT NULL);
CREATE TABLE results (run INTEGER NOT NULL REFERENCES runs (id), page TEXT NOT NULL,
    ord INTEGER NOT NULL, keyword TEXT NOT NULL, left_label TEXT NOT NULL,
    right_label TEXT NOT NULL, left_slot INTEGER, right_slot INTEGER, failed TEXT,
    left_change TEXT NOT NULL, left_by INTEGER, right_change TEXT NOT NULL, right_by INTEGER,
    PRIMARY KEY (run, page, ord));
CREATE INDEX results_by_keyword ON results (keyword, page, run);
PRAGMA application_id = 1399615348;
INSERT INTO runs VALUES (1, 'http://www.Shop.example.cn/', 'pc', '2025-01-01T00:00:00Z',
    '2025-01-01T00:01:00Z', 'finished', 1, 0, 0, '0.1');
INSERT INTO results VALUES (1, 'pc', 1, 'kw1', '左3', '右无', 3, NULL, NULL, 'first', NULL,
    'first', NULL);
)sql";
constexpr const char* kSecondSchema = R"sql(
ALTER TABLE results ADD COLUMN left_listings INTEGER;
ALTER TABLE results ADD COLUMN right_listings INTEGER;
ALTER TABLE results ADD COLUMN left_sites TEXT;
ALTER TABLE results ADD COLUMN right_sites TEXT;
UPDATE results SET left_listings = 3, right_listings = 0, left_sites = 'a.cn b.cn shop.example.cn',
    right_sites = '';
)sql";

void MakeFile(const std::string& path, const std::string& sql) {
    ASSERT_TRUE(testing::Execute(path, sql)) << sql;
}

KeywordOutcome Left(std::u16string label) {
    return {1, u"kw1", PageKind::Desktop, std::move(label), u"右无", CheckFailure::None, {}, {}};
}

TEST(HistoryMigrationTest, AnOlderSchemasFileIsTakenUpWithItsRows) {
    const struct {
        int version;
        std::string sql;
        const char* listings;  // the older run's, as read back
    } cases[] = {
        {1, kFirstSchema, "-|-"},
        {2, std::string(kFirstSchema) + kSecondSchema, "3|shop.example.cn"},
        {3,
         std::string(kFirstSchema) + kSecondSchema +
             "ALTER TABLE results ADD COLUMN failure_reason TEXT; "
             "UPDATE runs SET site = 'shop.example.cn';",
         "3|shop.example.cn"},
        {4,
         std::string(kFirstSchema) + kSecondSchema +
             "ALTER TABLE results ADD COLUMN failure_reason TEXT; "
             "ALTER TABLE runs ADD COLUMN region TEXT NOT NULL DEFAULT ''; "
             "UPDATE runs SET site = 'shop.example.cn';",
         "3|shop.example.cn"},
    };
    for (const auto& c : cases) {
        testing::TempDir dir;
        const std::string path = dir.file("slotscope.db");
        MakeFile(path, c.sql + "PRAGMA user_version = " + std::to_string(c.version) + ";");
        HistoryFile history(path, "test");
        history.Begin(u"shop.example.cn", Device::Pc, u"", {});
        history.Record({Left(u"左1")});
        history.End({});
        EXPECT_EQ(history.problem(), "") << c.version;
        EXPECT_EQ(history.changes().up, 1) << c.version;
        EXPECT_EQ(Rows(path, "PRAGMA user_version"), std::vector<std::string>{"5"});
        EXPECT_EQ(Rows(path, "SELECT value FROM meta WHERE key = 'last_compatible_version'"),
                  std::vector<std::string>{"3"});
        // The older runs were made over this machine's own connection.
        EXPECT_EQ(Rows(path, "SELECT id, site, region FROM runs"),
                  (std::vector<std::string>{"1|shop.example.cn|", "2|shop.example.cn|"}));
        // The older rows' listings' titles are unknown; the new row's side shows none.
        EXPECT_EQ(Rows(path,
                       "SELECT run, left_label, left_change, left_by, failure_reason, left_ads "
                       "FROM results"),
                  (std::vector<std::string>{"1|左3|first|-|-|-", "2|左1|up|2|-|[]"}));
        const auto reader = HistoryReader::Open(path);
        ASSERT_TRUE(reader) << reader.error();
        std::vector<std::string> listings;
        (*reader)->ResultsOfRun(1, [&](const StoredResult& result) {
            listings.push_back(result.left.ads        ? "ads"
                               : result.left.listings ? std::to_string(*result.left.listings) +
                                                            "|" + result.left.sites->back()
                                                      : "-|-");
            return true;
        });
        EXPECT_EQ(listings, std::vector<std::string>{c.listings}) << c.version;
    }
}

TEST(HistoryMigrationTest, ANewerSchemasFileIsLeftAsItIsUnlessItSaysThisVersionCanUseIt) {
    const std::string table = "CREATE TABLE meta (key TEXT PRIMARY KEY, value INTEGER);";
    const struct {
        std::string marks;  // besides the tables as this version makes them
        bool usable;
    } cases[] = {
        {"PRAGMA user_version = 6;", false},
        {table + "INSERT INTO meta VALUES ('last_compatible_version', 6); PRAGMA user_version = 6;",
         false},
        {table + "INSERT INTO meta VALUES ('last_compatible_version', 5); PRAGMA user_version = 6;",
         true},
    };
    for (const auto& c : cases) {
        testing::TempDir dir;
        const std::string path = dir.file("slotscope.db");
        {
            HistoryFile made(path, "test");
            made.Begin(u"shop.example.cn", Device::Pc, u"", {});
            made.End({});
        }
        MakeFile(path, "PRAGMA journal_mode = DELETE; DROP TABLE meta; " + c.marks);
        const std::string bytes = testing::ReadFileBytes(path);
        HistoryFile history(path, "test");
        history.Begin(u"shop.example.cn", Device::Pc, u"", {});
        history.Record({Left(u"左1")});
        history.End({});
        const auto reader = HistoryReader::Open(path);
        if (c.usable) {
            EXPECT_EQ(history.problem(), "") << c.marks;
            EXPECT_TRUE(reader) << reader.error();
            EXPECT_EQ(Rows(path, "SELECT count(*) FROM runs"), std::vector<std::string>{"2"});
        } else {
            EXPECT_NE(history.problem().find("made by a newer version of Slotscope (schema 6); "
                                             "left as it is"),
                      std::string::npos)
                << history.problem();
            EXPECT_EQ(reader ? "" : reader.error(),
                      "made by a newer version of Slotscope (schema 6)");
            EXPECT_EQ(testing::ReadFileBytes(path), bytes) << c.marks;
            EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
        }
    }
}

TEST(HistoryMigrationTest, ARunsTimesComeFromItsClock) {
    testing::TempDir dir;
    const std::string path = dir.file("slotscope.db");
    std::chrono::system_clock::time_point now =
        std::chrono::sys_days(std::chrono::December / 8 / 2026) + std::chrono::hours(2);
    HistoryFile history(path, "test", std::chrono::seconds(10), [&] { return now; });
    history.Begin(u"shop.example.cn", Device::Pc, u"", {});
    now += std::chrono::seconds(79);
    history.End({});
    EXPECT_EQ(Rows(path, "SELECT started, finished FROM runs"),
              std::vector<std::string>{"2026-12-08T02:00:00Z|2026-12-08T02:01:19Z"});
}

}  // namespace
}  // namespace slotscope
