// Text rules of the Jet dialect: comparison without regard to case, LIKE with Jet's wildcards,
// and upper/lower case over UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qx::jet {

std::string asciiUpper(std::string_view s);
std::string asciiLower(std::string_view s);
bool equalsNoCaseAscii(std::string_view a, std::string_view b);

// Decodes one code point at i (advancing i); invalid bytes stand for themselves.
char32_t nextCodePoint(std::string_view s, std::size_t& i);
// Writes `cp` as UTF-8 at `out` (up to 4 bytes; U+DC80-U+DCFF, the stand-ins of invalid bytes,
// as the one byte they stand for) and returns the end of what it wrote.
char* writeUtf8(char* out, char32_t cp);
void appendUtf8(std::string& out, char32_t cp);
// UTF-8 to UTF-16 code units, at most `maxUnits` (a pair is never split); a byte that is not
// UTF-8 becomes U+FFFD.
std::u16string toUtf16(std::string_view utf8, std::size_t maxUnits = std::u16string::npos);
std::size_t codePointCount(std::string_view s);

char32_t foldCase(char32_t cp);  // lower case, for comparison
char32_t upperCase(char32_t cp);
std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);
// Appends the case-folded form of `s` (ASCII fast, other code points by foldCase).
void appendFolded(std::string& out, std::string_view s);

// <0, 0, >0 like memcmp, comparing case-folded code points.
int compareNoCase(std::string_view a, std::string_view b);

// Jet's LIKE: % any run, _ one character, # one digit, [abc] [a-c] one of, [!abc] none of;
// letters compare without regard to case.
class LikePattern {
  public:
    explicit LikePattern(std::string_view pattern);
    bool matches(std::string_view text) const;

  private:
    struct Element {
        enum Kind { Literal, AnyOne, Digit, Set, AnyRun } kind;
        char32_t ch = 0;
        bool negated = false;
        std::vector<std::pair<char32_t, char32_t>> ranges;
        bool matches(char32_t c) const;
    };
    std::vector<Element> elements_;
    // "%abc%" and the like are a plain search for a folded literal.
    bool containsOnly_ = false;
    std::string folded_;
};

bool likeMatch(std::string_view pattern, std::string_view text);

}  // namespace qx::jet
