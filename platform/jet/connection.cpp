// The Jet dialect's connection on SQLite: opening, one statement per call in its own savepoint,
// SELECT ... INTO with Jet's column types, ALTER COLUMN by rebuilding the table, external
// databases through the drivers, and the table listing.
#include "platform/jet/connection.h"
#include "platform/os/paths.h"

#include <sqlite3.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <map>
#include <thread>

#include "platform/isam/driver.h"
#include "platform/isam/read_ahead.h"
#include "platform/jet/functions.h"
#include "platform/jet/lexer.h"
#include "platform/jet/text.h"
#include "platform/os/files.h"

namespace qx::jet {

namespace {

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

// The user-facing name inside an SQLite message about a per-table index.
std::string plainIndexName(const std::string& name) {
    std::size_t last = name.rfind(':');
    return name.rfind("qxidx:", 0) == 0 && last != std::string::npos ? name.substr(last + 1) : name;
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
std::string engineText(sqlite3* db, const char* fallback = nullptr) {
    if (!db) return translateMessage(fallback ? fallback : "数据库未打开");
    int code = sqlite3_extended_errcode(db) & 0xff;
    int sys = sqlite3_system_errno(db);
    if (code == SQLITE_FULL || (code == SQLITE_IOERR && os::isDiskFull(sys)))
        return "磁盘已满，无法写入数据库";
    return translateMessage(fallback ? fallback : sqlite3_errmsg(db));
}

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

// Rows of a prepared SELECT handed to a driver.
class StatementSource : public isam::RowSource {
  public:
    StatementSource(sqlite3* db, sqlite3_stmt* stmt, std::vector<Field> fields)
        : db_(db), stmt_(stmt) {
        for (auto& f : fields) columns_.push_back({f.name, f.type, f.size});
    }
    const std::vector<ColumnDef>& columns() const override { return columns_; }
    bool next(std::vector<Value>& row) override {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) {
            row.resize(columns_.size());
            for (std::size_t i = 0; i < columns_.size(); ++i)
                row[i] = columnValue(stmt_, static_cast<int>(i));
            return true;
        }
        if (rc != SQLITE_DONE) error_ = engineText(db_);
        return false;
    }
    std::string error() const override { return error_; }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_;
    std::vector<ColumnDef> columns_;
    std::string error_;
};

}  // namespace

std::optional<ConnectionString> ConnectionString::parse(std::string_view text) {
    ConnectionString cs;
    bool haveSource = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t semi = text.find(';', start);
        std::string_view part = text.substr(
            start, semi == std::string_view::npos ? std::string_view::npos : semi - start);
        std::size_t eq = part.find('=');
        if (eq != std::string_view::npos) {
            std::string key = asciiLower(trimmed(part.substr(0, eq)));
            std::string value = trimmed(part.substr(eq + 1));
            if (key == "provider") cs.provider = value;
            if (key == "data source") {
                cs.dataSource = os::pathFromUtf8(value);
                haveSource = true;
            }
        }
        if (semi == std::string_view::npos) break;
        start = semi + 1;
    }
    if (!haveSource || cs.dataSource.empty()) return std::nullopt;
    return cs;
}

// Statements the engine itself runs (pragmas, schema reads) pass the authorizer.
struct Connection::InternalScope {
    explicit InternalScope(Connection& c) : c_(c) { ++c_.internal_; }
    ~InternalScope() { --c_.internal_; }
    Connection& c_;
};

Connection::Connection(const isam::DriverRegistry* drivers)
    : drivers_(drivers ? drivers : &isam::builtinDrivers()) {}

Connection::~Connection() {
    close();
}

