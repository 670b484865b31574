#pragma once

#include <string>
#include <tl/expected.hpp>

namespace slotscope::sql {

// An SQLite failure: its (extended) result code, and what failed with what SQLite said
// ("cannot be read: database is locked").
struct Error {
    int code = 0;
    std::string message;

    // Another connection holds the file: worth trying again.
    bool busy() const {
        const int primary = code & 0xff;
        return primary == 5 || primary == 6;  // SQLITE_BUSY, SQLITE_LOCKED
    }
    bool full() const { return (code & 0xff) == 13; }  // SQLITE_FULL
};

template <typename T = void>
using Result = tl::expected<T, Error>;

}  // namespace slotscope::sql
