// Work the engine does its own way where the result stays the same: key sub-selects answered
// from a hash of the looked-up column, and indexes made when a statement can use them rather
// than when they are asked for.
#include <cstdlib>
#include <optional>

#include "platform/jet/engine_sqlite.h"
#include "platform/jet/key_sets.h"
#include "platform/jet/text.h"
#include "platform/work/progress.h"

namespace qx::jet {

namespace {

// An index asked for is recorded at once as one that holds no row (so that its name is taken
// and a second request is refused as before); the first statement that could use it makes it.
constexpr std::string_view kDeferred = " WHERE 0";

// The memory a key set may take (about 60 bytes a distinct key: some 9 million keys).
constexpr std::size_t kKeySetBudget = std::size_t{512} << 20;

bool startsWith(std::string_view s, std::string_view head) {
    return s.substr(0, head.size()) == head;
}

// "Q"."C" (SQLite's quoting, "" for a quote): Q, or nothing for any other form.
std::optional<std::string> qualifier(std::string_view ref) {
    if (ref.empty() || ref[0] != '"') return std::nullopt;
    std::string q;
    std::size_t i = 1;
    for (; i < ref.size(); ++i) {
        if (ref[i] == '"') {
            if (i + 1 < ref.size() && ref[i + 1] == '"') {
                q += '"';
                ++i;
                continue;
            }
            break;
        }
        q += ref[i];
    }
    if (i + 2 >= ref.size() || ref[i + 1] != '.' || ref[i + 2] != '"' || ref.back() != '"')
        return std::nullopt;
    return q;
}

// The name by which a FROM of one table, "t" or "t" AS "a", is known to its SELECT's columns.
std::string_view innerName(std::string_view from) {
    std::size_t as = from.rfind(" AS ");
    return as == std::string_view::npos ? from : from.substr(as + 4);
}

bool sameName(std::string_view a, std::string_view b) {
    return asciiLower(a) == asciiLower(b);
}

// A SELECT that reads one table straight through: no sub-select, join, list of tables or WHERE
// (only a GROUP BY or ORDER BY may follow its table). A name that merely looks like one of those
// words makes it seem otherwise, which costs nothing but speed.
bool onePass(const std::string& sql) {
    if (!startsWith(sql, "SELECT ") || sql.find("SELECT ", 1) != std::string::npos ||
        sql.find(" WHERE ") != std::string::npos || sql.find(" JOIN ") != std::string::npos)
        return false;
    std::size_t from = sql.find(" FROM ");
    if (from == std::string::npos) return false;
    std::size_t end = std::min(sql.find(" GROUP BY ", from), sql.find(" ORDER BY ", from));
    std::string_view tables = std::string_view(sql).substr(from, end - from);
    return tables.find(',') == std::string_view::npos && tables.find('(') == std::string_view::npos;
}

}  // namespace

bool readsWholeTable(const std::string& sql) {
    static const std::string head = "SELECT * FROM \"";
    return startsWith(sql, head) && sql.back() == '"' &&
           sql.find('"', head.size()) == sql.size() - 1;
}

bool Connection::plainEngine() {
    const char* v = std::getenv("QX_PLAIN_ENGINE");
    return v && *v && std::string_view(v) != "0";
}

bool Connection::textKeyColumn(const std::string& column, const std::string& from) {
    InternalScope scope(*this);
    Statement stmt;
    if (sqlite3_prepare_v2(db_, ("SELECT " + column + " FROM " + from).c_str(), -1, stmt.out(),
                           nullptr) != SQLITE_OK)
        return false;
    const char* schema = sqlite3_column_database_name(stmt.get(), 0);
    const char* table = sqlite3_column_table_name(stmt.get(), 0);
    const char* name = sqlite3_column_origin_name(stmt.get(), 0);
    if (!schema || !table || !name) return false;
    const char* declared = nullptr;
    const char* collation = nullptr;
    if (sqlite3_table_column_metadata(db_, schema, table, name, &declared, &collation, nullptr,
                                      nullptr, nullptr) != SQLITE_OK ||
        !declared || !collation)
        return false;
    // Text affinity (SQLite's rule: no INT in the declared type, and CHAR, CLOB or TEXT) and the
    // comparison without regard to case: two such columns compare their values as they are.
    std::string type = asciiUpper(declared);
    bool text = type.find("INT") == std::string::npos &&
                (type.find("CHAR") != std::string::npos || type.find("CLOB") != std::string::npos ||
                 type.find("TEXT") != std::string::npos);
    return text && equalsNoCaseAscii(collation, "JETCI");
}

Outcome Connection::applyProbes(Plan& plan, bool& all) {
    all = true;
    probes_->clear();
    for (const KeyProbe& k : plan.probes) {
        std::size_t at = plan.sql.find(k.expression);
        auto q = qualifier(k.outerKey);
        // x must be a column of the enclosing SELECT's one table (with several, the order SQLite
        // chooses for joining them, and so the order of the rows, might change), not one the
        // sub-select could take for its own, and both columns text that compares without
        // regard to case.
        bool oneTable = k.outerFrom.find_first_of(",(") == std::string::npos &&
                        k.outerFrom.find(" JOIN ") == std::string::npos;
        bool usable = at != std::string::npos && oneTable &&
                      plan.sql.find(k.expression, at + 1) == std::string::npos && q &&
                      !sameName(innerName(k.innerFrom), quoteName(*q)) &&
                      textKeyColumn(k.innerKey, k.innerFrom) &&
                      textKeyColumn(k.outerKey, k.outerFrom);
        if (!usable) {
            all = false;
            continue;
        }
        auto probe = std::make_unique<KeyProbes::Probe>();
        probe->exactSql = "SELECT 1 FROM " + k.innerFrom + " WHERE " + k.innerKey + " = ?1";
        {
            InternalScope scope(*this);
            Statement scan;
            if (sqlite3_prepare_v2(db_, ("SELECT " + k.innerKey + " FROM " + k.innerFrom).c_str(),
                                   -1, scan.out(), nullptr) != SQLITE_OK)
                return engineError();
            int rc;
            std::int64_t count = 0;
            bool tooLarge = false;
            while ((rc = sqlite3_step(scan.get())) == SQLITE_ROW) {
                if (++count % 4096 == 0) {
                    if (work::cancelRequested()) return {false, work::kCancelled};
                    // Past its budget the set gives way to SQLite's own plan (on an index, in
                    // the memory of its page cache).
                    if ((tooLarge = probe->keys.bytes() > kKeySetBudget)) break;
                }
                probe->keys.add(sqlite3_column_value(scan.get(), 0));
            }
            if (tooLarge) {
                all = false;
                continue;
            }
            if (rc != SQLITE_DONE) return engineError();
        }
        probes_->probes.push_back(std::move(probe));
        plan.sql.replace(at, k.expression.size(),
                         std::string("(") + (k.negated ? "NOT " : "") + "jet_keyprobe(" +
                             std::to_string(probes_->probes.size()) + ", " + k.outerKey + "))");
    }
    return {true, {}};
}

bool Connection::searchesTables(const Plan& plan, bool allProbed) {
    if (!mayUseIndexes(plan, allProbed)) return false;
    bool select = plan.kind == Plan::Kind::SelectInto || plan.kind == Plan::Kind::Query;
    return !(select && onePass(plan.sql));
}

bool Connection::mayUseIndexes(const Plan& plan, bool allProbed) {
    switch (plan.kind) {
        case Plan::Kind::Statements:
            for (const auto& sql : plan.statements)
                if (!startsWith(sql, "CREATE INDEX ") && !startsWith(sql, "CREATE UNIQUE INDEX ") &&
                    !startsWith(sql, "DROP INDEX ") && !startsWith(sql, "DROP TABLE "))
                    return true;
            return false;
        case Plan::Kind::SelectInto:
            if (plan.probeScan && allProbed) return false;
            return !(plan.probes.empty() && readsWholeTable(plan.sql));
        case Plan::Kind::AlterColumn:  // remakes the table's indexes as they are recorded
            return false;
        case Plan::Kind::Query:
            return !readsWholeTable(plan.sql);
    }
    return true;
}

// SQLite's own plans search B-trees (an index for every row of another table), and a memory
// map of the database spares them a read of the file for each page they visit. The engine's
// own passes over whole tables (a read stored, a merge or key set filled, a table exported) are
// slower through the map on some machines (a fault for a page where a read takes many), and the
// mapped pages count as the program's memory, growing with the database: they go without.
void Connection::useMemoryMap(bool on) {
    if (on == mapped_ || !db_) return;
    InternalScope scope(*this);
    if (runSql(on ? "PRAGMA mmap_size=2147418112" : "PRAGMA mmap_size=0").ok) mapped_ = on;
}

std::string Connection::deferredIndexSql(const std::string& sql) const {
    if (plain_ || !startsWith(sql, "CREATE INDEX ")) return sql;
    return sql + std::string(kDeferred);
}

Outcome Connection::makeDeferredIndexes() {
    InternalScope scope(*this);
    std::vector<std::pair<std::string, std::string>> pending;
    {
        Statement stmt;
        if (sqlite3_prepare_v2(db_,
                               "SELECT name, sql FROM main.sqlite_master WHERE type = 'index' "
                               "AND substr(sql, -length(?1)) = ?1",
                               -1, stmt.out(), nullptr) != SQLITE_OK)
            return engineError();
        sqlite3_bind_text(stmt.get(), 1, kDeferred.data(), static_cast<int>(kDeferred.size()),
                          SQLITE_STATIC);
        while (sqlite3_step(stmt.get()) == SQLITE_ROW)
            pending.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0)),
                                 reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 1)));
    }
    for (const auto& [name, sql] : pending) {
        Outcome o = runSql("DROP INDEX main." + quoteName(name));
        if (o.ok) o = runSql(sql.substr(0, sql.size() - kDeferred.size()));
        if (!o.ok) return o;
    }
    return {true, {}};
}

}  // namespace qx::jet