Outcome Connection::createRowOrder(std::string_view name, std::span<const std::int64_t> rows) {
    if (!db_) return {false, "数据库尚未打开"};
    InternalScope scope(*this);
    const std::string table = quoteName(name);
    Outcome o = runSql("CREATE TABLE " + table + " (seq INTEGER PRIMARY KEY, r INTEGER)");
    if (!o.ok) return o;
    Statement insert;
    if (sqlite3_prepare_v2(db_, ("INSERT INTO " + table + " (r) VALUES (?1)").c_str(), -1,
                           insert.out(), nullptr) != SQLITE_OK)
        return engineError();
    runSql("SAVEPOINT qx_row_order");
    for (std::int64_t r : rows) {
        sqlite3_bind_int64(insert.get(), 1, r);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
            Outcome failed = engineError();
            runSql("ROLLBACK TO qx_row_order");
            runSql("RELEASE qx_row_order");
            return failed;
        }
        sqlite3_reset(insert.get());
    }
    return runSql("RELEASE qx_row_order");
}

void Connection::close() {
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

Outcome Connection::open(std::string_view connectionString) {
    close();
    auto cs = ConnectionString::parse(connectionString);
    if (!cs) return {false, "连接字符串中没有数据源（Data Source）"};
    std::string provider = asciiLower(cs->provider);
    if (!provider.empty() && provider.rfind("microsoft.jet.oledb.", 0) != 0 &&
        provider.rfind("microsoft.ace.oledb.", 0) != 0)
        return {false, "不支持的数据提供程序“" + cs->provider + "”"};
    return openFile(cs->dataSource);
}

Outcome Connection::openFile(const std::filesystem::path& file) {
    close();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return {false, "找不到数据库文件“" + os::utf8(file) + "”"};
    int rc = openDatabase(os::utf8(file).c_str(), &db_,
                          SQLITE_OPEN_READWRITE | SQLITE_OPEN_EXRESCODE | SQLITE_OPEN_NOMUTEX);
    if (rc != SQLITE_OK) {
        Outcome o{false, "无法打开数据库“" + os::utf8(file) + "”：" +
                             (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc))};
        close();
        return o;
    }
    // Untrusted statement text must stay inside this one database.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    // A misspelt column must be an error, never a text literal.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(db_, SQLITE_LIMIT_SQL_LENGTH, static_cast<int>(kMaxStatementLength * 8));
    sqlite3_limit(db_, SQLITE_LIMIT_EXPR_DEPTH, 1000);
    sqlite3_set_authorizer(db_, &Connection::authorize, this);
    rc = registerJetFunctions(db_);
    if (rc != SQLITE_OK) {
        close();
        return {false, "数据库引擎初始化失败"};
    }
    InternalScope scope(*this);
    // The working database is scratch space rebuilt from the source files: a journal in memory
    // still undoes a refused statement, without a file beside the database. Pages are read
    // through a memory map; the page cache stays small, because the sorter of GROUP BY, ORDER
    // BY and CREATE INDEX works in runs of the cache's size, which it sorts on every core and
    // merges: 2 MB runs take a third less time than one run of the whole table.
    unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    const std::string threads = "PRAGMA threads=" + std::to_string(cores);
    for (const char* pragma :
         {"PRAGMA journal_mode=MEMORY", "PRAGMA synchronous=OFF", "PRAGMA cache_size=-2000",
          "PRAGMA mmap_size=2147418112", threads.c_str(), "PRAGMA foreign_keys=OFF"}) {
        if (sqlite3_exec(db_, pragma, nullptr, nullptr, nullptr) != SQLITE_OK) {
            Outcome o{false, "“" + os::utf8(file) + "”不是可识别的数据库格式：" +
                                 std::string(sqlite3_errmsg(db_))};
            close();
            return o;
        }
    }
    if (sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        Outcome o{false, "“" + os::utf8(file) + "”不是可识别的数据库格式"};
        close();
        return o;
    }
    return {true, {}};
}

