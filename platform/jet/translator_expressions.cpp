// Jet expressions to SQLite: operators with their precedence, literals, column references, the
// comparisons of text without regard to case, IN and NOT IN, and the function calls.
#include <algorithm>
#include <map>

#include "platform/jet/text.h"
#include "platform/jet/translator_parts.h"

namespace qx::jet::translation {

Expr Translator::expr() {
    DepthGuard guard(*this);
    Expr left = andExpr();
    for (;;) {
        if (acceptWord("OR")) {
            Expr r = andExpr();
            left = {"(" + left.sql + " OR " + r.sql + ")", exact(JetType::Bit)};
        } else if (acceptWord("XOR")) {
            Expr r = andExpr();
            left = {"((" + left.sql + ") <> (" + r.sql + "))", exact(JetType::Bit)};
        } else {
            return left;
        }
    }
}

Expr Translator::andExpr() {
    Expr left = notExpr();
    while (acceptWord("AND")) {
        Expr r = notExpr();
        left = {"(" + left.sql + " AND " + r.sql + ")", exact(JetType::Bit)};
    }
    return left;
}

Expr Translator::notExpr() {
    DepthGuard guard(*this);
    if (acceptWord("NOT")) {
        Expr e = notExpr();
        return {"(NOT " + e.sql + ")", exact(JetType::Bit)};
    }
    return predicate();
}

Expr Translator::predicate() {
    Expr left = concatExpr();
    for (;;) {
        const Token& tok = peek();
        static constexpr std::string_view kCompare[] = {"=", "<>", "<", ">", "<=", ">=", "!="};
        bool compare = false;
        for (auto op : kCompare) compare = compare || tok.isSymbol(op);
        if (compare) {
            std::string op = next().text;
            if (op == "!=") op = "<>";
            Expr r = concatExpr();
            left = {"(" + left.sql + " " + op + " " + r.sql + noCase(left, r) + ")",
                    exact(JetType::Bit)};
            continue;
        }
        if (acceptWord("IS")) {
            bool negated = acceptWord("NOT");
            expectWord("NULL");
            left = {"(" + left.sql + (negated ? " IS NOT NULL)" : " IS NULL)"),
                    exact(JetType::Bit)};
            continue;
        }
        bool negated = false;
        if (tok.isWord("NOT") &&
            (peek(1).isWord("LIKE") || peek(1).isWord("IN") || peek(1).isWord("BETWEEN"))) {
            next();
            negated = true;
        }
        std::string notText = negated ? " NOT" : "";
        if (acceptWord("LIKE")) {
            Expr r = concatExpr();
            left = {"(" + left.sql + notText + " LIKE " + r.sql + ")", exact(JetType::Bit)};
        } else if (acceptWord("IN")) {
            expectSymbol("(");
            std::string inner;
            if (peek().isWord("SELECT")) {
                SelectParts parts;
                inner = selectBody(false, nullptr, &parts);
                if (correlatedOnItself(parts, left.sql)) {
                    const std::string x = left.sql;
                    // x [NOT] IN (SELECT y FROM … WHERE y = x) is [NOT] EXISTS of the same
                    // sub-select, Null x included (the sub-select is then empty either way),
                    // and SQLite runs the EXISTS form as one index probe per row.
                    expectSymbol(")");
                    left = {"(" + std::string(negated ? "NOT " : "") + "EXISTS (SELECT 1 FROM " +
                                parts.from + " WHERE " + parts.where + "))",
                            exact(JetType::Bit)};
                    if (!scopes_.empty() && scopes_.back().inWhere)
                        plan_.probes.push_back({left.sql, negated, parts.from, parts.items[0],
                                                scopes_.back().from, x});
                    continue;
                }
            } else {
                inner = expr().sql;
                while (acceptSymbol(",")) inner += ", " + expr().sql;
            }
            expectSymbol(")");
            left = {"(" + left.sql + noCase(left) + notText + " IN (" + inner + "))",
                    exact(JetType::Bit)};
        } else if (acceptWord("BETWEEN")) {
            Expr lo = concatExpr();
            expectWord("AND");
            Expr hi = concatExpr();
            left = {"(" + left.sql + noCase(left) + notText + " BETWEEN " + lo.sql + " AND " +
                        hi.sql + ")",
                    exact(JetType::Bit)};
        } else {
            if (negated) fail("NOT 的用法不正确" + nearText());
            return left;
        }
    }
}

// Texts compare without regard to case. A column brings that rule with it (text columns
// are declared with JETCI), and an explicit collation would keep SQLite from using the
// indexes of other columns; comparisons of expressions alone get it spelled out.
bool Translator::knownNotText(const Expr& e) {
    return e.hint.strength != TypeHint::Strength::None && e.hint.type != JetType::Text &&
           e.hint.type != JetType::Memo;
}

std::string Translator::noCase(const Expr& a, const Expr& b) {
    bool plain = a.isColumn || b.isColumn || knownNotText(a) || knownNotText(b);
    return plain ? "" : " COLLATE JETCI";
}

std::string Translator::noCase(const Expr& a) {
    return a.isColumn || knownNotText(a) ? "" : " COLLATE JETCI";
}

// A grouping or sorting key.
std::string Translator::key() {
    Expr e = expr();
    return e.sql + noCase(e);
}

std::string_view Translator::stripParens(std::string_view s) {
    while (s.size() >= 2 && s.front() == '(' && s.back() == ')') {
        int depth = 0;
        bool wraps = true;
        for (std::size_t k = 0; k < s.size(); ++k) {
            if (s[k] == '(') ++depth;
            if (s[k] == ')') --depth;
            if (depth == 0 && k + 1 < s.size()) {
                wraps = false;
                break;
            }
        }
        if (!wraps) break;
        s = s.substr(1, s.size() - 2);
    }
    return s;
}

// True when the sub-select yields one column y and its whole condition is y = x (or x = y).
bool Translator::correlatedOnItself(const SelectParts& parts, const std::string& x) {
    if (!parts.simple || parts.items.size() != 1 || parts.where.empty() || parts.from.empty())
        return false;
    const std::string& y = parts.items[0];
    std::string_view w = stripParens(parts.where);
    return w == y + " = " + x || w == x + " = " + y;
}

Expr Translator::concatExpr() {
    Expr left = addExpr();
    while (acceptSymbol("&")) {
        Expr r = addExpr();
        left = {"jet_cat(" + left.sql + ", " + r.sql + ")", fallback(JetType::Text)};
    }
    return left;
}

Expr Translator::addExpr() {
    Expr left = modExpr();
    for (;;) {
        if (acceptSymbol("+")) {
            Expr r = modExpr();
            // Jet adds numbers and joins texts; a text literal on either side decides.
            bool text = isTextLiteral(left) || isTextLiteral(r);
            if (text)
                left = {"(" + left.sql + " || " + r.sql + ")", fallback(JetType::Text)};
            else
                left = {"jet_add(" + left.sql + ", " + r.sql + ")", dateHint(left, r)};
        } else if (acceptSymbol("-")) {
            Expr r = modExpr();
            left = {"jet_sub(" + left.sql + ", " + r.sql + ")",
                    isDate(left) && !isDate(r) ? fallback(JetType::DateTime) : TypeHint{}};
        } else {
            return left;
        }
    }
}

bool Translator::isDate(const Expr& e) {
    return e.hint.strength != TypeHint::Strength::None && e.hint.type == JetType::DateTime;
}

// A date plus days is a date.
TypeHint Translator::dateHint(const Expr& a, const Expr& b) const {
    return isDate(a) != isDate(b) ? fallback(JetType::DateTime) : TypeHint{};
}

bool Translator::isTextLiteral(const Expr& e) {
    return e.hint.strength == TypeHint::Strength::Exact && e.hint.type == JetType::Text;
}

Expr Translator::modExpr() {
    Expr left = idivExpr();
    while (acceptWord("MOD")) {
        Expr r = idivExpr();
        left = {"jet_mod(" + left.sql + ", " + r.sql + ")", fallback(JetType::Long)};
    }
    return left;
}

Expr Translator::idivExpr() {
    Expr left = mulExpr();
    while (acceptSymbol("\\")) {
        Expr r = mulExpr();
        left = {"jet_idiv(" + left.sql + ", " + r.sql + ")", fallback(JetType::Long)};
    }
    return left;
}

Expr Translator::mulExpr() {
    Expr left = unaryExpr();
    for (;;) {
        if (acceptSymbol("*")) {
            Expr r = unaryExpr();
            left = {"(" + left.sql + " * " + r.sql + ")", {}};
        } else if (acceptSymbol("/")) {
            Expr r = unaryExpr();
            // Jet's / always divides as real numbers.
            left = {"(" + left.sql + " * 1.0 / " + r.sql + ")", fallback(JetType::Double)};
        } else {
            return left;
        }
    }
}

Expr Translator::unaryExpr() {
    DepthGuard guard(*this);
    if (acceptSymbol("-")) {
        Expr e = unaryExpr();
        return {"(- " + e.sql + ")", e.hint};
    }
    if (acceptSymbol("+")) return unaryExpr();
    Expr left = primary();
    while (acceptSymbol("^")) {
        Expr r = unaryExpr();
        left = {"jet_pow(" + left.sql + ", " + r.sql + ")", fallback(JetType::Double)};
    }
    return left;
}

std::string Translator::quoteText(std::string_view s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

Expr Translator::primary() {
    const Token& tok = peek();
    switch (tok.kind) {
        case Token::Kind::Number: {
            std::string text = next().text;
            bool real = text.find_first_of(".eE") != std::string::npos;
            return {text, fallback(real ? JetType::Double : JetType::Long)};
        }
        case Token::Kind::String:
            return {quoteText(next().text), exact(JetType::Text)};
        case Token::Kind::Date:
            return {quoteText(next().text), exact(JetType::DateTime)};
        case Token::Kind::Symbol:
            if (acceptSymbol("(")) {
                if (peek().isWord("SELECT")) {
                    std::string sub = selectBody(false, nullptr);
                    expectSymbol(")");
                    return {"(" + sub + ")", {}};
                }
                Expr e = expr();
                expectSymbol(")");
                return {"(" + e.sql + ")", e.hint, e.isColumn};
            }
            fail("表达式中有不能识别的符号“" + tok.text + "”");
        case Token::Kind::External:
            fail("外部数据库只能用在 FROM 或 INTO 之后");
        case Token::Kind::End:
            fail("表达式不完整（语句意外结束）");
        case Token::Kind::Word:
        case Token::Kind::Name:
            break;
    }
    if (tok.is(Token::Kind::Word)) {
        if (acceptWord("NULL")) return {"NULL", {}};
        if (acceptWord("TRUE")) return {"-1", exact(JetType::Bit)};
        if (acceptWord("FALSE")) return {"0", exact(JetType::Bit)};
        if (acceptWord("EXISTS")) {
            expectSymbol("(");
            std::string sub = selectBody(false, nullptr);
            expectSymbol(")");
            return {"(EXISTS (" + sub + "))", exact(JetType::Bit)};
        }
        bool callable = !isKeyword(tok) || tok.isWord("LEFT") || tok.isWord("RIGHT");
        if (callable && peek(1).isSymbol("(")) return functionCall();
        if (isKeyword(tok)) fail("表达式中不能出现关键字“" + tok.text + "”");
    }
    return columnReference();
}

Expr Translator::columnReference() {
    std::string first = next().text;
    if (peek().isSymbol(".") || peek().isSymbol("!")) {
        next();
        if (acceptSymbol("*")) return {quoteName(first) + ".*", {}};
        std::string col = name("列名");
        return {quoteName(first) + "." + quoteName(col), {}, true};
    }
    return {quoteName(first), {}, true};
}

std::vector<Expr> Translator::arguments() {
    std::vector<Expr> args;
    expectSymbol("(");
    if (acceptSymbol(")")) return args;
    do {
        args.push_back(expr());
    } while (acceptSymbol(","));
    expectSymbol(")");
    return args;
}

std::string Translator::joinArgs(const std::vector<Expr>& args) {
    std::string out;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (k) out += ", ";
        out += args[k].sql;
    }
    return out;
}

Expr Translator::functionCall() {
    std::string fname = next().text;
    std::string upper = asciiUpper(fname);
    if (upper == "COUNT") {
        expectSymbol("(");
        std::string inner;
        if (acceptSymbol("*")) {
            inner = "*";
        } else {
            if (acceptWord("DISTINCT")) inner = "DISTINCT ";
            inner += expr().sql;
        }
        expectSymbol(")");
        return {"count(" + inner + ")", exact(JetType::Long)};
    }
    std::vector<Expr> args = arguments();
    auto need = [&](std::size_t lo, std::size_t hi) {
        if (args.size() < lo || args.size() > hi) fail("函数 " + fname + " 的参数个数不正确");
    };
    struct Simple {
        const char* jet;
        const char* sqlite;
        std::size_t lo, hi;
        TypeHint hint;
    };
    static const Simple kSimple[] = {
        {"SUM", "jet_sum", 1, 1, fallback(JetType::Double)},
        {"AVG", "jet_avg", 1, 1, fallback(JetType::Double)},
        {"FIRST", "jet_first", 1, 1, {}},
        {"LAST", "jet_last", 1, 1, {}},
        {"STDEV", "jet_stdev", 1, 1, fallback(JetType::Double)},
        {"LEN", "length", 1, 1, exact(JetType::Long)},
        {"LEFT", "jet_left", 2, 2, fallback(JetType::Text)},
        {"RIGHT", "jet_right", 2, 2, fallback(JetType::Text)},
        {"MID", "jet_mid", 2, 3, fallback(JetType::Text)},
        {"TRIM", "jet_trim", 1, 1, fallback(JetType::Text)},
        {"LTRIM", "jet_ltrim", 1, 1, fallback(JetType::Text)},
        {"RTRIM", "jet_rtrim", 1, 1, fallback(JetType::Text)},
        {"UCASE", "jet_ucase", 1, 1, fallback(JetType::Text)},
        {"LCASE", "jet_lcase", 1, 1, fallback(JetType::Text)},
        {"INSTR", "jet_instr", 2, 4, exact(JetType::Long)},
        {"REPLACE", "jet_replace", 3, 3, fallback(JetType::Text)},
        {"SPACE", "jet_space", 1, 1, fallback(JetType::Text)},
        {"VAL", "jet_val", 1, 1, exact(JetType::Double)},
        {"STR", "jet_str", 1, 1, fallback(JetType::Text)},
        {"CSTR", "jet_cstr", 1, 1, fallback(JetType::Text)},
        {"CLNG", "jet_clng", 1, 1, exact(JetType::Long)},
        {"CINT", "jet_cint", 1, 1, exact(JetType::Short)},
        {"CBYTE", "jet_cbyte", 1, 1, exact(JetType::Byte)},
        {"CDBL", "jet_cdbl", 1, 1, exact(JetType::Double)},
        {"CSNG", "jet_csng", 1, 1, exact(JetType::Single)},
        {"CCUR", "jet_ccur", 1, 1, exact(JetType::Currency)},
        {"CBOOL", "jet_cbool", 1, 1, exact(JetType::Bit)},
        {"CDATE", "jet_cdate", 1, 1, exact(JetType::DateTime)},
        {"CVDATE", "jet_cdate", 1, 1, exact(JetType::DateTime)},
        {"DATEVALUE", "jet_datevalue", 1, 1, exact(JetType::DateTime)},
        {"YEAR", "jet_year", 1, 1, exact(JetType::Short)},
        {"MONTH", "jet_month", 1, 1, exact(JetType::Short)},
        {"DAY", "jet_day", 1, 1, exact(JetType::Short)},
        {"HOUR", "jet_hour", 1, 1, exact(JetType::Short)},
        {"MINUTE", "jet_minute", 1, 1, exact(JetType::Short)},
        {"SECOND", "jet_second", 1, 1, exact(JetType::Short)},
        {"WEEKDAY", "jet_weekday", 1, 1, exact(JetType::Short)},
        {"DATE", "jet_date", 0, 0, exact(JetType::DateTime)},
        {"NOW", "jet_now", 0, 0, exact(JetType::DateTime)},
        {"TIME", "jet_time", 0, 0, exact(JetType::DateTime)},
        {"ABS", "jet_abs", 1, 1, {}},
        {"INT", "jet_int", 1, 1, {}},
        {"FIX", "jet_fix", 1, 1, {}},
        {"SGN", "jet_sgn", 1, 1, exact(JetType::Short)},
        {"SQR", "jet_sqr", 1, 1, exact(JetType::Double)},
        {"ROUND", "jet_round", 1, 2, {}},
        {"ASC", "jet_asc", 1, 1, exact(JetType::Long)},
        {"CHR", "jet_chr", 1, 1, fallback(JetType::Text)},
        {"STRREVERSE", "jet_strreverse", 1, 1, fallback(JetType::Text)},
    };
    for (const auto& s : kSimple) {
        if (upper != s.jet) continue;
        need(s.lo, s.hi);
        TypeHint hint = s.hint;
        if (hint.strength == TypeHint::Strength::None && !args.empty()) hint = args[0].hint;
        return {std::string(s.sqlite) + "(" + joinArgs(args) + ")", hint};
    }
    if (upper == "MIN" || upper == "MAX") {
        need(1, 1);
        return {asciiLower(upper) + "(" + args[0].sql + ")", args[0].hint};
    }
    if (upper == "IIF") {
        need(3, 3);
        TypeHint hint =
            args[1].hint.strength != TypeHint::Strength::None ? args[1].hint : args[2].hint;
        if (hint.strength == TypeHint::Strength::Exact)
            hint.strength = TypeHint::Strength::Fallback;
        return {
            "(CASE WHEN " + args[0].sql + " THEN " + args[1].sql + " ELSE " + args[2].sql + " END)",
            hint};
    }
    if (upper == "NZ") {
        need(1, 2);
        std::string other = args.size() == 2 ? args[1].sql : "''";
        return {"coalesce(" + args[0].sql + ", " + other + ")", args[0].hint};
    }
    if (upper == "ISNULL") {
        need(1, 1);
        return {"(CASE WHEN " + args[0].sql + " IS NULL THEN -1 ELSE 0 END)", exact(JetType::Bit)};
    }
    fail("表达式中有未定义的函数“" + fname + "”");
}

}  // namespace qx::jet::translation
