// What the parts of the engine share about SQLite itself: opening a database file, the engine's
// messages in the program's words, statement handles and the binding of values.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/connection.h"

namespace qx::jet {

// sqlite3_open_v2 with the process-wide settings made first.
int openDatabase(const char* file, sqlite3** db, int flags);

// SQLite's message `msg` in the words of this program's engine.
std::string translateMessage(const std::string& msg);
// The last error of `db` (or `fallback`) in the program's words.
std::string engineText(sqlite3* db, const char* fallback = nullptr);

std::string trimmed(std::string_view s);

class Statement {
  public:
    Statement() = default;
    explicit Statement(sqlite3_stmt* s) : s_(s) {}
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return s_; }
    sqlite3_stmt* release() {
        sqlite3_stmt* s = s_;
        s_ = nullptr;
        return s;
    }
    sqlite3_stmt** out() { return &s_; }

  private:
    sqlite3_stmt* s_ = nullptr;
};

void bindValue(sqlite3_stmt* stmt, int index, const Value& v);
// Rows stored by one step of an INSERT at most; each step of the engine costs about as much as
// storing a row.
inline constexpr std::size_t kRowsPerInsert = 64;
// INSERT INTO target VALUES (?, …), … for `rows` rows of `columns` values.
std::string insertRowsSql(const std::string& target, std::size_t columns, std::size_t rows);
// Steps `stmt` through and resets it for the next values; false when it failed.
bool stepOnce(sqlite3_stmt* stmt);
// Whether `sql` is SELECT * FROM "t": a whole table read in stored order.
bool readsWholeTable(const std::string& sql);

// The highest row number in `from` (a table, or a table under another name): at least the rows it
// holds. -1 when it cannot be read.
std::int64_t highestRowid(sqlite3* db, const std::string& from);
Value columnValue(sqlite3_stmt* stmt, int i);
std::string createTableSql(const std::string& quotedName, const std::vector<Field>& fields);

// Statements the engine itself runs (pragmas, schema reads) pass the authorizer.
struct Connection::InternalScope {
    explicit InternalScope(Connection& c) : c_(c) { ++c_.internal_; }
    ~InternalScope() { --c_.internal_; }
    Connection& c_;
};

}  // namespace qx::jet
