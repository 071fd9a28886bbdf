// Comparison without regard to case, LIKE with Jet's wildcards, and dates.
#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>

#include "platform/jet/functions.h"
#include "platform/jet/text.h"
#include "platform/jet/types.h"

namespace qx::jet {
namespace {

// Numbers of up to 15 digits take a path of their own; every text reads as from_chars reads it
// (after the blanks and the one sign), to the last bit, and what from_chars refuses is refused.
TEST(Numbers, ShortDecimalsReadAsTheGeneralPathReadsThem) {
    auto general = [](std::string_view t) -> std::optional<double> {
        std::size_t b = t.find_first_not_of(" \t\r\n");
        if (b == std::string_view::npos) return std::nullopt;
        t = t.substr(b, t.find_last_not_of(" \t\r\n") - b + 1);
        bool negative = !t.empty() && t[0] == '-';
        if (!t.empty() && (t[0] == '+' || t[0] == '-')) t.remove_prefix(1);
        if (t.empty() || t[0] == '+' || t[0] == '-') return std::nullopt;
        double d = 0;
        auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
        if (ec != std::errc() || p != t.data() + t.size()) return std::nullopt;
        return negative ? -d : d;
    };
    auto same = [](std::optional<double> a, std::optional<double> b) {
        if (a.has_value() != b.has_value()) return false;
        return !a || std::memcmp(&*a, &*b, sizeof(double)) == 0;
    };
    std::vector<std::string> texts = {"0",
                                      "-0",
                                      "0.37",
                                      ".5",
                                      "5.",
                                      ".",
                                      "",
                                      "1.2.3",
                                      "007",
                                      " 42 ",
                                      "+1",
                                      "--1",
                                      "1e5",
                                      "inf",
                                      "nan",
                                      "0x10",
                                      "9007199254740993",
                                      "999999999999999",
                                      "0.000000000000001",
                                      "123456789012345.",
                                      "1234567890123456",
                                      "43831",
                                      "99.99",
                                      "-12.5"};
    std::mt19937 rng(17);
    const std::string alphabet = "0123456789.";
    for (int i = 0; i < 200000; ++i) {
        std::string t;
        std::size_t n = rng() % 19;
        for (std::size_t k = 0; k < n; ++k)
            t += k == 0 && rng() % 8 == 0 ? (rng() % 2 ? '-' : '+') : alphabet[rng() % 11];
        if (rng() % 16 == 0) t += alphabet[rng() % 10] == '0' ? "e3" : " ";
        texts.push_back(t);
    }
    for (const auto& t : texts) ASSERT_TRUE(same(parseNumber(t), general(t))) << "“" << t << "”";
}

TEST(Text, ComparesWithoutRegardToCase) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"abc", "ABC", 0},      {"abc", "abd", -1},
        {"Zebra", "apple", 1},  {"", "", 0},
        {"a", "", 1},           {"", "a", -1},
        {"Ärger", "ärger", 0},  {"ÉCOLE", "école", 0},
        {"ДОМ", "дом", 0},      {"ＡＢＣ", "ａｂｃ", 0},
        {"客户A", "客户a", 0},  {"客户一", "客户二", -1},
        {"北京", "北京市", -1}, {"a中", "A丁", 1},
        {"中a", "中B", -1},
    };
    for (const auto& c : cases) {
        int r = compareNoCase(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
        int back = compareNoCase(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " vs " << c.a;
    }
}

// The byte-wise shortcuts of the comparison against its definition: the code points folded one
// by one and compared in order, on random strings of ASCII in both cases, Latin, Greek and
// Cyrillic letters, Chinese, full-width forms and characters beyond U+FFFF.
TEST(Text, ComparisonAgreesWithFoldingEveryCodePoint) {
    const std::vector<char32_t> alphabet = {
        'a',    'A',    'z',    'Z',    '0',    '_',    0xC4,   0xE4,   0xC9,   0xE9,    0x178,
        0xFF,   0x391,  0x3B1,  0x410,  0x430,  0x401,  0x451,  0x4E2D, 0x4E01, 0x5BA2,  0x6237,
        0x9FA5, 0x3000, 0xFF21, 0xFF41, 0xFF3A, 0xFF5A, 0xFF10, 0xE000, 0xF900, 0x20000, 0x1F600};
    auto utf8 = [](const std::u32string& s) {
        std::string out;
        for (char32_t c : s) appendUtf8(out, c);
        return out;
    };
    auto reference = [](const std::u32string& x, const std::u32string& y) {
        for (std::size_t k = 0; k < x.size() && k < y.size(); ++k) {
            char32_t p = foldCase(x[k]), q = foldCase(y[k]);
            if (p != q) return p < q ? -1 : 1;
        }
        return x.size() == y.size() ? 0 : x.size() < y.size() ? -1 : 1;
    };
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int n = 0; n < 200000; ++n) {
        std::u32string x, y;
        // Up to twelve characters: shared beginnings longer than eight bytes as well.
        for (int k = static_cast<int>(next() % 13); k > 0; --k)
            x += alphabet[next() % alphabet.size()];
        // Often a shared beginning, so that the difference falls inside the strings.
        y = x.substr(0, next() % (x.size() + 1));
        for (int k = static_cast<int>(next() % 4); k > 0; --k)
            y += alphabet[next() % alphabet.size()];
        int r = compareNoCase(utf8(x), utf8(y));
        ASSERT_EQ((r > 0) - (r < 0), reference(x, y)) << utf8(x) << " vs " << utf8(y);
    }
}