int Connection::authorize(void* self, int action, const char*, const char* b, const char*,
                          const char*) {
    auto* c = static_cast<Connection*>(self);
    if (c->internal_ > 0) return SQLITE_OK;
    switch (action) {
        case SQLITE_ATTACH:
        case SQLITE_DETACH:
        case SQLITE_PRAGMA:
        case SQLITE_CREATE_VTABLE:
        case SQLITE_DROP_VTABLE:
        case SQLITE_CREATE_TRIGGER:
        case SQLITE_CREATE_TEMP_TRIGGER:
        case SQLITE_TRANSACTION:
        case SQLITE_SAVEPOINT:
            return SQLITE_DENY;
        case SQLITE_FUNCTION:
            if (b && (equalsNoCaseAscii(b, "load_extension") || equalsNoCaseAscii(b, "readfile") ||
                      equalsNoCaseAscii(b, "writefile") || equalsNoCaseAscii(b, "fts3_tokenizer")))
                return SQLITE_DENY;
            return SQLITE_OK;
        default:
            return SQLITE_OK;
    }
}

Outcome Connection::engineError(const std::string& context) const {
    std::string msg = engineText(db_);
    return {false, context.empty() ? msg : context + "：" + msg};
}

Outcome Connection::runSql(const std::string& sql) {
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    if (rc == SQLITE_OK) return {true, {}};
    std::string msg = engineText(db_, err ? err : sqlite3_errstr(rc));
    sqlite3_free(err);
    return {false, msg};
}

Outcome Connection::execute(std::string_view jetSql) {
    if (!db_) return {false, "数据库连接没有打开"};
    if (jetSql.size() > kMaxStatementLength) return {false, "语句过长"};
    try {
        Translation tr = translate(jetSql);
        if (!tr.ok()) return {false, tr.error};
        {
            InternalScope scope(*this);
            if (!runSql("SAVEPOINT qx_statement")) return engineError("无法开始事务");
        }
        Outcome result = run(tr.plan);
        InternalScope scope(*this);
        if (result.ok) {
            Outcome released = runSql("RELEASE qx_statement");
            if (!released.ok) {
                runSql("ROLLBACK TO qx_statement");
                runSql("RELEASE qx_statement");
                return released;
            }
        } else {
            runSql("ROLLBACK TO qx_statement");
            runSql("RELEASE qx_statement");
        }
        return result;
    } catch (const std::exception& e) {
        InternalScope scope(*this);
        runSql("ROLLBACK TO qx_statement");
        runSql("RELEASE qx_statement");
        return {false, std::string("数据库引擎内部错误：") + e.what()};
    }
}

Outcome Connection::run(const Plan& plan) {
    if (plan.kind == Plan::Kind::SelectInto && plan.directCopy) return copyExternal(plan);
    Outcome loaded = loadSources(plan.sources);
    if (!loaded.ok) {
        dropSources(plan.sources);
        return loaded;
    }
    Outcome result{true, {}};
    switch (plan.kind) {
        case Plan::Kind::Query: {
            // Executing a SELECT runs it through, so that errors in its values surface.
            Statement stmt;
            if (sqlite3_prepare_v2(db_, plan.sql.c_str(), -1, stmt.out(), nullptr) != SQLITE_OK) {
                result = engineError();
                break;
            }
            int rc;
            while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE) result = engineError();
            break;
        }
        case Plan::Kind::SelectInto:
            result = selectInto(plan);
            break;
        case Plan::Kind::AlterColumn:
            result = alterColumn(plan);
            break;
        case Plan::Kind::Statements:
            for (const auto& sql : plan.statements) {
                result = runSql(sql);
                if (!result.ok) break;
            }
            break;
    }
    dropSources(plan.sources);
    return result;
}

Outcome Connection::copyExternal(const Plan& plan) {
    return loadTable(plan.sources[0], "main", plan.target);
}

Outcome Connection::loadSources(const std::vector<ExternalSource>& sources) {
    // A record set on an external table keeps its copy until the connection closes; the next
    // statement with an external table of that number takes its place.
    dropSources(sources);
    for (const auto& src : sources) {
        Outcome o = loadTable(src, "temp", src.placeholder);
        if (!o.ok) return o;
    }
    return {true, {}};
}

