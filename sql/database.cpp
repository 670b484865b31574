#include "sql/database.h"

#include <sqlite3.h>

#include <cstdio>
#include <new>
#include <thread>
#include <utility>

namespace slotscope::sql {

static_assert(SQLITE_BUSY == 5 && SQLITE_LOCKED == 6 && SQLITE_FULL == 13,
              "Error's codes are SQLite's");

namespace {

// A path as the path of a file: address, its special characters escaped.
std::string UriPath(const std::string& path) {
    std::string uri;
    for (const char c : path) {
        if (c == '?' || c == '#' || c == '%') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        } else {
            uri += c == '\\' ? '/' : c;
        }
    }
    return uri;
}

void CallTextFunction(sqlite3_context* context, int /*count*/, sqlite3_value** values) {
    const auto* text = sqlite3_value_text(values[0]);
    if (text == nullptr) {
        sqlite3_result_null(context);
        return;
    }
    try {
        const auto* function = static_cast<Database::TextFunction*>(sqlite3_user_data(context));
        const std::string result =
            (*function)(std::string_view(reinterpret_cast<const char*>(text),
                                         static_cast<std::size_t>(sqlite3_value_bytes(values[0]))));
        sqlite3_result_text(context, result.data(), static_cast<int>(result.size()),
                            SQLITE_TRANSIENT);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    }
}

}  // namespace

Result<std::unique_ptr<Database>> Database::Open(const std::string& utf8Path, OpenMode mode,
                                                 BusyWait wait) {
    std::unique_ptr<Database> database(new Database(std::move(wait)));
    int opened = SQLITE_OK;
    if (mode == OpenMode::Immutable) {
        opened = sqlite3_open_v2(("file:" + UriPath(utf8Path) + "?immutable=1").c_str(),
                                 &database->db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    } else {
        const int create = mode == OpenMode::Create ? SQLITE_OPEN_CREATE : 0;
        opened = sqlite3_open_v2(utf8Path.c_str(), &database->db_, SQLITE_OPEN_READWRITE | create,
                                 nullptr);
    }
    if (opened != SQLITE_OK) {
        return tl::unexpected(database->Failed(opened, "cannot be opened"));
    }
    sqlite3_busy_handler(database->db_, &Database::WaitWhileBusy, database.get());
    sqlite3_extended_result_codes(database->db_, 1);
    return database;
}

Result<std::unique_ptr<Database>> Database::OpenRetrying(const std::string& utf8Path, OpenMode mode,
                                                         const BusyWait& wait,
                                                         const FirstUse& first) {
    const auto giveUpAt = std::chrono::steady_clock::now() + wait.timeout;
    for (;;) {
        Result<std::unique_ptr<Database>> opened = Open(utf8Path, mode, wait);
        if (opened) {
            if (Result<> used = first(**opened); !used) {
                opened = tl::unexpected(std::move(used.error()));
            }
        }
        if (opened || !opened.error().busy() || std::chrono::steady_clock::now() > giveUpAt) {
            return opened;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Database::~Database() {
    // Statements still open close the connection as the last of them is finalized.
    sqlite3_close_v2(db_);
}

Error Database::Failed(int code, std::string_view what) const {
    return {code, std::string(what) + ": " +
                      (db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code))};
}

Result<> Database::Execute(const std::string& sql) {
    char* message = nullptr;
    const int result = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
    if (result != SQLITE_OK) {
        Error error{result, message != nullptr ? message : sqlite3_errstr(result)};
        sqlite3_free(message);
        return tl::unexpected(std::move(error));
    }
    return {};
}

Result<> Database::ExecuteTakingLock(const std::string& sql) {
    Result<> done = Execute(sql);
    if (!done && done.error().busy() && !wait_.stop.stop_requested()) {
        done = Execute(sql);
    }
    return done;
}

Result<Statement> Database::Prepare(std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    const int result =
        sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
    if (result != SQLITE_OK) {
        return tl::unexpected(Failed(result, "cannot be read"));
    }
    return Statement(statement);
}

Result<int> Database::Integer(const std::string& sql) {
    Result<Statement> statement = Prepare(sql);
    if (!statement) {
        return tl::unexpected(std::move(statement.error()));
    }
    const Result<bool> row = statement->Step();
    if (!row) {
        return tl::unexpected(row.error());
    }
    return *row ? statement->Int(0) : 0;
}

long long Database::LastInsertRow() const {
    return sqlite3_last_insert_rowid(db_);
}

Result<> Database::AddFunction(const char* name, TextFunction function) {
    // The function's address is held by SQLite, which frees it with the connection.
    auto* held = new TextFunction(function);
    const int added = sqlite3_create_function_v2(
        db_, name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, held, &CallTextFunction, nullptr, nullptr,
        [](void* function) { delete static_cast<TextFunction*>(function); });
    if (added != SQLITE_OK) {
        return tl::unexpected(Failed(added, "cannot be read"));
    }
    return {};
}

// Waits for a file another connection holds, a little at a time, up to the wait allowed; a stop
// request ends the wait at once.
int Database::WaitWhileBusy(void* self, int count) {
    auto* database = static_cast<Database*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) {
        database->busySince_ = now;
    }
    if (database->wait_.stop.stop_requested() ||
        now - database->busySince_ > database->wait_.timeout) {
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 1;
}

}  // namespace slotscope::sql
