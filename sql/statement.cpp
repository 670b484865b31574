#include "sql/statement.h"

#include <sqlite3.h>

#include <cassert>
#include <utility>

namespace slotscope::sql {

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement::Statement(Statement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(statement_);
        statement_ = std::exchange(other.statement_, nullptr);
    }
    return *this;
}

int Statement::Index(const char* name) const {
    const int index = sqlite3_bind_parameter_index(statement_, name);
    assert(index > 0 && "a parameter the statement has");
    return index;
}

void Statement::Bind(const char* name, int value) {
    sqlite3_bind_int(statement_, Index(name), value);
}

void Statement::Bind(const char* name, long long value) {
    sqlite3_bind_int64(statement_, Index(name), value);
}

void Statement::Bind(const char* name, std::string_view text) {
    sqlite3_bind_text(statement_, Index(name), text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

void Statement::Bind(const char* name, const char* text) {
    if (text == nullptr) {
        BindNull(name);
    } else {
        sqlite3_bind_text(statement_, Index(name), text, -1, SQLITE_TRANSIENT);
    }
}

void Statement::Bind(const char* name, std::optional<int> value) {
    if (value) {
        Bind(name, *value);
    } else {
        BindNull(name);
    }
}

void Statement::BindNull(const char* name) {
    sqlite3_bind_null(statement_, Index(name));
}

Error Statement::Failed(int code, std::string_view what) const {
    return {code, std::string(what) + ": " + sqlite3_errmsg(sqlite3_db_handle(statement_))};
}

Result<bool> Statement::Step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW || result == SQLITE_DONE) {
        return result == SQLITE_ROW;
    }
    Error error = Failed(result, "cannot be read");
    sqlite3_reset(statement_);
    return tl::unexpected(std::move(error));
}

Result<> Statement::Each(const EachRow& row) {
    int result = 0;
    while ((result = sqlite3_step(statement_)) == SQLITE_ROW) {
        if (!row(*this)) {
            sqlite3_reset(statement_);
            return {};
        }
    }
    sqlite3_reset(statement_);
    if (result != SQLITE_DONE) {
        return tl::unexpected(Failed(result, "cannot be read"));
    }
    return {};
}

Result<> Statement::Run(const FirstRow& row) {
    int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) {
        if (row) {
            row(*this);
        }
        while ((result = sqlite3_step(statement_)) == SQLITE_ROW) {
        }
    }
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    if (result != SQLITE_DONE) {
        return tl::unexpected(Failed(result, "cannot be written"));
    }
    return {};
}

void Statement::Reset() {
    sqlite3_reset(statement_);
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

int Statement::Int(int column) const {
    return sqlite3_column_int(statement_, column);
}

long long Statement::Int64(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double Statement::Double(int column) const {
    return sqlite3_column_double(statement_, column);
}

std::string Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(text),
                             static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

std::optional<int> Statement::MaybeInt(int column) const {
    return IsNull(column) ? std::nullopt : std::optional(Int(column));
}

std::optional<std::string> Statement::MaybeText(int column) const {
    return IsNull(column) ? std::nullopt : std::optional(Text(column));
}

}  // namespace slotscope::sql
