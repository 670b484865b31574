#pragma once

#include <functional>
#include <vector>

#include "sql/error.h"

namespace slotscope::sql {

class Database;

// One step of a schema: from the version before `to` to `to`.
struct Migration {
    int to = 0;
    std::function<Result<>(Database&)> apply;
};

// A schema as a program writes it: a new file's tables at `version`, and the steps from each
// older version, in order.
struct Schema {
    int version = 0;
    int compatibleVersion = 0;  // the oldest version whose programs can use this one's files
    std::function<Result<>(Database&)> create;
    std::vector<Migration> migrations;
};

// Brings the file to the schema's version: a file without one (0) gets the tables, an older one
// each step after its version, every step in a transaction of its own that sets the version it
// reaches; the last sets the compatible version too. The version is read again inside each, as
// another connection may have moved it meanwhile. A file at or past the version is left as it is.
Result<> Upgrade(Database& db, const Schema& schema);

}  // namespace slotscope::sql
