// External tables: the rows a driver reads, stored in the working database as a table of their
// own (SELECT * INTO from one external table) or as the temporary copy a statement reads.
#include <algorithm>

#include "platform/isam/driver.h"
#include "platform/isam/read_ahead.h"
#include "platform/jet/engine_sqlite.h"
#include "platform/work/progress.h"

namespace qx::jet {

namespace {

// Rows between two looks at the step's progress and cancellation.
constexpr std::int64_t kReportRows = 4096;
// The values bound in one step at most (SQLite allows 32766).
constexpr std::size_t kBatchValues = 4096;

}  // namespace

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
        sqlite3_finalize(stmt.release());
        return sqlite3_prepare_v2(db_, insertRowsSql(target, fields.size(), 1).c_str(), -1,
                                  stmt.out(), nullptr) == SQLITE_OK;
    };
    if (!prepareInsert()) return engineError();
    // Rows whose columns are known from the start go in several at a time: one step of the
    // engine's statement per batch rather than per row.
    const std::size_t batch =
        late ? 1 : std::clamp<std::size_t>(kBatchValues / fields.size(), 1, kRowsPerInsert);
    Statement many;
    if (batch > 1 && sqlite3_prepare_v2(db_, insertRowsSql(target, fields.size(), batch).c_str(),
                                        -1, many.out(), nullptr) != SQLITE_OK)
        return engineError();
    auto bindRow = [&](sqlite3_stmt* s, std::size_t first, const std::vector<Value>& row) {
        for (std::size_t k = 0; k < fields.size(); ++k) {
            int at = static_cast<int>(first + k + 1);
            if (k < row.size())
                bindValue(s, at, row[k]);
            else
                sqlite3_bind_null(s, at);
        }
    };
    std::vector<std::vector<Value>> held(batch);
    std::size_t filled = 0;
    work::report(work::Stage::Reading);
    std::int64_t count = 0;
    while (rows->next(held[filled])) {
        if (++count % kReportRows == 0) {
            if (work::cancelRequested()) return {false, work::kCancelled};
            work::reportRows(count);
            if (double f = rows->fractionRead(); f >= 0) work::reportFraction(f);
        }
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
        if (batch == 1) {
            bindRow(stmt.get(), 0, held[0]);
            if (!stepOnce(stmt.get())) return engineError();
            continue;
        }
        if (++filled < batch) continue;
        for (std::size_t r = 0; r < batch; ++r) bindRow(many.get(), r * fields.size(), held[r]);
        if (!stepOnce(many.get())) return engineError();
        filled = 0;
    }
    for (std::size_t r = 0; r < filled; ++r) {
        bindRow(stmt.get(), 0, held[r]);
        if (!stepOnce(stmt.get())) return engineError();
    }
    if (!rows->error().empty()) return {false, rows->error()};
    work::reportRows(count);
    if (!late) {
        // Columns the rows turned out to need declared otherwise (long texts: Memo) are
        // declared so now; their values are stored as they are either way.
        std::vector<Field> final = fields;
        bool changed = false;
        const auto atEnd = rows->columnsAtEnd();
        for (std::size_t k = 0; k < final.size() && k < atEnd.size(); ++k) {
            if (atEnd[k].type == final[k].type && atEnd[k].size == final[k].size) continue;
            final[k].type = atEnd[k].type;
            final[k].size = atEnd[k].size;
            changed = true;
        }
        return changed ? redeclare(schema, name, final) : Outcome{true, {}};
    }
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

void Connection::dropSources(const std::vector<ExternalSource>& sources) {
    InternalScope scope(*this);
    for (const auto& src : sources)
        runSql("DROP TABLE IF EXISTS temp." + quoteName(src.placeholder));
}

}  // namespace qx::jet
