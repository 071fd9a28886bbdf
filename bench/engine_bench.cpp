// Benchmark driver for the engine: makes the two test databases (ours, with the schema our
// engine writes, and the peer's, with plain SQLite columns) and runs the two statements of the
// absent-rows comparison and the group count through the Jet dialect.
//
//   qx_bench_engine generate OURS.db PEER.db ROWS
//   qx_bench_engine absent OURS.db
//   qx_bench_engine group OURS.db
//   qx_bench_engine xlsxgen DB XLSX ROWS | xlsxread DB XLSX
//   qx_bench_engine mdbgen DB MDB ROWS | mdbread DB MDB
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/isam/access/jet4_writer.h"
#include "platform/jet/connection.h"
#include "platform/jet/functions.h"

namespace {

// Keys of table one are 0 … n-1, of table two n/2 … 3n/2-1: half of each table overlaps.
std::string key(long i) {
    static const char* kNames[] = {"客户", "供应商", "Client", "门店"};
    return std::string(kNames[i % 4]) + "-" + std::to_string(i) + (i % 3 == 0 ? "号" : "");
}

bool fill(sqlite3* db, const char* table, long first, long count) {
    std::string sql = std::string("INSERT INTO \"") + table + "\" VALUES (?1, ?2, ?3)";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return false;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (long i = first; i < first + count; ++i) {
        std::string k = key(i);
        std::string a = "备注" + std::to_string(i * 7 % 1000);
        sqlite3_bind_text(stmt, 1, k.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, a.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 3, i % 97);
        if (sqlite3_step(stmt) != SQLITE_DONE) return false;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    return sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
}

int generate(const char* ours, const char* peer, long rows) {
    if (!qx::jet::createEmptyDatabase(ours).ok) return 1;
    qx::jet::Connection c;
    if (!c.openFile(ours).ok) return 1;
    for (const char* t : {"1_1", "2_1"}) {
        auto o = c.execute(std::string("create table ") + t +
                           " (k varchar(255), a varchar(255), n long)");
        if (!o.ok) {
            std::fprintf(stderr, "%s\n", o.message.c_str());
            return 1;
        }
    }
    c.close();
    // Bulk loading is set-up, not measured: plain SQLite with the engine's collation.
    sqlite3* raw = nullptr;
    if (sqlite3_open(ours, &raw) != SQLITE_OK) return 1;
    qx::jet::registerJetFunctions(raw);
    bool loaded = fill(raw, "1_1", 0, rows) && fill(raw, "2_1", rows / 2, rows);
    sqlite3_close(raw);
    if (!loaded) return 1;

    sqlite3* db = nullptr;
    if (sqlite3_open(peer, &db) != SQLITE_OK) return 1;
    sqlite3_exec(db,
                 "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF;"
                 "CREATE TABLE t1 (k TEXT COLLATE NOCASE, a TEXT COLLATE NOCASE, n INTEGER);"
                 "CREATE TABLE t2 (k TEXT COLLATE NOCASE, a TEXT COLLATE NOCASE, n INTEGER);",
                 nullptr, nullptr, nullptr);
    bool ok = fill(db, "t1", 0, rows) && fill(db, "t2", rows / 2, rows);
    sqlite3_close(db);
    return ok ? 0 : 1;
}

int run(const char* ours, const char* const* statements) {
    qx::jet::Connection c;
    if (!c.openFile(ours).ok) return 1;
    bool verbose = std::getenv("QX_BENCH_VERBOSE") != nullptr;
    for (const char* const* s = statements; *s; ++s) {
        auto start = std::chrono::steady_clock::now();
        auto o = c.execute(*s);
        if (verbose)
            std::fprintf(
                stderr, "%.3fs  %s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                *s);
        if (!o.ok) {
            std::fprintf(stderr, "%s\n", o.message.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

// A working table of `rows` rows of five columns (text, whole number, real, date, text).
bool fillTable(qx::jet::Connection& c, const char* db, long rows) {
    if (!qx::jet::createEmptyDatabase(db).ok) return false;
    if (!c.openFile(db).ok) return false;
    if (!c.execute("create table t (名称 varchar(255), 数量 long, 金额 double, 日期 datetime, 备注 "
                   "varchar(255))")
             .ok)
        return false;
    sqlite3* raw = c.handle();
    sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(raw, "INSERT INTO t VALUES (?1, ?2, ?3, ?4, ?5)", -1, &stmt, nullptr);
    for (long i = 0; i < rows; ++i) {
        std::string k = key(i);
        char date[32];
        std::snprintf(date, sizeof date, "20%02ld-%02ld-%02ld 00:00:00", i % 30, i % 12 + 1,
                      i % 28 + 1);
        std::string note = "说明" + std::to_string(i % 1000);
        sqlite3_bind_text(stmt, 1, k.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 2, i);
        sqlite3_bind_double(stmt, 3, static_cast<double>(i) / 8.0);
        sqlite3_bind_text(stmt, 4, date, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 5, note.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    return true;
}

// A workbook of `rows` rows of five columns (text, whole number, real, date, text), written by
// our own xlsx writer.
int generateXlsx(const char* db, const char* xlsx, long rows) {
    qx::jet::Connection c;
    if (!fillTable(c, db, rows)) return 1;
    auto o =
        c.execute(std::string("SELECT * INTO [Excel 12.0;DATABASE=") + xlsx + "].[数据] FROM t");
    if (!o.ok) std::fprintf(stderr, "%s\n", o.message.c_str());
    return o.ok ? 0 : 1;
}

// The same rows saved as an Access database by our own writer, as the save step writes it.
int generateMdb(const char* db, const char* mdb, long rows) {
    qx::jet::Connection c;
    std::string error;
    if (!fillTable(c, db, rows) || !qx::isam::access::writeEmptyDatabase(mdb, error)) return 1;
    auto o = c.execute(std::string("SELECT * INTO [;DATABASE=") + mdb + "].数据 FROM t");
    if (!o.ok) std::fprintf(stderr, "%s\n", o.message.c_str());
    return o.ok ? 0 : 1;
}

// An Access table read into a fresh working database, as the import reads it.
int readMdb(const char* db, const char* mdb) {
    if (!qx::jet::createEmptyDatabase(db).ok) return 1;
    qx::jet::Connection c;
    if (!c.openFile(db).ok) return 1;
    auto o = c.execute(std::string("SELECT * INTO 1_1 FROM [;DATABASE=") + mdb + "].数据");
    if (!o.ok) std::fprintf(stderr, "%s\n", o.message.c_str());
    return o.ok ? 0 : 1;
}

int readXlsx(const char* db, const char* xlsx) {
    if (!qx::jet::createEmptyDatabase(db).ok) return 1;
    qx::jet::Connection c;
    if (!c.openFile(db).ok) return 1;
    auto o = c.execute(std::string("SELECT * INTO 1_1 FROM [Excel 12.0;DATABASE=") + xlsx +
                       "].[数据$] ");
    if (!o.ok) std::fprintf(stderr, "%s\n", o.message.c_str());
    return o.ok ? 0 : 1;
}

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "xlsxgen" && argc == 5) return generateXlsx(argv[2], argv[3], std::atol(argv[4]));
    if (mode == "xlsxread" && argc == 4) return readXlsx(argv[2], argv[3]);
    if (mode == "mdbgen" && argc == 5) return generateMdb(argv[2], argv[3], std::atol(argv[4]));
    if (mode == "mdbread" && argc == 4) return readMdb(argv[2], argv[3]);
    if (mode == "generate" && argc == 5) return generate(argv[2], argv[3], std::atol(argv[4]));
    if (mode == "absent" && argc == 3) {
        static const char* const kStatements[] = {
            "create index idx1 on 1_1(k)", "create index idx2 on 2_1(k)",
            "select [2_1].k,[2_1].a,[2_1].n into 表二中不含表一数 from 2_1 where ([2_1].k not in "
            "( select [1_1].k from 1_1 where ([1_1].k=[2_1].k)))",
            nullptr};
        return run(argv[2], kStatements);
    }
    if (mode == "group" && argc == 3) {
        static const char* const kStatements[] = {
            "SELECT k, Count(*) AS 笔数 INTO 合并相同行统计笔数 FROM 1_1 GROUP BY k", nullptr};
        return run(argv[2], kStatements);
    }
    std::fprintf(stderr,
                 "usage: qx_bench_engine generate OURS PEER ROWS | absent DB | group DB | xlsxgen "
                 "DB XLSX ROWS | xlsxread DB XLSX | mdbgen DB MDB ROWS | mdbread DB MDB\n");
    return 2;
}
