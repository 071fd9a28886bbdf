// SELECT ... INTO: the fields of a statement's result with Jet's types (declared, known from the
// expression, or learnt from the values), the new table, and the export to an external target.
#include <algorithm>

#include "platform/isam/driver.h"
#include "platform/jet/engine_sqlite.h"
#include "platform/jet/text.h"
#include "platform/work/progress.h"

namespace qx::jet {

namespace {

// Rows of a prepared SELECT handed to a driver.
class StatementSource : public isam::RowSource {
  public:
    // `total`: the rows to come when known (0 when not), for the step's progress.
    StatementSource(sqlite3* db, sqlite3_stmt* stmt, std::vector<Field> fields, std::int64_t total)
        : db_(db), stmt_(stmt), total_(total) {
        for (auto& f : fields) columns_.push_back({f.name, f.type, f.size});
    }
    const std::vector<ColumnDef>& columns() const override { return columns_; }
    bool next(std::vector<Value>& row) override {
        if (++count_ % 4096 == 0) {
            if (work::cancelRequested()) {
                error_ = work::kCancelled;
                return false;
            }
            work::reportRows(count_);
            if (total_ > 0) work::reportFraction(std::min(0.99, double(count_) / total_));
        }
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) {
            row.resize(columns_.size());
            for (std::size_t i = 0; i < columns_.size(); ++i)
                row[i] = columnValue(stmt_, static_cast<int>(i));
            return true;
        }
        // The end of the rows is where a writer commits its file: a cancel that came first
        // (however few the rows) still stops it.
        if (rc != SQLITE_DONE)
            error_ = work::cancelRequested() ? std::string(work::kCancelled) : engineText(db_);
        else if (work::cancelRequested())
            error_ = work::kCancelled;
        return false;
    }
    std::string error() const override { return error_; }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_;
    std::int64_t total_;
    std::int64_t count_ = 0;
    std::vector<ColumnDef> columns_;
    std::string error_;
};

// The rows of a whole-table export ("SELECT * FROM t"): its highest row number, which a table
// built by one statement numbers from 1 up; 0 for any other statement.
std::int64_t exportTotal(sqlite3* db, const std::string& sql) {
    if (!readsWholeTable(sql)) return 0;
    return std::max<std::int64_t>(
        0, highestRowid(db, sql.substr(std::string("SELECT * FROM ").size())));
}

}  // namespace

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
        StatementSource rows(db_, stmt.get(), fields, exportTotal(db_, plan.sql));
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
    bool grouped = false;
    if (!plain_) o = insertGrouped(plan.sql, target, grouped);
    if (o.ok && !grouped) o = runSql("INSERT INTO " + target + " " + plan.sql);
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

}  // namespace qx::jet
