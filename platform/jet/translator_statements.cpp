// INSERT, UPDATE and DELETE (the multi-table forms as plans) and the DDL: CREATE TABLE and
// INDEX, DROP, ALTER TABLE with identity columns and ALTER COLUMN.
#include <algorithm>
#include <map>

#include "platform/jet/text.h"
#include "platform/jet/translator_parts.h"

namespace qx::jet::translation {

void Translator::insertStatement() {
    expectWord("INSERT");
    expectWord("INTO");
    if (peek().is(Token::Kind::External)) fail("不支持向外部数据库插入记录");
    std::string out = "INSERT INTO " + quoteName(name("表名"));
    if (peek().isSymbol("(") && !peek(1).isWord("SELECT")) {
        next();
        out += " (";
        bool first = true;
        do {
            if (!first) out += ", ";
            first = false;
            out += quoteName(name("列名"));
        } while (acceptSymbol(","));
        expectSymbol(")");
        out += ")";
    }
    if (acceptWord("VALUES")) {
        expectSymbol("(");
        out += " VALUES (" + expr().sql;
        while (acceptSymbol(",")) out += ", " + expr().sql;
        expectSymbol(")");
        out += ")";
    } else {
        bool paren = acceptSymbol("(");
        out += " " + selectBody(false, nullptr);
        if (paren) expectSymbol(")");
    }
    plan_.statements.push_back(out);
}

// Reads t1, t2 ... or t1 INNER JOIN t2 ON c; join conditions go to `extraWhere`.
std::vector<std::string> Translator::tableList(std::vector<std::string>& extraWhere) {
    std::vector<std::string> tables;
    tables.push_back(name("表名"));
    for (;;) {
        if (acceptSymbol(",")) {
            tables.push_back(name("表名"));
        } else if (acceptWord("INNER")) {
            expectWord("JOIN");
            tables.push_back(name("表名"));
            expectWord("ON");
            extraWhere.push_back(expr().sql);
        } else {
            return tables;
        }
    }
}

bool Translator::sameName(std::string_view a, std::string_view b) {
    return compareNoCase(a, b) == 0;
}

std::string Translator::whereOf(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : " AND ") + p;
    return out;
}

void Translator::updateStatement() {
    expectWord("UPDATE");
    std::vector<std::string> extra;
    std::vector<std::string> tables = tableList(extra);
    expectWord("SET");
    struct Assignment {
        std::string table, column, value;
    };
    std::vector<Assignment> sets;
    do {
        Assignment a;
        std::string first = name("列名");
        if (acceptSymbol(".") || acceptSymbol("!")) {
            a.table = first;
            a.column = name("列名");
        } else {
            a.table = tables.front();
            a.column = first;
        }
        expectSymbol("=");
        a.value = expr().sql;
        bool known = false;
        for (const auto& t : tables) known = known || sameName(t, a.table);
        if (!known) fail("SET 中的表“" + a.table + "”不在 UPDATE 的表中");
        sets.push_back(std::move(a));
    } while (acceptSymbol(","));
    if (acceptWord("WHERE")) extra.push_back(expr().sql);
    std::string cond = whereOf(extra);

    if (tables.size() == 1) {
        std::string out = "UPDATE " + quoteName(tables[0]) + " SET ";
        for (std::size_t k = 0; k < sets.size(); ++k)
            out += (k ? ", " : "") + quoteName(sets[k].column) + " = " + sets[k].value;
        if (!cond.empty()) out += " WHERE " + cond;
        plan_.statements.push_back(out);
        return;
    }
    // Several tables: each updated table takes its values from the matching combination of
    // the other tables' rows; where several match, the last in stored order wins.
    std::vector<std::string> targets;
    for (const auto& a : sets) {
        bool seen = false;
        for (const auto& t : targets) seen = seen || sameName(t, a.table);
        if (!seen) targets.push_back(a.table);
    }
    for (const auto& target : targets) {
        std::string others, order;
        for (const auto& t : tables) {
            if (sameName(t, target)) continue;
            others += (others.empty() ? "" : ", ") + quoteName(t);
            order += (order.empty() ? "" : ", ") + quoteName(t) + "._rowid_ DESC";
        }
        std::string where = cond.empty() ? "" : " WHERE " + cond;
        std::string out = "UPDATE " + quoteName(target) + " SET ";
        bool first = true;
        for (const auto& a : sets) {
            if (!sameName(a.table, target)) continue;
            out += (first ? "" : ", ") + quoteName(a.column) + " = (SELECT " + a.value + " FROM " +
                   others + where + " ORDER BY " + order + " LIMIT 1)";
            first = false;
        }
        out += " WHERE EXISTS (SELECT 1 FROM " + others + where + ")";
        plan_.statements.push_back(out);
    }
}

