#pragma once

#include "sql/error.h"

namespace slotscope::sql {

class Database;

// The schema's version marks. The version is PRAGMA user_version, where every program that ever
// wrote such a file looks for it. Beside it, a row of the `meta` table holds the oldest version
// whose programs can still read and write the file; a file without one needs a program that knows
// its version. Older programs never look at the table.
Result<int> SchemaVersion(Database& db);
Result<int> CompatibleVersion(Database& db);
// Each in the caller's transaction; the table is made when missing.
Result<> SetSchemaVersion(Database& db, int version);
Result<> SetCompatibleVersion(Database& db, int compatible);

}  // namespace slotscope::sql
