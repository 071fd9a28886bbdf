// The reader of Jet's grammar shared by the translator's stages: the token access and the
// declarations of the expression, SELECT and statement readers, each stage in a file of its own.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/lexer.h"
#include "platform/jet/translator.h"

namespace qx::jet::translation {

inline constexpr int kMaxDepth = 150;

struct TranslateError {
    std::string message;
};

inline TypeHint exact(JetType t) {
    return {TypeHint::Strength::Exact, t};
}
inline TypeHint fallback(JetType t) {
    return {TypeHint::Strength::Fallback, t};
}

struct Expr {
    std::string sql;
    TypeHint hint;
    bool isColumn = false;
};

bool isKeyword(const Token& t);

class Translator {
  public:
    explicit Translator(std::vector<Token> tokens) : t_(std::move(tokens)) {}
    Plan statement();

  private:
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

    // Expressions (translator_expressions.cpp)
    Expr expr();
    Expr andExpr();
    Expr notExpr();
    Expr predicate();
    static bool knownNotText(const Expr& e);
    static std::string noCase(const Expr& a, const Expr& b);
    static std::string noCase(const Expr& a);
    std::string key();
    static std::string_view stripParens(std::string_view s);
    static bool correlatedOnItself(const SelectParts& parts, const std::string& x);
    Expr concatExpr();
    Expr addExpr();
    static bool isDate(const Expr& e);
    TypeHint dateHint(const Expr& a, const Expr& b) const;
    static bool isTextLiteral(const Expr& e);
    Expr modExpr();
    Expr idivExpr();
    Expr mulExpr();
    Expr unaryExpr();
    static std::string quoteText(std::string_view s);
    Expr primary();
    Expr columnReference();
    std::vector<Expr> arguments();
    static std::string joinArgs(const std::vector<Expr>& args);
    Expr functionCall();

    // SELECT and its FROM clause (translator_select.cpp)
    struct IntoTarget {
        std::string local;
        std::optional<ExternalSource> external;
    };
    ExternalSource externalTable();
    std::string tablePrimary();
    std::string joinedTable();
    std::string fromList();
    std::string selectBody(bool topLevel, IntoTarget* into, SelectParts* parts = nullptr);
    void selectStatement();

    // INSERT, UPDATE, DELETE and DDL (translator_statements.cpp)
    void insertStatement();
    std::vector<std::string> tableList(std::vector<std::string>& extraWhere);
    static bool sameName(std::string_view a, std::string_view b);
    static std::string whereOf(const std::vector<std::string>& parts);
    void updateStatement();
    void deleteStatement();

    struct ColumnSpec {
        std::string name;
        ColumnDef type;
        bool identity = false;
        long long seed = 1, increment = 1;
        std::string constraints;
    };
    ColumnSpec columnSpec();
    static std::string columnSql(const ColumnSpec& column);
    std::string nameList();
    void createStatement();
    void dropStatement();
    void alterStatement();

    std::vector<Token> t_;
    std::size_t i_ = 0;
    int depth_ = 0;
    int exprCount_ = 0;
    Plan plan_;
    // The SELECTs being read, innermost last: their FROM, and whether their WHERE is being read.
    struct Scope {
        std::string from;
        bool inWhere = false;
    };
    std::vector<Scope> scopes_;
};

}  // namespace qx::jet::translation
