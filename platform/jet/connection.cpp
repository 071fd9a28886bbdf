// The Jet dialect's connection on SQLite: opening with its settings and safeguards, one
// statement per call in its own savepoint carried out by its plan, the table listing and the
// queries of record sets.
#include "platform/jet/connection.h"

#include <algorithm>
#include <thread>

#include "platform/isam/driver.h"
#include "platform/jet/engine_sqlite.h"
#include "platform/jet/functions.h"
#include "platform/jet/key_sets.h"
#include "platform/jet/lexer.h"
#include "platform/jet/text.h"
#include "platform/os/paths.h"
#include "platform/work/progress.h"

namespace qx::jet {

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

Connection::Connection(const isam::DriverRegistry* drivers)
    : drivers_(drivers ? drivers : &isam::builtinDrivers()),
      plain_(plainEngine()),
      probes_(std::make_unique<KeyProbes>()) {}

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
    sqlite3_progress_handler(db_, kProgressSteps, &Connection::onProgress, nullptr);
    rc = registerJetFunctions(db_);
    if (rc == SQLITE_OK) rc = registerKeyProbe(db_, probes_.get());
    if (rc != SQLITE_OK) {
        close();
        return {false, "数据库引擎初始化失败"};
    }
    InternalScope scope(*this);
    // The working database is scratch space rebuilt from the source files: a journal in memory
    // still undoes a refused statement, without a file beside the database. SQLite's own plans
    // read pages through a memory map (useMemoryMap); the page cache stays small, because the
    // sorter of GROUP BY, ORDER BY and CREATE INDEX works in runs of the cache's size, which it
    // sorts on every core and merges: 2 MB runs take a third less time than one run of the whole
    // table.
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
    // Once the user has cancelled, no statement of the step runs any more.
    if (work::cancelRequested()) return {false, work::kCancelled};
    Outcome result;
    work::runLong([&] {
        work::Progress* progress = work::current();
        if (progress) {
            sqlite3* db = db_;
            progress->setInterrupter([db] { sqlite3_interrupt(db); });
        }
        result = executeHere(jetSql);
        if (progress) progress->setInterrupter({});
        if (!result.ok && work::cancelRequested()) result.message = work::kCancelled;
    });
    return result;
}

void Connection::dropTablesBut(const std::vector<std::string>& keep) {
    if (!db_) return;
    work::Cleanup cleanup;
    InternalScope scope(*this);
    for (const auto& name : tables())
        if (std::find(keep.begin(), keep.end(), name) == keep.end())
            runSql("DROP TABLE " + quoteName(name));
}

// Stops a statement when the user cancels its step (checked every few thousand steps of
// SQLite's machine, a fraction of a millisecond).
int Connection::onProgress(void*) {
    return work::cancelRequested() ? 1 : 0;
}

Outcome Connection::executeHere(std::string_view jetSql) {
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
    if (plan.kind == Plan::Kind::SelectInto && plan.directCopy) {
        useMemoryMap(plain_);
        return copyExternal(plan);
    }
    work::report(plan.kind == Plan::Kind::SelectInto && plan.externalTarget
                     ? work::Stage::Exporting
                     : work::Stage::Statement);
    // Sources are read, and whole tables exported, without the memory map (see useMemoryMap).
    if (!plan.sources.empty()) useMemoryMap(plain_);
    Outcome loaded = loadSources(plan.sources);
    if (!loaded.ok) {
        dropSources(plan.sources);
        return loaded;
    }
    Outcome result{true, {}};
    Plan probed;
    bool allProbed = false;
    if (!plain_ && plan.kind == Plan::Kind::SelectInto && !plan.probes.empty()) {
        probed = plan;
        result = applyProbes(probed, allProbed);
    }
    useMemoryMap(plain_ || searchesTables(plan, allProbed));
    if (result.ok && !plain_ && mayUseIndexes(plan, allProbed)) result = makeDeferredIndexes();
    if (!result.ok) {
        probes_->clear();
        dropSources(plan.sources);
        return result;
    }
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
            result = selectInto(plan.probes.empty() || plain_ ? plan : probed);
            break;
        case Plan::Kind::AlterColumn:
            result = alterColumn(plan);
            break;
        case Plan::Kind::Statements:
            for (const auto& sql : plan.statements) {
                result = runSql(deferredIndexSql(sql));
                if (!result.ok) break;
            }
            break;
    }
    probes_->clear();
    dropSources(plan.sources);
    return result;
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
        if (!plain_ && mayUseIndexes(tr.plan, false)) {
            Outcome made = makeDeferredIndexes();
            if (!made.ok) return made;
        }
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

}  // namespace qx::jet
