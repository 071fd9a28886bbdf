// Comparison without regard to case, LIKE with Jet's wildcards, and dates.
#include <gtest/gtest.h>

#include "platform/jet/text.h"
#include "platform/jet/types.h"

namespace qx::jet {
namespace {

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