void Translator::deleteStatement() {
    expectWord("DELETE");
    std::string target;
    if (!peek().isWord("FROM")) {
        if (acceptSymbol("*")) {
        } else {
            target = name("表名");
            if (acceptSymbol(".")) expectSymbol("*");
        }
    }
    expectWord("FROM");
    std::vector<std::string> extra;
    std::vector<std::string> tables = tableList(extra);
    if (acceptWord("WHERE")) extra.push_back(expr().sql);
    if (target.empty()) {
        if (tables.size() != 1)
            fail("从多个表中删除时，必须指定要删除的表（如 DELETE 表.* FROM …）");
        target = tables[0];
    }
    std::string others;
    bool found = false;
    for (const auto& t : tables) {
        if (sameName(t, target) && !found) {
            found = true;
            continue;
        }
        others += (others.empty() ? "" : ", ") + quoteName(t);
    }
    if (!found) fail("要删除的表“" + target + "”不在 FROM 子句中");
    std::string cond = whereOf(extra);
    std::string out = "DELETE FROM " + quoteName(target);
    if (others.empty()) {
        if (!cond.empty()) out += " WHERE " + cond;
    } else {
        out +=
            " WHERE EXISTS (SELECT 1 FROM " + others + (cond.empty() ? "" : " WHERE " + cond) + ")";
    }
    plan_.statements.push_back(out);
}

Translator::ColumnSpec Translator::columnSpec() {
    ColumnSpec column;
    column.name = name("列名");
    if (!peek().is(Token::Kind::Word)) fail("缺少列“" + column.name + "”的数据类型" + nearText());
    std::string keyword = next().text;
    std::optional<int> size;
    std::string upper = asciiUpper(keyword);
    bool counter = upper == "COUNTER" || upper == "AUTOINCREMENT";
    if (acceptSymbol("(")) {
        if (!peek().is(Token::Kind::Number)) fail("数据类型的长度应为数字");
        size = std::stoi(next().text.substr(0, 9));
        if (acceptSymbol(",")) {
            if (!peek().is(Token::Kind::Number)) fail("数据类型的参数应为数字");
            if (counter)
                column.increment = std::stoll(next().text.substr(0, 18));
            else
                next();
        }
        expectSymbol(")");
    }
    if (counter) {
        column.identity = true;
        if (size) column.seed = *size;
        size.reset();
    }
    auto def = typeFromKeyword(keyword, upper == "TEXT" || upper == "VARCHAR" || upper == "CHAR" ||
                                                upper == "CHARACTER" || upper == "STRING" ||
                                                upper == "NVARCHAR" || upper == "NCHAR" ||
                                                upper == "ALPHANUMERIC"
                                            ? size
                                            : std::nullopt);
    if (!def) fail("不能识别的数据类型“" + keyword + "”");
    column.type = *def;
    column.type.name = column.name;
    if (peek().is(Token::Kind::Word) && asciiUpper(peek().text) == "IDENTITY") {
        next();
        column.identity = true;
        if (acceptSymbol("(")) {
            if (!peek().is(Token::Kind::Number)) fail("IDENTITY 的参数应为数字");
            column.seed = std::stoll(next().text.substr(0, 18));
            if (acceptSymbol(",")) {
                if (!peek().is(Token::Kind::Number)) fail("IDENTITY 的参数应为数字");
                column.increment = std::stoll(next().text.substr(0, 18));
            }
            expectSymbol(")");
        }
    }
    if (column.identity && column.type.type != JetType::Long) fail("自动编号列必须是长整型");
    for (;;) {
        if (acceptWord("NOT")) {
            expectWord("NULL");
            column.constraints += " NOT NULL";
        } else if (acceptWord("NULL")) {
        } else if (acceptWord("PRIMARY")) {
            if (!peek().isWord("KEY") &&
                !(peek().is(Token::Kind::Word) && asciiUpper(peek().text) == "KEY"))
                fail("缺少 KEY");
            next();
            column.constraints += " PRIMARY KEY";
        } else if (acceptWord("UNIQUE")) {
            column.constraints += " UNIQUE";
        } else {
            return column;
        }
    }
}

std::string Translator::columnSql(const ColumnSpec& column) {
    return quoteName(column.name) + " " + sqliteDeclaration(column.type.type, column.type.size) +
           column.constraints;
}

std::string Translator::nameList() {
    std::string out = "(";
    bool first = true;
    expectSymbol("(");
    do {
        if (!first) out += ", ";
        first = false;
        out += quoteName(name("列名"));
        if (acceptWord("DESC"))
            out += " DESC";
        else
            acceptWord("ASC");
    } while (acceptSymbol(","));
    expectSymbol(")");
    return out + ")";
}

