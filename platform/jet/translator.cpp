// Jet SQL to SQLite. A recursive-descent reader of Jet's grammar that writes SQLite text as it
// goes: names are quoted, Jet's literals, operators and functions get their SQLite equivalents,
// and the statements SQLite lacks (multi-table UPDATE and DELETE, ALTER COLUMN, identity columns,
// per-table index names, external databases) become plans of SQLite statements.
#include "platform/jet/translator.h"

#include <algorithm>
#include <array>
#include <map>

#include "platform/jet/text.h"
#include "platform/jet/translator_parts.h"

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

namespace translation {

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

Plan Translator::statement() {
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

}  // namespace translation

Translation translate(std::string_view jetSql) {
    Translation out;
    LexResult lexed = lex(jetSql);
    if (!lexed.ok()) {
        out.error = "语法错误：" + lexed.error;
        return out;
    }
    try {
        translation::Translator tr(std::move(lexed.tokens));
        out.plan = tr.statement();
    } catch (const translation::TranslateError& e) {
        out.error = "语法错误：" + e.message;
    } catch (const std::exception& e) {
        out.error = std::string("语句无法处理：") + e.what();
    }
    return out;
}

}  // namespace qx::jet