Outcome Connection::loadTable(const ExternalSource& src, const std::string& schema,
                              const std::string& name) {
    isam::Driver* driver = drivers_->find(src.clause.driver);
    if (!driver)
        return {false, "找不到可安装的 ISAM：“" +
                           (src.clause.driver.empty() ? std::string("Access") : src.clause.driver) +
                           "”的驱动程序尚不可用"};
    std::string error;
    std::unique_ptr<isam::RowSource> rows = driver->readTable(src.clause, src.table, error);
    if (!rows) return {false, error.empty() ? "无法读取外部表“" + src.table + "”" : error};
    // Rows of a source whose columns are known are parsed on a second core while these are
    // stored; one that learns them from its rows reads ahead in its own way.
    if (!rows->typesKnownAtEnd()) rows = isam::readAhead(std::move(rows));
    const std::string target = schema + "." + quoteName(name);
    // A source that learns its types from its rows is stored untyped first (values keep their
    // own kinds) and declared once the last row is in.
    const bool late = rows->typesKnownAtEnd();
    std::vector<Field> fields;
    for (const auto& c : rows->columns()) fields.push_back({c.name, c.type, c.size});
    if (fields.empty()) return {false, "外部表“" + src.table + "”没有列"};
    std::string create = "CREATE TABLE " + target + " (";
    for (std::size_t k = 0; k < fields.size(); ++k)
        create += (k ? ", " : "") + quoteName(fields[k].name) +
                  (late ? "" : " " + sqliteDeclaration(fields[k].type, fields[k].size));
    Outcome created = runSql(create + ")");
    if (!created.ok) return created;

    Statement stmt;
    auto prepareInsert = [&] {
        std::string insert = "INSERT INTO " + target + " VALUES (";
        for (std::size_t k = 0; k < fields.size(); ++k) insert += k ? ",?" : "?";
        sqlite3_finalize(stmt.release());
        return sqlite3_prepare_v2(db_, (insert + ")").c_str(), -1, stmt.out(), nullptr) ==
               SQLITE_OK;
    };
    if (!prepareInsert()) return engineError();
    std::vector<Value> row;
    while (rows->next(row)) {
        if (late && rows->columns().size() > fields.size()) {
            // A row wider than those before it brings new columns.
            for (std::size_t k = fields.size(); k < rows->columns().size(); ++k) {
                const auto& c = rows->columns()[k];
                fields.push_back({c.name, c.type, c.size});
                Outcome added =
                    runSql("ALTER TABLE " + target + " ADD COLUMN " + quoteName(c.name));
                if (!added.ok) return added;
            }
            if (!prepareInsert()) return engineError();
        }
        for (std::size_t k = 0; k < fields.size(); ++k) {
            if (k < row.size())
                bindValue(stmt.get(), static_cast<int>(k + 1), row[k]);
            else
                sqlite3_bind_null(stmt.get(), static_cast<int>(k + 1));
        }
        if (sqlite3_step(stmt.get()) != SQLITE_DONE) return engineError();
        sqlite3_reset(stmt.get());
    }
    if (!rows->error().empty()) return {false, rows->error()};
    if (!late) return {true, {}};
    sqlite3_finalize(stmt.release());
    return declareColumns(schema, name, *rows);
}

Outcome Connection::declareColumns(const std::string& schema, const std::string& name,
                                   const isam::RowSource& rows) {
    const std::string target = schema + "." + quoteName(name);
    std::vector<Field> fields;
    for (const auto& c : rows.columns()) fields.push_back({c.name, c.type, c.size});
    std::vector<bool> mixed = rows.mixedColumns();
    for (std::size_t k = 0; k < fields.size() && k < mixed.size(); ++k) {
        if (!mixed[k]) continue;
        std::string c = quoteName(fields[k].name);
        Outcome o = runSql("UPDATE " + target + " SET " + c + " = CASE typeof(" + c +
                           ") WHEN 'integer' THEN CASE WHEN " + c +
                           " <> 0 THEN 'TRUE' ELSE 'FALSE' END ELSE jet_cstr(" + c +
                           ") END WHERE typeof(" + c + ") IN ('integer', 'real')");
        if (!o.ok) return o;
    }
    return redeclare(schema, name, fields);
}

