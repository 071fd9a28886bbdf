// Record sets read their rows once, on first use, so that opening one only to look at its fields
// costs nothing on a large table.
#include "platform/jet/recordset.h"

#include <sqlite3.h>

#include "platform/jet/functions.h"
#include "platform/jet/text.h"

namespace qx::jet {

Recordset::~Recordset() {
    close();
}

Outcome Recordset::open(Connection& connection, std::string_view tableOrSelect) {
    close();
    Connection::Query q;
    Outcome o = connection.prepareQuery(tableOrSelect, q);
    if (!o.ok) {
        sqlite3_finalize(q.stmt);
        return o;
    }
    query_ = std::move(q);
    fields_ = query_.fields;
    position_ = 0;
    open_ = true;
    return o;
}

void Recordset::close() {
    sqlite3_finalize(query_.stmt);
    query_ = {};
    fields_.clear();
    position_ = 0;
    open_ = false;
}

void Recordset::load() {
    if (!open_ || query_.materialized) return;
    query_.materialized = true;
    int n = static_cast<int>(fields_.size());
    int rc;
    while ((rc = sqlite3_step(query_.stmt)) == SQLITE_ROW) {
        std::vector<Value> row(fields_.size());
        for (int i = 0; i < n; ++i)
            row[static_cast<std::size_t>(i)] =
                valueFromSqlite(sqlite3_column_value(query_.stmt, i));
        query_.rows.push_back(std::move(row));
    }
    sqlite3_reset(query_.stmt);
}

int Recordset::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (compareNoCase(fields_[i].name, name) == 0) return static_cast<int>(i);
    return -1;
}

const Value* Recordset::rawValue(int i) {
    load();
    if (i < 0 || static_cast<std::size_t>(i) >= fields_.size() || position_ >= query_.rows.size())
        return nullptr;
    return &query_.rows[position_][static_cast<std::size_t>(i)];
}

std::optional<std::string> Recordset::value(int i) {
    const Value* v = rawValue(i);
    if (!v) return std::nullopt;
    return formatValue(*v, fields_[static_cast<std::size_t>(i)].type);
}

std::optional<std::string> Recordset::value(std::string_view name) {
    return value(fieldIndex(name));
}

void Recordset::moveFirst() {
    load();
    position_ = 0;
}

void Recordset::moveNext() {
    load();
    if (position_ < query_.rows.size()) ++position_;
}

bool Recordset::eof() {
    load();
    return position_ >= query_.rows.size();
}

long long Recordset::recordCount() {
    load();
    return static_cast<long long>(query_.rows.size());
}

}  // namespace qx::jet
