// Tokens of Jet SQL. Names may start with a digit (1_1) or be Chinese; [bracketed] names may hold
// anything but "]"; a bracket holding ";" opens an external-database clause.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qx::jet {

struct Token {
    enum class Kind {
        Word,      // a keyword or a bare name
        Name,      // a [bracketed] name
        External,  // [Driver;KEY=value;...], text is the inside of the brackets
        Number,
        String,  // 'x' or "x", text is the value with quotes undone
        Date,    // #...#, text is the stored form YYYY-MM-DD HH:MM:SS
        Symbol,  // ( ) , . ! = <> < > <= >= + - * / \ & ^ ;
        End,
    };
    Kind kind = Kind::End;
    std::string text;
    std::size_t offset = 0;

    bool is(Kind k) const { return kind == k; }
    bool isSymbol(std::string_view s) const { return kind == Kind::Symbol && text == s; }
    bool isWord(std::string_view upperWord) const;  // case-insensitive keyword test
};

struct LexResult {
    std::vector<Token> tokens;  // ends with an End token when ok
    std::string error;
    bool ok() const { return error.empty(); }
};

LexResult lex(std::string_view sql);

}  // namespace qx::jet
