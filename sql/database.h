#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "sql/error.h"
#include "sql/statement.h"

struct sqlite3;

namespace slotscope::sql {

enum class OpenMode {
    Create,     // read and written, made when missing
    Existing,   // read and written, never made
    Immutable,  // only read, as a file nothing changes (one in a folder that takes no writes)
};

// How long a connection waits for a file another connection holds, a little at a time; a stop
// request ends the wait at once.
struct BusyWait {
    std::chrono::milliseconds timeout = std::chrono::seconds(10);
    std::stop_token stop;
};

// One open connection to an SQLite file, with extended result codes, and the wait for a file
// another connection holds.
class Database final {
  public:
    static Result<std::unique_ptr<Database>> Open(const std::string& utf8Path, OpenMode mode,
                                                  BusyWait wait);
    // Opens the file and runs `first` on the new connection. Two connections opening one file
    // at once can each hold what the other needs to switch it to the write-ahead log, and SQLite
    // then answers busy at once instead of waiting: such a start is tried again on a fresh
    // connection, every 20 ms, until the wait is over.
    using FirstUse = std::function<Result<>(Database&)>;
    static Result<std::unique_ptr<Database>> OpenRetrying(const std::string& utf8Path,
                                                          OpenMode mode, const BusyWait& wait,
                                                          const FirstUse& first);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs one or more statements; the failure as SQLite says it.
    Result<> Execute(const std::string& sql);
    // Runs a statement that takes the file's lock (BEGIN IMMEDIATE): when the wait for another
    // connection outlasts the wait allowed it is tried once more, unless a stop was requested.
    Result<> ExecuteTakingLock(const std::string& sql);
    Result<Statement> Prepare(std::string_view sql);
    // The first column of the first row a statement gives; 0 for no row.
    Result<int> Integer(const std::string& sql);
    long long LastInsertRow() const;

    // A deterministic function of one text for the statements to call, null for null.
    using TextFunction = std::string (*)(std::string_view text);
    Result<> AddFunction(const char* name, TextFunction function);

  private:
    explicit Database(BusyWait wait) : wait_(std::move(wait)) {}
    Error Failed(int code, std::string_view what) const;
    static int WaitWhileBusy(void* self, int count);

    sqlite3* db_ = nullptr;
    BusyWait wait_;
    std::chrono::steady_clock::time_point busySince_;
};

}  // namespace slotscope::sql
