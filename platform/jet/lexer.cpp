// Tokens of Jet SQL.
#include "platform/jet/lexer.h"

#include "platform/jet/text.h"
#include "platform/jet/types.h"

namespace qx::jet {

bool Token::isWord(std::string_view upperWord) const {
    return kind == Kind::Word && text.size() == upperWord.size() && asciiUpper(text) == upperWord;
}

namespace {

bool isWordByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c >= 0x80;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of a number starting at i (digits, a fraction, an exponent), or 0 when the text at i
// is a name that merely starts with digits, such as 1_1.
std::size_t numberLength(std::string_view s, std::size_t i) {
    std::size_t j = i;
    while (j < s.size() && isDigit(s[j])) ++j;
    if (j < s.size() && s[j] == '.' && j + 1 < s.size() && isDigit(s[j + 1])) {
        ++j;
        while (j < s.size() && isDigit(s[j])) ++j;
    } else if (j == i) {
        if (!(s[j] == '.' && j + 1 < s.size() && isDigit(s[j + 1]))) return 0;
        ++j;
        while (j < s.size() && isDigit(s[j])) ++j;
    }
    if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
        std::size_t k = j + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && isDigit(s[k])) {
            while (k < s.size() && isDigit(s[k])) ++k;
            j = k;
        }
    }
    if (j < s.size() && isWordByte(static_cast<unsigned char>(s[j]))) return 0;
    return j - i;
}

}  // namespace

LexResult lex(std::string_view s) {
    LexResult r;
    auto fail = [&](std::size_t at, const std::string& what) {
        r.error = what + "（位置 " + std::to_string(at + 1) + "）";
        r.tokens.clear();
        return r;
    };
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        Token t;
        t.offset = i;
        if (c == '[') {
            std::size_t close = s.find(']', i + 1);
            if (close == std::string_view::npos) return fail(i, "名称的方括号没有闭合");
            t.text = std::string(s.substr(i + 1, close - i - 1));
            t.kind =
                t.text.find(';') != std::string::npos ? Token::Kind::External : Token::Kind::Name;
            if (t.kind == Token::Kind::Name && t.text.empty()) return fail(i, "名称不能为空");
            i = close + 1;
            if (t.kind == Token::Kind::External && i + 1 < s.size() && s[i] == '.' &&
                s[i + 1] != '[') {
                // The table after a clause may be a bare file name (name.dbf, 结果-1.csv):
                // it runs to the next blank.
                r.tokens.push_back(std::move(t));
                Token dot;
                dot.kind = Token::Kind::Symbol;
                dot.text = ".";
                dot.offset = i;
                r.tokens.push_back(std::move(dot));
                std::size_t j = ++i;
                while (j < s.size() && s[j] != ' ' && s[j] != '\t' && s[j] != '\r' && s[j] != '\n')
                    ++j;
                Token name;
                name.kind = Token::Kind::Name;
                name.text = std::string(s.substr(i, j - i));
                name.offset = i;
                if (!name.text.empty() && name.text.back() == ';') {
                    name.text.pop_back();
                    --j;
                }
                if (name.text.empty()) return fail(i, "外部数据库之后缺少表名");
                i = j;
                r.tokens.push_back(std::move(name));
                continue;
            }
        } else if (c == '\'' || c == '"') {
            std::size_t j = i + 1;
            std::string value;
            bool closed = false;
            while (j < s.size()) {
                if (s[j] == c) {
                    if (j + 1 < s.size() && s[j + 1] == c) {
                        value += c;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                value += s[j++];
            }
            if (!closed) return fail(i, "字符串的引号没有闭合");
            t.kind = Token::Kind::String;
            t.text = std::move(value);
            i = j;
        } else if (c == '#') {
            std::size_t close = s.find('#', i + 1);
            if (close == std::string_view::npos) return fail(i, "日期的 # 号没有闭合");
            auto dt = parseDateText(s.substr(i + 1, close - i - 1));
            if (!dt)
                return fail(
                    i, "日期格式不正确：#" + std::string(s.substr(i + 1, close - i - 1)) + "#");
            t.kind = Token::Kind::Date;
            t.text = formatDateTime(*dt);
            i = close + 1;
        } else if (std::size_t n = numberLength(s, i); n > 0) {
            t.kind = Token::Kind::Number;
            t.text = std::string(s.substr(i, n));
            i += n;
        } else if (isWordByte(static_cast<unsigned char>(c))) {
            std::size_t j = i;
            while (j < s.size() && isWordByte(static_cast<unsigned char>(s[j]))) ++j;
            t.kind = Token::Kind::Word;
            t.text = std::string(s.substr(i, j - i));
            i = j;
        } else {
            static constexpr std::string_view kTwo[] = {"<>", "<=", ">=", "!=", "=<", "=>"};
            t.kind = Token::Kind::Symbol;
            for (auto two : kTwo) {
                if (s.substr(i, 2) == two) t.text = std::string(two);
            }
            if (t.text == "=<") t.text = "<=";
            if (t.text == "=>") t.text = ">=";
            if (t.text.empty()) {
                static constexpr std::string_view kOne = "(),.!=<>+-*/\\&^;";
                if (kOne.find(c) == std::string_view::npos)
                    return fail(i, std::string("无法识别的字符“") + c + "”");
                t.text = std::string(1, c);
                i += 1;
            } else {
                i += 2;
            }
        }
        r.tokens.push_back(std::move(t));
    }
    Token end;
    end.offset = s.size();
    r.tokens.push_back(end);
    return r;
}

}  // namespace qx::jet
