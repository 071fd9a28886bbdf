// The key sets that answer x [NOT] IN (SELECT y FROM t WHERE y = x): a value is found exactly
// when SQLite's comparison of a text column declared with JETCI finds an equal value.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/jet/key_sets.h"
#include "platform/jet/text.h"

namespace qx::jet {
namespace {

// Values as SQLite hands them to a function: made by a statement, kept as copies.
class Values {
  public:
    Values() { sqlite3_open(":memory:", &db_); }
    ~Values() {
        for (auto* v : kept_) sqlite3_value_free(v);
        sqlite3_close(db_);
    }
    sqlite3_value* text(const std::string& s) {
        return make([&](sqlite3_stmt* st) {
            sqlite3_bind_text(st, 1, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        });
    }
    sqlite3_value* blob(const std::string& s) {
        return make([&](sqlite3_stmt* st) {
            sqlite3_bind_blob(st, 1, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        });
    }
    sqlite3_value* integer(sqlite3_int64 i) {
        return make([&](sqlite3_stmt* st) { sqlite3_bind_int64(st, 1, i); });
    }
    sqlite3_value* real(double d) {
        return make([&](sqlite3_stmt* st) { sqlite3_bind_double(st, 1, d); });
    }
    sqlite3_value* null() {
        return make([](sqlite3_stmt* st) { sqlite3_bind_null(st, 1); });
    }

  private:
    template <typename Bind>
    sqlite3_value* make(Bind bind) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, "SELECT ?1", -1, &st, nullptr);
        bind(st);
        sqlite3_step(st);
        sqlite3_value* v = sqlite3_value_dup(sqlite3_column_value(st, 0));
        sqlite3_finalize(st);
        kept_.push_back(v);
        return v;
    }
    sqlite3* db_ = nullptr;
    std::vector<sqlite3_value*> kept_;
};

// Random texts of pieces that fold alike or not at all, with bytes that are not UTF-8 among
// them (a lone lead or continuation byte, an encoded surrogate, overlong forms, which decode to
// characters that well-formed texts hold: "\xC1\x81" is A).
TEST(KeySets, TextsAreFoundExactlyWhenTheCollationFindsAnEqualOne) {
    const std::vector<std::string> pieces = {"a",        "A",
                                             "b",        "ä",
                                             "Ä",        "σ",
                                             "Σ",        "д",
                                             "Д",        "ａ",
                                             "Ａ",       "ÿ",
                                             "Ÿ",        "ł",
                                             "Ł",        "张",
                                             "😀",        " ",
                                             "1",        "\xC3",
                                             "\x80",     "\xED\xB2\x80",
                                             "\xC0\x80", "\xF5\x80\x80\x80",
                                             "\xE4\xB8", "Ω",
                                             "\xC1\x81", std::string(1, '\0')};
    std::mt19937 rnd(7);
    auto randomText = [&] {
        std::string s;
        int n = static_cast<int>(rnd() % 4);
        for (int k = 0; k < n; ++k) s += pieces[rnd() % pieces.size()];
        return s;
    };
    for (int round = 0; round < 20; ++round) {
        Values values;
        KeySet set;
        std::vector<std::string> inner;
        for (int k = 0; k < 150; ++k) {
            inner.push_back(randomText());
            set.add(values.text(inner.back()));
        }
        std::string folded;
        int found = 0;
        for (int k = 0; k < 600; ++k) {
            std::string x = randomText();
            bool equal = false;
            for (const auto& y : inner) equal = equal || compareNoCase(y, x) == 0;
            KeySet::Found f = set.find(values.text(x));
            if (f == KeySet::Found::AskEngine) {
                EXPECT_FALSE(foldWellFormed(x, folded)) << x;
                continue;
            }
            EXPECT_EQ(f == KeySet::Found::Yes, equal) << x;
            found += equal;
        }
        EXPECT_GT(found, 0);
    }
}

TEST(KeySets, NumbersBinaryValuesAndNullCompareAsSQLiteComparesThem) {
    Values v;
    KeySet set;
    set.add(v.integer(1));
    set.add(v.real(2.5));
    set.add(v.real(-0.0));
    set.add(v.integer(9007199254740993));  // 2^53 + 1: no double is it
    set.add(v.blob("ab"));
    set.add(v.null());
    set.add(v.text("x"));
    auto found = [&](sqlite3_value* x) { return set.find(x) == KeySet::Found::Yes; };
    EXPECT_TRUE(found(v.real(1.0)));
    EXPECT_TRUE(found(v.integer(1)));
    EXPECT_TRUE(found(v.real(2.5)));
    EXPECT_FALSE(found(v.integer(2)));
    EXPECT_TRUE(found(v.integer(0)));
    EXPECT_TRUE(found(v.real(0.0)));
    EXPECT_FALSE(found(v.real(9007199254740992.0)));
    EXPECT_TRUE(found(v.integer(9007199254740993)));
    EXPECT_TRUE(found(v.blob("ab")));
    EXPECT_FALSE(found(v.blob("AB")));  // bytes, not the collation
    EXPECT_FALSE(found(v.text("ab")));  // a text is never a binary value
    EXPECT_FALSE(found(v.text("1")));   // nor a number
    EXPECT_TRUE(found(v.text("X")));
    EXPECT_FALSE(found(v.null()));
}

}  // namespace
}  // namespace qx::jet
