#include "sql/transaction.h"

#include "sql/database.h"

namespace slotscope::sql {

Transaction::~Transaction() {
    Rollback();
}

Result<> Transaction::Begin() {
    Result<> begun =
        kind_ == Kind::Immediate ? db_.ExecuteTakingLock("BEGIN IMMEDIATE") : db_.Execute("BEGIN");
    active_ = begun.has_value();
    return begun;
}

Result<> Transaction::Commit() {
    Result<> committed = db_.Execute("COMMIT");
    active_ = !committed.has_value();
    return committed;
}

void Transaction::Rollback() {
    if (active_) {
        active_ = false;
        // A failure means SQLite rolled back itself.
        (void)db_.Execute("ROLLBACK");
    }
}

}  // namespace slotscope::sql
