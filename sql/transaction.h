#pragma once

#include "sql/error.h"

namespace slotscope::sql {

class Database;

// A transaction over the object's life: rolled back unless committed.
class Transaction final {
  public:
    enum class Kind {
        Deferred,   // locks as the statements need (a snapshot for reading)
        Immediate,  // takes the write lock at once, waiting for it as the database waits
    };
    explicit Transaction(Database& db, Kind kind = Kind::Immediate) : db_(db), kind_(kind) {}
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    Result<> Begin();
    Result<> Commit();
    void Rollback();
    bool active() const { return active_; }

  private:
    Database& db_;
    Kind kind_;
    bool active_ = false;
};

}  // namespace slotscope::sql