Outcome Connection::redeclare(const std::string& schema, const std::string& name,
                              const std::vector<Field>& fields) {
    // The stored values already are what the declared types hold: only the declarations change,
    // by SQLite's documented procedure for such schema edits (no copy of the rows).
    InternalScope scope(*this);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 0, nullptr);
    struct Restore {
        sqlite3* db;
        ~Restore() {
            sqlite3_exec(db, "PRAGMA writable_schema=RESET", nullptr, nullptr, nullptr);
            sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        }
    } restore{db_};
    int version = 0;
    {
        Statement v;
        if (sqlite3_prepare_v2(db_, ("PRAGMA " + schema + ".schema_version").c_str(), -1, v.out(),
                               nullptr) != SQLITE_OK ||
            sqlite3_step(v.get()) != SQLITE_ROW)
            return engineError();
        version = sqlite3_column_int(v.get(), 0);
    }
    Outcome o = runSql("PRAGMA " + schema + ".writable_schema=ON");
    if (!o.ok) return o;
    Statement update;
    std::string sql = createTableSql(quoteName(name), fields);
    if (sqlite3_prepare_v2(
            db_,
            ("UPDATE " + schema + ".sqlite_master SET sql = ?1 WHERE type = 'table' AND name = ?2")
                .c_str(),
            -1, update.out(), nullptr) != SQLITE_OK)
        return engineError();
    sqlite3_bind_text(update.get(), 1, sql.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(update.get(), 2, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(update.get()) != SQLITE_DONE) return engineError();
    o = runSql("PRAGMA " + schema + ".schema_version=" + std::to_string(version + 1));
    if (!o.ok) return o;
    // Reload the schema now, so that the next statement sees the declared types.
    return runSql("PRAGMA writable_schema=RESET");
}

void Connection::dropSources(const std::vector<ExternalSource>& sources) {
    InternalScope scope(*this);
    for (const auto& src : sources)
        runSql("DROP TABLE IF EXISTS temp." + quoteName(src.placeholder));
}

Outcome Connection::describe(sqlite3_stmt* stmt, const std::vector<SelectItem>& items,
                             std::vector<Field>& fields, std::vector<std::vector<Value>>* rows,
                             bool& materialized, std::vector<int>* unknownOut,
                             std::vector<TypeHint>* hintsOut) {
    int n = sqlite3_column_count(stmt);
    fields.assign(static_cast<std::size_t>(n), Field{});
    bool itemsMatch =
        static_cast<int>(items.size()) == n &&
        std::none_of(items.begin(), items.end(), [](const SelectItem& i) { return i.star; });
    std::vector<int> unknown;
    std::vector<TypeHint> hints(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        Field& f = fields[static_cast<std::size_t>(i)];
        const char* name = sqlite3_column_name(stmt, i);
        f.name = name ? name : "";
        const char* decl = sqlite3_column_decltype(stmt, i);
        if (decl) {
            if (auto def = typeFromDeclaration(decl)) {
                f.type = def->type;
                f.size = def->size;
                continue;
            }
        }
        TypeHint hint = itemsMatch ? items[static_cast<std::size_t>(i)].hint : TypeHint{};
        hints[static_cast<std::size_t>(i)] = hint;
        if (hint.strength == TypeHint::Strength::Exact) {
            f.type = hint.type;
            f.size = 255;
        } else {
            unknown.push_back(i);
        }
    }
    // Jet names columns that would clash by their table: [1_1].k and [2_1].k give 1_1.k, 2_1.k.
    std::vector<bool> clash(static_cast<std::size_t>(n), false);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (i != j && compareNoCase(fields[static_cast<std::size_t>(i)].name,
                                        fields[static_cast<std::size_t>(j)].name) == 0)
                clash[static_cast<std::size_t>(i)] = true;
    for (int i = 0; i < n; ++i) {
        const char* table = sqlite3_column_table_name(stmt, i);
        if (clash[static_cast<std::size_t>(i)] && table)
            fields[static_cast<std::size_t>(i)].name =
                std::string(table) + "." + fields[static_cast<std::size_t>(i)].name;
    }
    for (int i = 0; i < n; ++i) {
        int dup = 0;
        for (int j = 0; j < i; ++j)
            if (compareNoCase(fields[static_cast<std::size_t>(i)].name,
                              fields[static_cast<std::size_t>(j)].name) == 0)
                ++dup;
        if (dup) fields[static_cast<std::size_t>(i)].name += std::to_string(dup);
    }
    materialized = false;
    if (unknown.empty()) return {true, {}};
    if (unknownOut) {
        *unknownOut = std::move(unknown);
        if (hintsOut) *hintsOut = std::move(hints);
        return {true, {}};
    }
    return inferTypes(stmt, unknown, hints, fields, rows, materialized);
}

