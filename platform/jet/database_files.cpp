// The opening of database files and the engine's messages: SQLite's words turned into the
// program's, and the files the engine makes and compacts.
#include <algorithm>
#include <cerrno>

#include "platform/jet/engine_sqlite.h"
#include "platform/jet/functions.h"
#include "platform/jet/translator.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"
#include "platform/work/progress.h"

namespace qx::jet {

Outcome compactHere(const std::filesystem::path& source, const std::filesystem::path& target);

namespace {

// The user-facing name inside an SQLite message about a per-table index.
std::string plainIndexName(const std::string& name) {
    std::size_t last = name.rfind(':');
    return name.rfind("qxidx:", 0) == 0 && last != std::string::npos ? name.substr(last + 1) : name;
}

}  // namespace

// sqlite3_open_v2, with SQLite's process-wide settings made before its first database opens:
// no allocation statistics, which nothing here reads and which take a global lock on every
// allocation.
int openDatabase(const char* file, sqlite3** db, int flags) {
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    (void)configured;
    return sqlite3_open_v2(file, db, flags, nullptr);
}

std::string trimmed(std::string_view s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    return std::string(s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1));
}

// SQLite's messages in the words of this program's engine.
std::string translateMessage(const std::string& msg) {
    auto after = [&](std::string_view prefix, std::string& rest) {
        if (msg.rfind(prefix, 0) != 0) return false;
        rest = msg.substr(prefix.size());
        return true;
    };
    std::string rest;
    if (after("no such table: ", rest)) {
        if (rest.rfind("main.", 0) == 0) rest = rest.substr(5);
        return "找不到输入表或查询“" + rest + "”。请确认它是否存在，以及名称的拼写是否正确";
    }
    if (after("no such column: ", rest)) return "找不到列“" + rest + "”（参数不足）";
    if (after("ambiguous column name: ", rest))
        return "列名“" + rest + "”不明确：FROM 子句中有多个表含有此列";
    if (after("duplicate column name: ", rest)) return "列名“" + rest + "”重复";
    if (after("no such index: ", rest)) return "找不到索引“" + plainIndexName(rest) + "”";
    if (after("index ", rest) && rest.find(" already exists") != std::string::npos) {
        rest = rest.substr(0, rest.find(" already exists"));
        return "索引“" + plainIndexName(rest) + "”已存在";
    }
    if (after("table ", rest) && rest.find(" already exists") != std::string::npos) {
        rest = rest.substr(0, rest.find(" already exists"));
        if (rest.size() >= 2 && rest.front() == '"') rest = rest.substr(1, rest.size() - 2);
        return "表“" + rest + "”已存在";
    }
    if (msg.find("database or disk is full") != std::string::npos)
        return "磁盘已满，无法写入数据库";
    if (msg.find("syntax error") != std::string::npos) return "语法错误：" + msg;
    if (msg.find("UNIQUE constraint failed") != std::string::npos)
        return "记录违反唯一索引，不能重复：" + msg;
    if (msg.find("NOT NULL constraint failed") != std::string::npos)
        return "字段不能为 Null：" + msg;
    if (msg.find("cannot drop") != std::string::npos ||
        msg.find("after drop column") != std::string::npos)
        return "不能删除该列（它可能属于某个索引或是表中唯一的列）：" + msg;
    if (msg.find("not authorized") != std::string::npos) return "不允许执行此操作";
    return msg;
}

// The last error of `db` in the program's words. A write refused for a full disk says so, also
// when SQLite itself speaks only of an I/O error (a failed sync).
std::string engineText(sqlite3* db, const char* fallback) {
    if (!db) return translateMessage(fallback ? fallback : "数据库未打开");
    int code = sqlite3_extended_errcode(db) & 0xff;
    int sys = sqlite3_system_errno(db);
    if (code == SQLITE_FULL || (code == SQLITE_IOERR && os::isDiskFull(sys)))
        return "磁盘已满，无法写入数据库";
    return translateMessage(fallback ? fallback : sqlite3_errmsg(db));
}

// Binds a value that stays where it is until the statement has run: SQLite reads its bytes
// there instead of copying them.
void bindValue(sqlite3_stmt* stmt, int index, const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            sqlite3_bind_null(stmt, index);
            break;
        case Value::Kind::Integer:
            sqlite3_bind_int64(stmt, index, v.integer);
            break;
        case Value::Kind::Real:
            sqlite3_bind_double(stmt, index, v.real);
            break;
        case Value::Kind::Text:
            sqlite3_bind_text64(stmt, index, v.text.data(), v.text.size(), SQLITE_STATIC,
                                SQLITE_UTF8);
            break;
        case Value::Kind::Blob:
            sqlite3_bind_blob64(stmt, index, v.text.data(), v.text.size(), SQLITE_STATIC);
            break;
    }
}

