#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "sql/error.h"

struct sqlite3_stmt;

namespace slotscope::sql {

// One prepared statement, finalized with the object. Its parameters are bound by name
// (":run"); a text is copied as it is bound.
class Statement final {
  public:
    Statement() = default;
    explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;

    void Bind(const char* name, int value);
    void Bind(const char* name, long long value);
    void Bind(const char* name, std::string_view text);
    void Bind(const char* name, const char* text);  // null for nullptr
    void Bind(const char* name, std::optional<int> value);
    void BindNull(const char* name);

    // Steps to the next row: true when there is one.
    Result<bool> Step();
    // Hands each row to `row`, which stops the reading by returning false; then resets.
    using EachRow = std::function<bool(const Statement& row)>;
    Result<> Each(const EachRow& row);
    // Steps a write (or a look-up of one row) to its end, the first row it gives handed to
    // `row`; then resets and clears the bindings.
    using FirstRow = std::function<void(const Statement& row)>;
    Result<> Run(const FirstRow& row = nullptr);
    void Reset();

    bool IsNull(int column) const;
    int Int(int column) const;
    long long Int64(int column) const;
    double Double(int column) const;
    std::string Text(int column) const;  // empty for null
    std::optional<int> MaybeInt(int column) const;
    std::optional<std::string> MaybeText(int column) const;

  private:
    int Index(const char* name) const;
    Error Failed(int code, std::string_view what) const;

    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace slotscope::sql
