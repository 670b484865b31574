// The SQLite layer on its own: a transaction not committed leaves nothing, and migrations that
// stop half way keep the steps they committed.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sql/database.h"
#include "sql/meta_table.h"
#include "sql/migrations.h"
#include "sql/transaction.h"

namespace slotscope::sql {
namespace {

std::unique_ptr<Database> Memory() {
    auto db = Database::Open(":memory:", OpenMode::Create, {});
    EXPECT_TRUE(db) << db.error().message;
    return std::move(*db);
}

TEST(SqlTest, ATransactionKeepsItsRowsOnlyWhenCommitted) {
    for (const bool commit : {true, false}) {
        const auto db = Memory();
        ASSERT_TRUE(db->Execute("CREATE TABLE t (x)"));
        {
            Transaction transaction(*db);
            ASSERT_TRUE(transaction.Begin());
            auto insert = db->Prepare("INSERT INTO t (x) VALUES (:x)");
            ASSERT_TRUE(insert);
            insert->Bind(":x", "kept");
            ASSERT_TRUE(insert->Run());
            if (commit) {
                ASSERT_TRUE(transaction.Commit());
            }
        }
        EXPECT_EQ(db->Integer("SELECT count(*) FROM t").value_or(-1), commit ? 1 : 0);
    }
}

TEST(SqlTest, EachStepOfAnUpgradeIsCommittedOnItsOwn) {
    const auto db = Memory();
    ASSERT_TRUE(db->Execute("CREATE TABLE a (x); PRAGMA user_version=1"));
    const auto Run = [&](const char* sql) {
        return [sql](Database& on) { return on.Execute(sql); };
    };
    Schema schema{4, 3, Run("CREATE TABLE a (x)"), {{2, Run("CREATE TABLE b (x)")}}};
    schema.migrations.push_back({3, Run("CREATE TABLE c (x); SELECT no_such_function()")});
    schema.migrations.push_back({4, Run("CREATE TABLE d (x)")});

    const Result<> upgraded = Upgrade(*db, schema);
    ASSERT_FALSE(upgraded);
    EXPECT_NE(upgraded.error().message.find("no_such_function"), std::string::npos);
    EXPECT_EQ(SchemaVersion(*db).value_or(-1), 2);
    EXPECT_EQ(CompatibleVersion(*db).value_or(-1), 2);  // none kept: its version
    EXPECT_EQ(
        db->Integer("SELECT count(*) FROM sqlite_master WHERE name IN ('b', 'c')").value_or(-1), 1);

    schema.migrations[1].apply = Run("CREATE TABLE c (x)");
    ASSERT_TRUE(Upgrade(*db, schema));
    EXPECT_EQ(SchemaVersion(*db).value_or(-1), 4);
    EXPECT_EQ(CompatibleVersion(*db).value_or(-1), 3);
}

}  // namespace
}  // namespace slotscope::sql