Outcome Connection::inferTypes(sqlite3_stmt* stmt, const std::vector<int>& unknown,
                               const std::vector<TypeHint>& hints, std::vector<Field>& fields,
                               std::vector<std::vector<Value>>* rows, bool& materialized) {
    int n = sqlite3_column_count(stmt);
    // Expressions of unknown type take the type of the values they give.
    struct Seen {
        bool text = false, real = false, integer = false, blob = false, allDates = true;
        std::size_t longest = 0;
    };
    std::vector<Seen> seen(unknown.size());
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (rows) {
            std::vector<Value> row(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) row[static_cast<std::size_t>(i)] = columnValue(stmt, i);
            rows->push_back(std::move(row));
        }
        for (std::size_t k = 0; k < unknown.size(); ++k) {
            int i = unknown[k];
            switch (sqlite3_column_type(stmt, i)) {
                case SQLITE_INTEGER:
                    seen[k].integer = true;
                    break;
                case SQLITE_FLOAT:
                    seen[k].real = true;
                    break;
                case SQLITE_BLOB:
                    seen[k].blob = true;
                    break;
                case SQLITE_TEXT: {
                    seen[k].text = true;
                    std::string_view t(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                       static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
                    if (seen[k].allDates && !parseIsoDateTime(t)) seen[k].allDates = false;
                    seen[k].longest = std::max(seen[k].longest, codePointCount(t));
                    break;
                }
                default:
                    break;
            }
        }
    }
    if (rc != SQLITE_DONE) return engineError();
    sqlite3_reset(stmt);
    materialized = rows != nullptr;
    for (std::size_t k = 0; k < unknown.size(); ++k) {
        Field& f = fields[static_cast<std::size_t>(unknown[k])];
        const TypeHint& hint = hints[static_cast<std::size_t>(unknown[k])];
        const Seen& s = seen[k];
        f.size = 255;
        if (s.blob) {
            f.type = JetType::Binary;
        } else if (s.text) {
            if (s.allDates && !s.real && !s.integer)
                f.type = JetType::DateTime;
            else
                f.type = s.longest > 255 ? JetType::Memo : JetType::Text;
        } else if (s.real) {
            f.type = JetType::Double;
        } else if (s.integer) {
            bool real = hint.strength == TypeHint::Strength::Fallback &&
                        (hint.type == JetType::Double || hint.type == JetType::Single ||
                         hint.type == JetType::Currency);
            f.type = real ? hint.type : JetType::Long;
        } else {
            f.type = hint.strength == TypeHint::Strength::Fallback ? hint.type : JetType::Text;
        }
    }
    return {true, {}};
}

