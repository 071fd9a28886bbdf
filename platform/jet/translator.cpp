// Jet SQL to SQLite. A recursive-descent reader of Jet's grammar that writes SQLite text as it
// goes: names are quoted, Jet's literals, operators and functions get their SQLite equivalents,
// and the statements SQLite lacks (multi-table UPDATE and DELETE, ALTER COLUMN, identity columns,
// per-table index names, external databases) become plans of SQLite statements.
#include "platform/jet/translator.h"

#include <algorithm>
#include <array>
#include <map>

#include "platform/jet/lexer.h"
#include "platform/jet/text.h"

namespace qx::jet {

std::string quoteName(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string indexName(std::string_view table, std::string_view index) {
    return quoteName("qxidx:" + asciiLower(table) + ":" + asciiLower(index));
}

std::string ExternalClause::property(std::string_view upperKey) const {
    for (const auto& [k, v] : properties)
        if (k == upperKey) return v;
    return {};
}

ExternalClause ExternalClause::parse(std::string_view inside) {
    ExternalClause c;
    c.raw = std::string(inside);
    std::size_t start = 0;
    bool first = true;
    while (start <= inside.size()) {
        std::size_t semi = inside.find(';', start);
        std::string_view part = inside.substr(
            start, semi == std::string_view::npos ? std::string_view::npos : semi - start);
        std::size_t eq = part.find('=');
        if (eq == std::string_view::npos) {
            if (first) {
                std::size_t b = part.find_first_not_of(' ');
                std::size_t e = part.find_last_not_of(' ');
                c.driver =
                    b == std::string_view::npos ? "" : std::string(part.substr(b, e - b + 1));
            }
        } else {
            std::string key = asciiUpper(part.substr(0, eq));
            key.erase(0, key.find_first_not_of(' '));
            key.erase(key.find_last_not_of(' ') + 1);
            c.properties.emplace_back(key, std::string(part.substr(eq + 1)));
        }
        first = false;
        if (semi == std::string_view::npos) break;
        start = semi + 1;
    }
    return c;
}

namespace {

constexpr int kMaxDepth = 150;

struct TranslateError {
    std::string message;
};

// Words that are never names in the statements we read.
constexpr std::array<std::string_view, 51> kKeywords{
    "SELECT",  "FROM",    "WHERE",     "AND",   "OR",       "NOT",         "IN",     "IS",
    "NULL",    "LIKE",    "BETWEEN",   "AS",    "DISTINCT", "DISTINCTROW", "ALL",    "TOP",
    "PERCENT", "INTO",    "GROUP",     "BY",    "HAVING",   "ORDER",       "ASC",    "DESC",
    "LEFT",    "RIGHT",   "INNER",     "OUTER", "JOIN",     "ON",          "UNION",  "EXISTS",
    "TRUE",    "FALSE",   "MOD",       "XOR",   "INSERT",   "VALUES",      "UPDATE", "SET",
    "DELETE",  "CREATE",  "TABLE",     "INDEX", "DROP",     "ALTER",       "ADD",    "COLUMN",
    "UNIQUE",  "PRIMARY", "CONSTRAINT"};

bool isKeyword(const Token& t) {
    if (!t.is(Token::Kind::Word)) return false;
    std::string u = asciiUpper(t.text);
    return std::find(kKeywords.begin(), kKeywords.end(), u) != kKeywords.end();
}

TypeHint exact(JetType t) {
    return {TypeHint::Strength::Exact, t};
}
TypeHint fallback(JetType t) {
    return {TypeHint::Strength::Fallback, t};
}

struct Expr {
    std::string sql;
    TypeHint hint;
    bool isColumn = false;
};

class Translator {
  public:
    explicit Translator(std::vector<Token> tokens) : t_(std::move(tokens)) {}

    Plan statement() {
        const Token& first = peek();
        if (first.isWord("SELECT")) {
            selectStatement();
        } else if (first.isWord("INSERT")) {
            insertStatement();
        } else if (first.isWord("UPDATE")) {
            updateStatement();
        } else if (first.isWord("DELETE")) {
            deleteStatement();
        } else if (first.isWord("CREATE")) {
            createStatement();
        } else if (first.isWord("DROP")) {
            dropStatement();
        } else if (first.isWord("ALTER")) {
            alterStatement();
        } else if (first.is(Token::Kind::End)) {
            fail("语句为空");
        } else {
            fail("无效的 SQL 语句：不能识别“" + first.text +
                 "”。可用的语句有 SELECT、INSERT、UPDATE、DELETE、CREATE、DROP 和 ALTER");
        }
        acceptSymbol(";");
        if (!peek().is(Token::Kind::End)) fail("语句结束之后还有多余的字符“" + peek().text + "”");
        return std::move(plan_);
    }

  private:
    // ---- token access -------------------------------------------------------------------------
    const Token& peek(std::size_t ahead = 0) const {
        std::size_t k = std::min(i_ + ahead, t_.size() - 1);
        return t_[k];
    }
    const Token& next() {
        const Token& tok = t_[i_];
        if (i_ + 1 < t_.size()) ++i_;
        return tok;
    }
    [[noreturn]] void fail(const std::string& message) { throw TranslateError{message}; }
    bool acceptWord(std::string_view upper) {
        if (peek().isWord(upper)) {
            next();
            return true;
        }
        return false;
    }
    bool acceptSymbol(std::string_view s) {
        if (peek().isSymbol(s)) {
            next();
            return true;
        }
        return false;
    }
    void expectWord(std::string_view upper) {
        if (!acceptWord(upper)) fail(std::string("缺少 ") + std::string(upper) + nearText());
    }
    void expectSymbol(std::string_view s) {
        if (!acceptSymbol(s)) fail("缺少“" + std::string(s) + "”" + nearText());
    }
    std::string nearText() const {
        if (peek().is(Token::Kind::End)) return "（语句意外结束）";
        return "（在“" + peek().text + "”附近）";
    }
    bool atName() const {
        const Token& tok = peek();
        return tok.is(Token::Kind::Name) || (tok.is(Token::Kind::Word) && !isKeyword(tok));
    }
    std::string name(const char* what) {
        if (!atName()) fail(std::string("缺少") + what + nearText());
        return next().text;
    }

    struct DepthGuard {
        explicit DepthGuard(Translator& tr) : tr_(tr) {
            if (++tr_.depth_ > kMaxDepth) tr_.fail("表达式嵌套过深");
        }
        ~DepthGuard() { --tr_.depth_; }
        Translator& tr_;
    };

    // The pieces of a simple sub-select, for rewriting IN and NOT IN.
    struct SelectParts {
        std::vector<std::string> items;
        std::string from;
        std::string where;
        bool simple = true;    // no DISTINCT, TOP, GROUP BY, HAVING, UNION or ORDER BY
        bool clauses = false;  // any of those
    };

    // ---- expressions --------------------------------------------------------------------------
    Expr expr() {
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

    Expr andExpr() {
        Expr left = notExpr();
        while (acceptWord("AND")) {
            Expr r = notExpr();
            left = {"(" + left.sql + " AND " + r.sql + ")", exact(JetType::Bit)};
        }
        return left;
    }

    Expr notExpr() {
        DepthGuard guard(*this);
        if (acceptWord("NOT")) {
            Expr e = notExpr();
            return {"(NOT " + e.sql + ")", exact(JetType::Bit)};
        }
        return predicate();
    }

    Expr predicate() {
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
                        // x [NOT] IN (SELECT y FROM … WHERE y = x) is [NOT] EXISTS of the same
                        // sub-select, Null x included (the sub-select is then empty either way),
                        // and SQLite runs the EXISTS form as one index probe per row.
                        expectSymbol(")");
                        left = {"(" + std::string(negated ? "NOT " : "") +
                                    "EXISTS (SELECT 1 FROM " + parts.from + " WHERE " +
                                    parts.where + "))",
                                exact(JetType::Bit)};
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
    static bool knownNotText(const Expr& e) {
        return e.hint.strength != TypeHint::Strength::None && e.hint.type != JetType::Text &&
               e.hint.type != JetType::Memo;
    }
    static std::string noCase(const Expr& a, const Expr& b) {
        bool plain = a.isColumn || b.isColumn || knownNotText(a) || knownNotText(b);
        return plain ? "" : " COLLATE JETCI";
    }
    static std::string noCase(const Expr& a) {
        return a.isColumn || knownNotText(a) ? "" : " COLLATE JETCI";
    }

    // A grouping or sorting key.
    std::string key() {
        Expr e = expr();
        return e.sql + noCase(e);
    }

    static std::string_view stripParens(std::string_view s) {
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
    static bool correlatedOnItself(const SelectParts& parts, const std::string& x) {
        if (!parts.simple || parts.items.size() != 1 || parts.where.empty() || parts.from.empty())
            return false;
        const std::string& y = parts.items[0];
        std::string_view w = stripParens(parts.where);
        return w == y + " = " + x || w == x + " = " + y;
    }

    Expr concatExpr() {
        Expr left = addExpr();
        while (acceptSymbol("&")) {
            Expr r = addExpr();
            left = {"jet_cat(" + left.sql + ", " + r.sql + ")", fallback(JetType::Text)};
        }
        return left;
    }

    Expr addExpr() {
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

    static bool isDate(const Expr& e) {
        return e.hint.strength != TypeHint::Strength::None && e.hint.type == JetType::DateTime;
    }
    // A date plus days is a date.
    TypeHint dateHint(const Expr& a, const Expr& b) const {
        return isDate(a) != isDate(b) ? fallback(JetType::DateTime) : TypeHint{};
    }

    static bool isTextLiteral(const Expr& e) {
        return e.hint.strength == TypeHint::Strength::Exact && e.hint.type == JetType::Text;
    }

    Expr modExpr() {
        Expr left = idivExpr();
        while (acceptWord("MOD")) {
            Expr r = idivExpr();
            left = {"jet_mod(" + left.sql + ", " + r.sql + ")", fallback(JetType::Long)};
        }
        return left;
    }

    Expr idivExpr() {
        Expr left = mulExpr();
        while (acceptSymbol("\\")) {
            Expr r = mulExpr();
            left = {"jet_idiv(" + left.sql + ", " + r.sql + ")", fallback(JetType::Long)};
        }
        return left;
    }

    Expr mulExpr() {
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

    Expr unaryExpr() {
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

    static std::string quoteText(std::string_view s) {
        std::string out = "'";
        for (char c : s) {
            if (c == '\'') out += '\'';
            out += c;
        }
        out += '\'';
        return out;
    }

    Expr primary() {
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

    Expr columnReference() {
        std::string first = next().text;
        if (peek().isSymbol(".") || peek().isSymbol("!")) {
            next();
            if (acceptSymbol("*")) return {quoteName(first) + ".*", {}};
            std::string col = name("列名");
            return {quoteName(first) + "." + quoteName(col), {}, true};
        }
        return {quoteName(first), {}, true};
    }

    std::vector<Expr> arguments() {
        std::vector<Expr> args;
        expectSymbol("(");
        if (acceptSymbol(")")) return args;
        do {
            args.push_back(expr());
        } while (acceptSymbol(","));
        expectSymbol(")");
        return args;
    }

    static std::string joinArgs(const std::vector<Expr>& args) {
        std::string out;
        for (std::size_t k = 0; k < args.size(); ++k) {
            if (k) out += ", ";
            out += args[k].sql;
        }
        return out;
    }

    Expr functionCall() {
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
            return {"(CASE WHEN " + args[0].sql + " THEN " + args[1].sql + " ELSE " + args[2].sql +
                        " END)",
                    hint};
        }
        if (upper == "NZ") {
            need(1, 2);
            std::string other = args.size() == 2 ? args[1].sql : "''";
            return {"coalesce(" + args[0].sql + ", " + other + ")", args[0].hint};
        }
        if (upper == "ISNULL") {
            need(1, 1);
            return {"(CASE WHEN " + args[0].sql + " IS NULL THEN -1 ELSE 0 END)",
                    exact(JetType::Bit)};
        }
        fail("表达式中有未定义的函数“" + fname + "”");
    }

    // ---- SELECT -------------------------------------------------------------------------------
    struct IntoTarget {
        std::string local;
        std::optional<ExternalSource> external;
    };

    // Reads [External].name or [External].name.ext after the clause token.
    ExternalSource externalTable() {
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

    std::string tablePrimary() {
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

    std::string joinedTable() {
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

    std::string fromList() {
        std::string out = joinedTable();
        while (acceptSymbol(",")) out += ", " + joinedTable();
        return out;
    }

    // Reads a SELECT from its keyword on; returns the SQLite text. With `into` it accepts an
    // INTO clause and records the items for the plan.
    std::string selectBody(bool topLevel, IntoTarget* into, SelectParts* parts = nullptr) {
        DepthGuard guard(*this);
        expectWord("SELECT");
        std::string out = "SELECT ";
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
            p.where = expr().sql;
            out += " WHERE " + p.where;
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
        if (topLevel) plan_.items = std::move(items);
        return out;
    }

    void selectStatement() {
        IntoTarget into;
        SelectParts parts;
        plan_.sql = selectBody(true, &into, &parts);
        // SELECT * INTO t FROM [external].x copies the driver's rows straight into t.
        plan_.directCopy = !into.local.empty() && plan_.sources.size() == 1 &&
                           plan_.items.size() == 1 && plan_.items[0].star &&
                           plan_.sql.rfind("SELECT * FROM ", 0) == 0 && parts.where.empty() &&
                           !parts.clauses &&
                           parts.from.rfind(quoteName(plan_.sources[0].placeholder), 0) == 0 &&
                           parts.from.find(',') == std::string::npos &&
                           parts.from.find(" JOIN ") == std::string::npos;
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

    // ---- INSERT, UPDATE, DELETE ----------------------------------------------------------------
    void insertStatement() {
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
    std::vector<std::string> tableList(std::vector<std::string>& extraWhere) {
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

    static bool sameName(std::string_view a, std::string_view b) {
        return compareNoCase(a, b) == 0;
    }

    static std::string whereOf(const std::vector<std::string>& parts) {
        std::string out;
        for (const auto& p : parts) out += (out.empty() ? "" : " AND ") + p;
        return out;
    }

    void updateStatement() {
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
                out += (first ? "" : ", ") + quoteName(a.column) + " = (SELECT " + a.value +
                       " FROM " + others + where + " ORDER BY " + order + " LIMIT 1)";
                first = false;
            }
            out += " WHERE EXISTS (SELECT 1 FROM " + others + where + ")";
            plan_.statements.push_back(out);
        }
    }

    void deleteStatement() {
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
            out += " WHERE EXISTS (SELECT 1 FROM " + others +
                   (cond.empty() ? "" : " WHERE " + cond) + ")";
        }
        plan_.statements.push_back(out);
    }

    // ---- DDL ----------------------------------------------------------------------------------
    struct ColumnSpec {
        std::string name;
        ColumnDef type;
        bool identity = false;
        long long seed = 1, increment = 1;
        std::string constraints;
    };

    ColumnSpec columnSpec() {
        ColumnSpec column;
        column.name = name("列名");
        if (!peek().is(Token::Kind::Word))
            fail("缺少列“" + column.name + "”的数据类型" + nearText());
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
        auto def = typeFromKeyword(keyword, upper == "TEXT" || upper == "VARCHAR" ||
                                                    upper == "CHAR" || upper == "CHARACTER" ||
                                                    upper == "STRING" || upper == "NVARCHAR" ||
                                                    upper == "NCHAR" || upper == "ALPHANUMERIC"
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

    static std::string columnSql(const ColumnSpec& column) {
        return quoteName(column.name) + " " +
               sqliteDeclaration(column.type.type, column.type.size) + column.constraints;
    }

    std::string nameList() {
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

    void createStatement() {
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
            plan_.statements.push_back(std::string("CREATE ") + (unique ? "UNIQUE " : "") +
                                       "INDEX " + indexName(table, index) + " ON " +
                                       quoteName(table) + " " + cols);
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

    void dropStatement() {
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

    void alterStatement() {
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
                plan_.statements.push_back("UPDATE " + qt + " SET " + quoteName(column.name) +
                                           " = " + seed + " + (_rowid_ - 1) * " + step + " WHERE " +
                                           dense);
                plan_.statements.push_back(
                    "UPDATE " + qt + " SET " + quoteName(column.name) + " = " + seed +
                    " + (qx_n.n - 1) * " + step +
                    " FROM (SELECT _rowid_ AS r, row_number() OVER (ORDER BY _rowid_) AS n FROM " +
                    qt + ") AS qx_n WHERE NOT " + dense + " AND qx_n.r = " + qt + "._rowid_");
            } else {
                plan_.statements.push_back("ALTER TABLE " + qt + " ADD COLUMN " +
                                           columnSql(column));
            }
        } else if (acceptWord("DROP")) {
            acceptWord("COLUMN");
            plan_.statements.push_back("ALTER TABLE " + qt + " DROP COLUMN " +
                                       quoteName(name("列名")));
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

    std::vector<Token> t_;
    std::size_t i_ = 0;
    int depth_ = 0;
    int exprCount_ = 0;
    Plan plan_;
};

}  // namespace

Translation translate(std::string_view jetSql) {
    Translation out;
    LexResult lexed = lex(jetSql);
    if (!lexed.ok()) {
        out.error = "语法错误：" + lexed.error;
        return out;
    }
    try {
        Translator tr(std::move(lexed.tokens));
        out.plan = tr.statement();
    } catch (const TranslateError& e) {
        out.error = "语法错误：" + e.message;
    } catch (const std::exception& e) {
        out.error = std::string("语句无法处理：") + e.what();
    }
    return out;
}

}  // namespace qx::jet