std::string insertRowsSql(const std::string& target, std::size_t columns, std::size_t rows) {
    std::string one = "(";
    for (std::size_t k = 0; k < columns; ++k) one += k ? ",?" : "?";
    one += ")";
    std::string sql = "INSERT INTO " + target + " VALUES " + one;
    for (std::size_t r = 1; r < rows; ++r) sql += "," + one;
    return sql;
}

bool stepOnce(sqlite3_stmt* stmt) {
    bool done = sqlite3_step(stmt) == SQLITE_DONE;
    sqlite3_reset(stmt);
    return done;
}

std::int64_t highestRowid(sqlite3* db, const std::string& from) {
    Statement stmt;
    if (sqlite3_prepare_v2(db, ("SELECT max(_rowid_) FROM " + from).c_str(), -1, stmt.out(),
                           nullptr) != SQLITE_OK ||
        sqlite3_step(stmt.get()) != SQLITE_ROW)
        return -1;
    return sqlite3_column_int64(stmt.get(), 0);
}

Value columnValue(sqlite3_stmt* stmt, int i) {
    return valueFromSqlite(sqlite3_column_value(stmt, i));
}

std::string createTableSql(const std::string& quotedName, const std::vector<Field>& fields) {
    std::string sql = "CREATE TABLE " + quotedName + " (";
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k) sql += ", ";
        sql += quoteName(fields[k].name) + " " + sqliteDeclaration(fields[k].type, fields[k].size);
    }
    return sql + ")";
}

namespace {

// The compaction's progress: how far the copy has grown against the file it copies.
struct CompactWatch {
    std::filesystem::path target;
    double sourceBytes = 0;
    unsigned calls = 0;
};

int onCompactProgress(void* arg) {
    auto* watch = static_cast<CompactWatch*>(arg);
    if (work::cancelRequested()) return 1;
    if (++watch->calls % 64 == 0 && watch->sourceBytes > 0) {
        std::error_code ec;
        auto size = std::filesystem::file_size(watch->target, ec);
        if (!ec)
            work::reportFraction(std::min(0.99, static_cast<double>(size) / watch->sourceBytes));
    }
    return 0;
}

}  // namespace

Outcome compactDatabase(const std::filesystem::path& source, const std::filesystem::path& target) {
    if (work::cancelRequested()) return {false, work::kCancelled};
    Outcome out;
    work::runLong([&] { out = compactHere(source, target); });
    return out;
}

Outcome compactHere(const std::filesystem::path& source, const std::filesystem::path& target) {
    work::report(work::Stage::Compacting);
    CompactWatch watch{target};
    std::error_code ec;
    watch.sourceBytes = static_cast<double>(std::filesystem::file_size(source, ec));
    sqlite3* db = nullptr;
    int rc = openDatabase(os::utf8(source).c_str(), &db, SQLITE_OPEN_READWRITE);
    if (rc != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        return {false, "无法打开数据库：" + msg};
    }
    registerJetFunctions(db);
    sqlite3_progress_handler(db, 4096, &onCompactProgress, &watch);
    Statement stmt;
    rc = sqlite3_prepare_v2(db, "VACUUM INTO ?1", -1, stmt.out(), nullptr);
    if (rc == SQLITE_OK) {
        std::string t = os::utf8(target);
        sqlite3_bind_text(stmt.get(), 1, t.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt.get());
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    std::string msg = rc == SQLITE_OK ? "" : engineText(db);
    sqlite3_finalize(stmt.release());
    sqlite3_close_v2(db);
    if (rc != SQLITE_OK && work::cancelRequested()) return {false, work::kCancelled};
    if (rc != SQLITE_OK) return {false, "压缩数据库失败：" + msg};
    return {true, {}};
}

std::optional<std::int64_t> freePages(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    std::optional<std::int64_t> pages;
    if (openDatabase(os::utf8(file).c_str(), &db, SQLITE_OPEN_READONLY) == SQLITE_OK) {
        Statement stmt;
        if (sqlite3_prepare_v2(db, "PRAGMA freelist_count", -1, stmt.out(), nullptr) == SQLITE_OK &&
            sqlite3_step(stmt.get()) == SQLITE_ROW)
            pages = sqlite3_column_int64(stmt.get(), 0);
    }
    sqlite3_close_v2(db);
    return pages;
}

Outcome createEmptyDatabase(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    int rc = openDatabase(os::utf8(file).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (rc == SQLITE_OK) {
        // A database file is only written once it holds something: the application id makes
        // the empty template a real, recognisable file.
        rc = sqlite3_exec(db,
                          "PRAGMA page_size=4096; PRAGMA application_id=1363757144; "
                          "PRAGMA user_version=1; VACUUM;",
                          nullptr, nullptr, nullptr);
    }
    std::string msg = rc == SQLITE_OK ? "" : engineText(db, db ? nullptr : sqlite3_errstr(rc));
    sqlite3_close_v2(db);
    if (rc != SQLITE_OK) return {false, "无法创建数据库：" + msg};
    return {true, {}};
}

}  // namespace qx::jet