Outcome Connection::selectInto(const Plan& plan) {
    if (!plan.externalTarget) return selectIntoTable(plan);
    Statement stmt;
    if (sqlite3_prepare_v2(db_, plan.sql.c_str(), -1, stmt.out(), nullptr) != SQLITE_OK)
        return engineError();
    std::vector<Field> fields;
    bool materialized = false;
    Outcome described = describe(stmt.get(), plan.items, fields, nullptr, materialized);
    if (!described.ok) return described;

    if (plan.externalTarget) {
        const ExternalSource& target = *plan.externalTarget;
        isam::Driver* driver = drivers_->find(target.clause.driver);
        if (!driver)
            return {false, "找不到可安装的 ISAM：“" +
                               (target.clause.driver.empty() ? std::string("Access")
                                                             : target.clause.driver) +
                               "”的驱动程序尚不可用"};
        StatementSource rows(db_, stmt.get(), fields);
        std::string error;
        if (!driver->writeTable(target.clause, target.table, rows, error))
            return {false, error.empty() ? "无法写入外部表“" + target.table + "”" : error};
        if (!rows.error().empty()) return {false, rows.error()};
        return {true, {}};
    }
    Outcome created = runSql(createTableSql(quoteName(plan.target), fields));
    if (!created.ok) return created;
    return runSql("INSERT INTO " + quoteName(plan.target) + " " + plan.sql);
}

Outcome Connection::selectIntoTable(const Plan& plan) {
    Statement stmt;
    if (sqlite3_prepare_v2(db_, plan.sql.c_str(), -1, stmt.out(), nullptr) != SQLITE_OK)
        return engineError();
    std::vector<Field> fields;
    std::vector<int> unknown;
    std::vector<TypeHint> hints;
    bool materialized = false;
    Outcome described =
        describe(stmt.get(), plan.items, fields, nullptr, materialized, &unknown, &hints);
    if (!described.ok) return described;
    sqlite3_finalize(stmt.release());
    const std::string target = quoteName(plan.target);
    // Columns whose type only their values tell are stored untyped first, so that the query
    // runs once; the values in the new table then give the types, which are declared after.
    std::vector<Field> untyped = fields;
    for (int i : unknown) untyped[static_cast<std::size_t>(i)].type = JetType::Binary;
    Outcome o = runSql(createTableSql(target, untyped));
    if (!o.ok) return o;
    o = runSql("INSERT INTO " + target + " " + plan.sql);
    if (!o.ok || unknown.empty()) return o;

    Statement scan;
    if (sqlite3_prepare_v2(db_, ("SELECT * FROM " + target).c_str(), -1, scan.out(), nullptr) !=
        SQLITE_OK)
        return engineError();
    o = inferTypes(scan.get(), unknown, hints, fields, nullptr, materialized);
    sqlite3_finalize(scan.release());
    if (!o.ok) return o;
    o = redeclare("main", plan.target, fields);
    if (!o.ok) return o;
    // Values stored before the declaration take its affinity now (integers of a Double column
    // become reals, numbers of a text column text), as they would have on insert.
    std::string assign;
    for (int i : unknown) {
        std::string c = quoteName(fields[static_cast<std::size_t>(i)].name);
        assign += (assign.empty() ? "" : ", ") + c + " = " + c;
    }
    return runSql("UPDATE " + target + " SET " + assign);
}

Outcome Connection::alterColumn(const Plan& plan) {
    auto fields = tableFields(plan.table);
    if (!fields) return {false, "找不到输入表或查询“" + plan.table + "”"};
    std::size_t target = fields->size();
    for (std::size_t k = 0; k < fields->size(); ++k)
        if (compareNoCase((*fields)[k].name, plan.column) == 0) target = k;
    if (target == fields->size())
        return {false, "找不到列“" + plan.column + "”：表“" + plan.table + "”中没有这一列"};

    std::vector<std::string> indexes;
    {
        InternalScope scope(*this);
        Statement stmt;
        if (sqlite3_prepare_v2(
                db_,
                "SELECT sql FROM sqlite_master WHERE type='index' AND sql IS NOT NULL "
                "AND tbl_name=?1 COLLATE NOCASE",
                -1, stmt.out(), nullptr) != SQLITE_OK)
            return engineError();
        sqlite3_bind_text(stmt.get(), 1, plan.table.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(stmt.get()) == SQLITE_ROW)
            indexes.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0)));
    }
    std::vector<Field> changed = *fields;
    changed[target].type = plan.newType.type;
    changed[target].size = plan.newType.size;
    const std::string scratch = quoteName("qx_alter_" + plan.table);
    Outcome o = runSql(createTableSql(scratch, changed));
    if (!o.ok) return o;
    std::string select = "SELECT _rowid_";
    std::string names = "_rowid_";
    for (std::size_t k = 0; k < fields->size(); ++k) {
        std::string col = quoteName((*fields)[k].name);
        names += ", " + col;
        if (k == target) {
            select += ", jet_alter(" + col + ", " +
                      std::to_string(static_cast<int>(plan.newType.type)) + ", " +
                      std::to_string(plan.newType.size) + ")";
        } else {
            select += ", " + col;
        }
    }
    o = runSql("INSERT INTO " + scratch + " (" + names + ") " + select + " FROM " +
               quoteName(plan.table));
    if (!o.ok) return o;
    o = runSql("DROP TABLE " + quoteName(plan.table));
    if (!o.ok) return o;
    o = runSql("ALTER TABLE " + scratch + " RENAME TO " + quoteName(plan.table));
    if (!o.ok) return o;
    for (const auto& sql : indexes) {
        o = runSql(sql);
        if (!o.ok) return o;
    }
    return {true, {}};
}

