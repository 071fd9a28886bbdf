// ALTER TABLE ... ALTER COLUMN: SQLite cannot change a column's type, so the table is rebuilt
// with the new declaration, its values converted as Jet converts them, and its indexes remade.
#include "platform/jet/engine_sqlite.h"
#include "platform/jet/text.h"

namespace qx::jet {

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

}  // namespace qx::jet
