// Translation of one Jet SQL statement into what SQLite runs: plain statements, or a plan that
// the connection carries out step by step (SELECT ... INTO, ALTER COLUMN, external databases).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/types.h"

namespace qx::jet {

// [Driver;KEY=value;...] as written before a table name.
struct ExternalClause {
    std::string driver;  // "Excel 8.0", "dBASE III", "Text", "" for an Access database
    std::vector<std::pair<std::string, std::string>> properties;  // keys upper-cased
    std::string raw;

    std::string property(std::string_view upperKey) const;
    static ExternalClause parse(std::string_view inside);
};

// An external table read by a statement: loaded into a temporary table before it runs.
struct ExternalSource {
    ExternalClause clause;
    std::string table;
    std::string placeholder;  // name of the temporary table the statement reads
};

// What the translator knows about the type of a select item that is not a plain column.
struct TypeHint {
    enum class Strength { None, Fallback, Exact } strength = Strength::None;
    JetType type = JetType::Text;
};

struct SelectItem {
    bool star = false;
    TypeHint hint;
};

// x [NOT] IN (SELECT y FROM t WHERE y = x) in a WHERE clause, which the translation runs as
// [NOT] EXISTS of the sub-select: the engine may answer it from a hash of t's keys instead.
struct KeyProbe {
    std::string expression;  // its text in the plan's `sql`
    bool negated = false;
    std::string innerFrom, innerKey;  // t and y
    std::string outerFrom, outerKey;  // the FROM of the SELECT whose WHERE holds it, and x
};

struct Plan {
    enum class Kind {
        Query,        // a SELECT: `sql`
        SelectInto,   // `sql` is the SELECT; target is `target` or `externalTarget`
        Statements,   // run `statements` in order
        AlterColumn,  // change `table`.`column` to `newType`
    };
    Kind kind = Kind::Statements;
    std::string sql;
    std::vector<SelectItem> items;
    std::string target;
    std::optional<ExternalSource> externalTarget;
    std::vector<std::string> statements;
    std::vector<ExternalSource> sources;
    bool directCopy = false;  // SELECT * INTO target FROM one external table, nothing else
    std::vector<KeyProbe> probes;
    // The statement reads one table straight through: its WHERE is one key probe and nothing
    // else, and it has no other clause (an index helps it in no way).
    bool probeScan = false;
    std::string table;
    std::string column;
    ColumnDef newType;
};

struct Translation {
    Plan plan;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Translates exactly one statement (one trailing ";" allowed). Never throws.
Translation translate(std::string_view jetSql);

// Double-quoted SQLite identifier.
std::string quoteName(std::string_view name);
// The SQLite name of a Jet index: Jet's index names are per table.
std::string indexName(std::string_view table, std::string_view index);

}  // namespace qx::jet
