#include "sql/migrations.h"

#include <algorithm>
#include <string>

#include "sql/database.h"
#include "sql/meta_table.h"
#include "sql/transaction.h"

namespace slotscope::sql {

namespace {

// One step in its own transaction: true when the file is at the schema's version.
Result<bool> Step(Database& db, const Schema& schema) {
    Transaction transaction(db);
    Result<> done = transaction.Begin();
    const Result<int> version = done ? SchemaVersion(db) : tl::unexpected(done.error());
    if (!version) {
        return tl::unexpected(version.error());
    }
    if (*version >= schema.version) {
        return transaction.Commit().map([] { return true; });
    }
    int reached = schema.version;
    if (*version == 0) {
        done = schema.create(db);
    } else {
        const auto next = std::find_if(schema.migrations.begin(), schema.migrations.end(),
                                       [&](const Migration& m) { return m.to > *version; });
        if (next == schema.migrations.end() || next->to != *version + 1) {
            return tl::unexpected(
                Error{0, "no way from schema " + std::to_string(*version) + " to this one's"});
        }
        reached = next->to;
        done = next->apply(db);
    }
    // A file on its way has no compatible version of its own: it needs a program that knows
    // the version it reached.
    const bool last = reached == schema.version;
    done = done.and_then([&] { return SetSchemaVersion(db, reached); })
               .and_then([&] {
                   return last ? SetCompatibleVersion(db, schema.compatibleVersion) : Result<>();
               })
               .and_then([&] { return transaction.Commit(); });
    if (!done) {
        return tl::unexpected(std::move(done.error()));
    }
    return last;
}

}  // namespace

Result<> Upgrade(Database& db, const Schema& schema) {
    for (;;) {
        const Result<bool> reached = Step(db, schema);
        if (!reached) {
            return tl::unexpected(reached.error());
        }
        if (*reached) {
            return {};
        }
    }
}

}  // namespace slotscope::sql
