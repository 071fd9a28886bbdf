// SELECT with its FROM clause: tables, joins, sub-selects, external tables and the INTO target.
#include <algorithm>
#include <map>

#include "platform/jet/text.h"
#include "platform/jet/translator_parts.h"

namespace qx::jet::translation {

// Reads [External].name or [External].name.ext after the clause token.
ExternalSource Translator::externalTable() {
    ExternalSource src;
    src.clause = ExternalClause::parse(next().text);
    expectSymbol(".");
    if (!peek().is(Token::Kind::Name) && !peek().is(Token::Kind::Word))
        fail("外部数据库之后缺少表名" + nearText());
    src.table = next().text;
    while (peek().isSymbol(".") &&
           (peek(1).is(Token::Kind::Word) || peek(1).is(Token::Kind::Name))) {
        next();
        src.table += "." + next().text;
    }
    return src;
}

std::string Translator::tablePrimary() {
    DepthGuard guard(*this);
    if (acceptSymbol("(")) {
        if (peek().isWord("SELECT")) {
            std::string sub = selectBody(false, nullptr);
            expectSymbol(")");
            std::string out = "(" + sub + ")";
            acceptWord("AS");
            if (atName()) out += " AS " + quoteName(next().text);
            return out;
        }
        std::string inner = joinedTable();
        expectSymbol(")");
        return "(" + inner + ")";
    }
    std::string out;
    if (peek().is(Token::Kind::External)) {
        ExternalSource src = externalTable();
        src.placeholder = "qx_ext_" + std::to_string(plan_.sources.size() + 1);
        out = quoteName(src.placeholder);
        std::string alias = src.table;
        plan_.sources.push_back(std::move(src));
        if (!peek().isWord("AS") && !atName()) {
            // Columns may be qualified by the table's own name.
            std::size_t dot = alias.find('.');
            out += " AS " + quoteName(alias.substr(0, dot));
        }
    } else {
        out = quoteName(name("表名"));
    }
    if (acceptWord("AS")) {
        out += " AS " + quoteName(name("别名"));
    } else if (atName()) {
        out += " AS " + quoteName(next().text);
    }
    return out;
}

std::string Translator::joinedTable() {
    std::string left = tablePrimary();
    for (;;) {
        std::string kind;
        if (acceptWord("INNER")) {
            kind = "INNER JOIN";
        } else if (acceptWord("LEFT")) {
            acceptWord("OUTER");
            kind = "LEFT JOIN";
        } else if (acceptWord("RIGHT")) {
            acceptWord("OUTER");
            kind = "RIGHT JOIN";
        } else {
            return left;
        }
        expectWord("JOIN");
        std::string right = tablePrimary();
        expectWord("ON");
        Expr on = expr();
        left = left + " " + kind + " " + right + " ON " + on.sql;
    }
}

std::string Translator::fromList() {
    std::string out = joinedTable();
    while (acceptSymbol(",")) out += ", " + joinedTable();
    return out;
}

// Reads a SELECT from its keyword on; returns the SQLite text. With `into` it accepts an
// INTO clause and records the items for the plan.
std::string Translator::selectBody(bool topLevel, IntoTarget* into, SelectParts* parts) {
    DepthGuard guard(*this);
    expectWord("SELECT");
    std::string out = "SELECT ";
    scopes_.push_back({});
    struct PopScope {
        std::vector<Scope>& scopes;
        ~PopScope() { scopes.pop_back(); }
    } popScope{scopes_};
    SelectParts localParts;
    SelectParts& p = parts ? *parts : localParts;
    if (acceptWord("DISTINCT") || acceptWord("DISTINCTROW")) {
        p.simple = false;
        p.clauses = true;
        out += "DISTINCT ";
    } else {
        acceptWord("ALL");
    }
    std::string limit;
    if (acceptWord("TOP")) {
        if (!peek().is(Token::Kind::Number)) fail("TOP 之后应为数字");
        limit = next().text;
        p.simple = false;
        p.clauses = true;
        if (acceptWord("PERCENT")) fail("不支持 TOP … PERCENT");
    }
    std::vector<SelectItem> items;
    bool firstItem = true;
    do {
        if (!firstItem) out += ", ";
        firstItem = false;
        SelectItem item;
        if (acceptSymbol("*")) {
            item.star = true;
            out += "*";
        } else {
            Expr e = expr();
            if (e.sql.size() > 2 && e.sql.compare(e.sql.size() - 2, 2, ".*") == 0) {
                item.star = true;
                out += e.sql;
            } else {
                item.hint = e.hint;
                p.items.push_back(e.sql);
                out += e.sql;
                if (acceptWord("AS")) {
                    if (!peek().is(Token::Kind::Name) && !peek().is(Token::Kind::Word) &&
                        !peek().is(Token::Kind::String))
                        fail("AS 之后缺少别名" + nearText());
                    out += " AS " + quoteName(next().text);
                } else if (!e.isColumn) {
                    out += " AS " + quoteName("Expr" + std::to_string(1000 + exprCount_++));
                }
            }
        }
        items.push_back(item);
    } while (acceptSymbol(","));

    if (acceptWord("INTO")) {
        if (!into) fail("此处不能使用 INTO");
        if (peek().is(Token::Kind::External)) {
            into->external = externalTable();
        } else {
            into->local = name("目标表名");
        }
    }
    if (acceptWord("FROM")) {
        p.from = fromList();
        out += " FROM " + p.from;
    }
    if (acceptWord("WHERE")) {
        scopes_.back().from = p.from;
        scopes_.back().inWhere = true;
        std::size_t probesBefore = plan_.probes.size();
        p.where = expr().sql;
        scopes_.back().inWhere = false;
        out += " WHERE " + p.where;
        if (topLevel && plan_.probes.size() == probesBefore + 1 &&
            stripParens(p.where) == stripParens(plan_.probes.back().expression))
            plan_.probeScan = true;
    }
    if (items.size() != p.items.size()) p.simple = false;
    if (acceptWord("GROUP")) {
        p.simple = false;
        p.clauses = true;
        expectWord("BY");
        out += " GROUP BY " + key();
        while (acceptSymbol(",")) out += ", " + key();
    }
    if (acceptWord("HAVING")) {
        p.clauses = true;
        out += " HAVING " + expr().sql;
    }
    if (peek().isWord("UNION") || peek().isWord("ORDER")) {
        p.simple = false;
        p.clauses = true;
    }
    if (peek().isWord("UNION")) {
        next();
        out += acceptWord("ALL") ? " UNION ALL " : " UNION ";
        out += selectBody(false, nullptr);
    }
    if (acceptWord("ORDER")) {
        expectWord("BY");
        out += " ORDER BY ";
        bool firstKey = true;
        do {
            if (!firstKey) out += ", ";
            firstKey = false;
            out += key();
            if (acceptWord("DESC")) {
                out += " DESC";
            } else {
                acceptWord("ASC");
            }
        } while (acceptSymbol(","));
    }
    if (!limit.empty()) out += " LIMIT " + limit;
    if (topLevel && (p.clauses || p.from.find_first_of(",(") != std::string::npos ||
                     p.from.find(" JOIN ") != std::string::npos))
        plan_.probeScan = false;
    if (topLevel) plan_.items = std::move(items);
    return out;
}

void Translator::selectStatement() {
    IntoTarget into;
    SelectParts parts;
    plan_.sql = selectBody(true, &into, &parts);
    // SELECT * INTO t FROM [external].x copies the driver's rows straight into t.
    plan_.directCopy =
        !into.local.empty() && plan_.sources.size() == 1 && plan_.items.size() == 1 &&
        plan_.items[0].star && plan_.sql.rfind("SELECT * FROM ", 0) == 0 && parts.where.empty() &&
        !parts.clauses && parts.from.rfind(quoteName(plan_.sources[0].placeholder), 0) == 0 &&
        parts.from.find(',') == std::string::npos && parts.from.find(" JOIN ") == std::string::npos;
    if (into.external) {
        plan_.kind = Plan::Kind::SelectInto;
        plan_.externalTarget = std::move(into.external);
    } else if (!into.local.empty()) {
        plan_.kind = Plan::Kind::SelectInto;
        plan_.target = into.local;
    } else {
        plan_.kind = Plan::Kind::Query;
    }
}

}  // namespace qx::jet::translation
