#pragma once

#include "sql/database.h"
#include "sql/migrations.h"

namespace slotscope {

// The history's tables as this program writes them, and the steps from each older schema.
const sql::Schema& HistorySchema();

// What a file is to the history, as its marks tell: an empty file (as a run would begin it),
// one of ours, another program's database, or one made by a newer program than this one can use.
struct HistoryMarks {
    enum class Kind { Empty, Ours, Foreign, Newer } kind = Kind::Empty;
    int version = 0;  // PRAGMA user_version
};
// Read in the caller's transaction, as another run may be making the tables meanwhile.
sql::Result<HistoryMarks> ReadHistoryMarks(sql::Database& db);

}  // namespace slotscope