std::vector<std::string> Connection::tables() {
    std::vector<std::string> out;
    if (!db_) return out;
    InternalScope scope(*this);
    Statement stmt;
    if (sqlite3_prepare_v2(db_, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid",
                           -1, stmt.out(), nullptr) != SQLITE_OK)
        return out;
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        std::string name = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
        if (name.rfind("sqlite_", 0) == 0) continue;
        out.push_back(std::move(name));
    }
    return out;
}

std::optional<std::vector<Field>> Connection::tableFields(std::string_view table) {
    if (!db_) return std::nullopt;
    Statement stmt;
    std::string sql = "SELECT * FROM " + quoteName(table);
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, stmt.out(), nullptr) != SQLITE_OK)
        return std::nullopt;
    std::vector<Field> fields;
    bool materialized = false;
    if (!describe(stmt.get(), {}, fields, nullptr, materialized).ok) return std::nullopt;
    return fields;
}

Outcome Connection::prepareQuery(std::string_view source, Query& out) {
    if (!db_) return {false, "数据库连接没有打开"};
    if (source.size() > kMaxStatementLength) return {false, "语句过长"};
    std::string text = trimmed(source);
    Translation tr;
    LexResult first = lex(text);
    bool isSelect = first.ok() && !first.tokens.empty() && first.tokens[0].isWord("SELECT");
    if (isSelect) {
        tr = translate(text);
        if (!tr.ok()) return {false, tr.error};
        if (tr.plan.kind != Plan::Kind::Query) return {false, "记录集只能打开表或 SELECT 查询"};
    } else {
        if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
            text = text.substr(1, text.size() - 2);
        tr.plan.kind = Plan::Kind::Query;
        tr.plan.sql = "SELECT * FROM " + quoteName(text);
    }
    try {
        Outcome loaded = loadSources(tr.plan.sources);
        if (!loaded.ok) return loaded;
        Statement stmt;
        if (sqlite3_prepare_v2(db_, tr.plan.sql.c_str(), -1, stmt.out(), nullptr) != SQLITE_OK)
            return engineError();
        if (!sqlite3_stmt_readonly(stmt.get())) return {false, "记录集只能打开表或 SELECT 查询"};
        Outcome d = describe(stmt.get(), tr.plan.items, out.fields, &out.rows, out.materialized);
        if (!d.ok) return d;
        out.stmt = stmt.release();
        return {true, {}};
    } catch (const std::exception& e) {
        return {false, std::string("数据库引擎内部错误：") + e.what()};
    }
}

Outcome compactDatabase(const std::filesystem::path& source, const std::filesystem::path& target) {
    sqlite3* db = nullptr;
    int rc = openDatabase(os::utf8(source).c_str(), &db, SQLITE_OPEN_READWRITE);
    if (rc != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        return {false, "无法打开数据库：" + msg};
    }
    registerJetFunctions(db);
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