TEST(Text, LikeFollowsJetWildcards) {
    struct Case {
        const char* pattern;
        const char* text;
        bool match;
    } cases[] = {
        {"%文本%", "一段文本而已", true},
        {"%文本%", "文", false},
        {"B_ll", "bell", true},
        {"B_ll", "bll", false},
        {"B[ae]ll", "BALL", true},
        {"b[!ae]ll", "bell", false},
        {"b[!ae]ll", "bill", true},
        {"b[a-c]d", "bBd", true},
        {"b[a-c]d", "bdd", false},
        {"1#3", "123", true},
        {"1#3", "1a3", false},
        {"%", "", true},
        {"%%", "anything", true},
        {"", "", true},
        {"", "x", false},
        {"a*", "a*", true},
        {"a*", "abc", false},
        {"a?", "ab", false},
        {"%a%b%c", "xxaxxbxxc", true},
        {"%a%b%c", "xxaxxcxxb", false},
        {"[%]%", "%x", true},
        {"[_]", "a", false},
        {"[", "[", true},
        {"%C_1%", "abc_12", true},
        {"%100[%]%", "100% pure", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(likeMatch(c.pattern, c.text), c.match) << c.pattern << " ~ " << c.text;
}

TEST(Text, UpperAndLowerCaseOverUtf8) {
    EXPECT_EQ(toUpper("abc é ж ｚ 中"), "ABC É Ж Ｚ 中");
    EXPECT_EQ(toLower("ABC É Ж Ｚ 中"), "abc é ж ｚ 中");
    EXPECT_EQ(codePointCount("中文abc"), 5u);
}

TEST(Dates, ParseTheFormsUsersWrite) {
    struct Case {
        const char* text;
        const char* stored;  // nullptr: not a date
    } cases[] = {
        {"6/8/2009", "2009-06-08 00:00:00"},
        {"6/8/2009 13:05", "2009-06-08 13:05:00"},
        {"6/8/2009 1:05:09 PM", "2009-06-08 13:05:09"},
        {"12/31/99", "1999-12-31 00:00:00"},
        {"1/1/29", "2029-01-01 00:00:00"},
        {"2021-03-15", "2021-03-15 00:00:00"},
        {"2021/3/5 08:00:00", "2021-03-05 08:00:00"},
        {"2021-03-15 10:11:12", "2021-03-15 10:11:12"},
        {"10:30", "1899-12-30 10:30:00"},
        {"2/29/2020", "2020-02-29 00:00:00"},
        {"2/29/2021", nullptr},
        {"13/1/2020", nullptr},
        {"1/1/2020 25:00", nullptr},
        {"abc", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        auto dt = parseDateText(c.text);
        if (!c.stored) {
            EXPECT_FALSE(dt) << c.text;
        } else {
            ASSERT_TRUE(dt) << c.text;
            EXPECT_EQ(formatDateTime(*dt), c.stored) << c.text;
        }
    }
}

TEST(Dates, SerialNumbersCountDaysFrom18991230) {
    struct Case {
        double serial;
        const char* text;
    } cases[] = {
        {0, "1899-12-30 00:00:00"},       {1, "1899-12-31 00:00:00"},
        {2.5, "1900-01-01 12:00:00"},     {-1.25, "1899-12-29 06:00:00"},
        {44270, "2021-03-15 00:00:00"},   {-365, "1898-12-30 00:00:00"},
        {2958465, "9999-12-31 00:00:00"},
    };
    for (const auto& c : cases) {
        auto dt = fromSerial(c.serial);
        ASSERT_TRUE(dt) << c.serial;
        EXPECT_EQ(formatDateTime(*dt), c.text) << c.serial;
        EXPECT_DOUBLE_EQ(toSerial(*dt), c.serial) << c.text;
    }
    EXPECT_FALSE(fromSerial(1e12));
}

TEST(Values, NumbersInTheirShortestForm) {
    EXPECT_EQ(formatDouble(2.5), "2.5");
    EXPECT_EQ(formatDouble(3.0), "3");
    EXPECT_EQ(formatDouble(0.1), "0.1");
    EXPECT_EQ(formatDouble(-0.0), "0");
    EXPECT_EQ(formatSingle(0.1f), "0.1");
    EXPECT_EQ(*formatValue(Value::ofInteger(1), JetType::Bit), "-1");
    EXPECT_EQ(*formatValue(Value::ofReal(4.0), JetType::Long), "4");
    EXPECT_EQ(*formatValue(Value::ofReal(44270.5), JetType::DateTime), "2021-03-15 12:00:00");
    EXPECT_FALSE(formatValue(Value::null(), JetType::Text));
}

}  // namespace
}  // namespace qx::jet