void Translator::createStatement() {
    expectWord("CREATE");
    bool unique = acceptWord("UNIQUE");
    if (acceptWord("INDEX")) {
        std::string index = name("索引名");
        expectWord("ON");
        std::string table = name("表名");
        std::string cols = nameList();
        if (acceptWord("WITH")) {
            while (peek().is(Token::Kind::Word) && !peek().is(Token::Kind::End)) next();
        }
        plan_.statements.push_back(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                                   indexName(table, index) + " ON " + quoteName(table) + " " +
                                   cols);
        return;
    }
    if (unique) fail("缺少 INDEX");
    expectWord("TABLE");
    std::string table = name("表名");
    expectSymbol("(");
    std::string out = "CREATE TABLE " + quoteName(table) + " (";
    bool first = true;
    do {
        if (!first) out += ", ";
        first = false;
        if (acceptWord("CONSTRAINT")) {
            name("约束名");
            if (acceptWord("PRIMARY")) {
                next();  // KEY
                out += "PRIMARY KEY " + nameList();
            } else if (acceptWord("UNIQUE")) {
                out += "UNIQUE " + nameList();
            } else {
                fail("不支持的约束" + nearText());
            }
            continue;
        }
        ColumnSpec column = columnSpec();
        if (column.identity) {
            if (column.seed != 1 || column.increment != 1)
                fail("新建表的自动编号列只能从 1 开始、每次加 1");
            out += quoteName(column.name) + " INTEGER PRIMARY KEY AUTOINCREMENT";
        } else {
            out += columnSql(column);
        }
    } while (acceptSymbol(","));
    expectSymbol(")");
    plan_.statements.push_back(out + ")");
}

void Translator::dropStatement() {
    expectWord("DROP");
    if (acceptWord("TABLE")) {
        plan_.statements.push_back("DROP TABLE " + quoteName(name("表名")));
    } else if (acceptWord("INDEX")) {
        std::string index = name("索引名");
        expectWord("ON");
        std::string table = name("表名");
        plan_.statements.push_back("DROP INDEX " + indexName(table, index));
    } else {
        fail("DROP 之后应为 TABLE 或 INDEX");
    }
}

void Translator::alterStatement() {
    expectWord("ALTER");
    expectWord("TABLE");
    std::string table = name("表名");
    std::string qt = quoteName(table);
    if (acceptWord("ADD")) {
        acceptWord("COLUMN");
        ColumnSpec column = columnSpec();
        if (column.identity) {
            // Jet numbers the existing rows in stored order: rowid order here.
            plan_.statements.push_back("ALTER TABLE " + qt + " ADD COLUMN " +
                                       quoteName(column.name) + " INTEGER");
            // Tables made by SELECT … INTO hold the rowids 1 … n, which are the numbers
            // themselves; only a table with gaps (rows deleted) needs them counted.
            std::string dense = "((SELECT min(_rowid_) FROM " + qt +
                                ") = 1 AND (SELECT max(_rowid_) FROM " + qt +
                                ") = (SELECT count(*) FROM " + qt + "))";
            std::string seed = std::to_string(column.seed);
            std::string step = std::to_string(column.increment);
            plan_.statements.push_back("UPDATE " + qt + " SET " + quoteName(column.name) + " = " +
                                       seed + " + (_rowid_ - 1) * " + step + " WHERE " + dense);
            plan_.statements.push_back(
                "UPDATE " + qt + " SET " + quoteName(column.name) + " = " + seed +
                " + (qx_n.n - 1) * " + step +
                " FROM (SELECT _rowid_ AS r, row_number() OVER (ORDER BY _rowid_) AS n FROM " + qt +
                ") AS qx_n WHERE NOT " + dense + " AND qx_n.r = " + qt + "._rowid_");
        } else {
            plan_.statements.push_back("ALTER TABLE " + qt + " ADD COLUMN " + columnSql(column));
        }
    } else if (acceptWord("DROP")) {
        acceptWord("COLUMN");
        plan_.statements.push_back("ALTER TABLE " + qt + " DROP COLUMN " + quoteName(name("列名")));
    } else if (acceptWord("ALTER")) {
        acceptWord("COLUMN");
        ColumnSpec column = columnSpec();
        if (column.identity) fail("不能把已有的列改为自动编号");
        plan_.kind = Plan::Kind::AlterColumn;
        plan_.table = table;
        plan_.column = column.name;
        plan_.newType = column.type;
    } else {
        fail("ALTER TABLE 之后应为 ADD、DROP 或 ALTER");
    }
}

}  // namespace qx::jet::translation
