// The .test runner must catch wrong expectations, not only run statements.
#include <gtest/gtest.h>

#include <sstream>

#include "runner/sqltest.h"
#include "unit/test_dir.h"

namespace qx::sqltest {
namespace {

using qx::testing::TestDir;
using qx::testing::writeFile;

Tally runText(const std::string& text, std::string& output, Options options = {}) {
    TestDir dir;
    auto file = dir / "case.test";
    writeFile(file, text);
    std::ostringstream out;
    Tally t = runFile(file, options, out);
    output = out.str();
    return t;
}

TEST(SqlTestRunner, CountsRecordsThatHoldAndThatDoNot) {
    std::string out;
    Tally t = runText(
        "# comment\n"
        "statement ok\ncreate table t (a varchar(10), b long)\n\n"
        "statement ok\ninsert into t values ('', NULL)\n\n"
        "statement ok\ninsert into t values ('x', 2)\n\n"
        "query rowsort\nselect a, b from t\n----\nx|2\n(empty)|NULL\n\n"
        "query\nselect a, b from t\n----\nx|2\n(empty)|NULL\n\n"
        "statement error 找不到\nselect * from nosuch\n\n"
        "statement error\ncreate table t (a long)\n\n"
        "statement ok\nselect * from nosuch\n\n"
        "fields t\n----\na|202|10\nb|3|2\n\n"
        "tables\n----\nt\nu\n\n"
        "query\nselect count(*) from t\n----\n\n",
        out);
    EXPECT_EQ(t.passed, 6);
    EXPECT_EQ(t.failed, 5) << out;
    EXPECT_NE(out.find("case.test:17:"), std::string::npos) << out;  // unsorted order differs
    EXPECT_NE(out.find("case.test:29: statement failed"), std::string::npos) << out;
}

TEST(SqlTestRunner, ChecksFilesAndExpandsVariables) {
    TestDir tmp;
    writeFile(tmp / "out.txt",
              "\xEF\xBB\xBF"
              "a\r\nb\n");
    Options options;
    options.tmp = tmp.path();
    std::string out;
    Tally t = runText(
        "exists $TMP/out.txt\n\n"
        "absent $TMP/none.txt\n\n"
        "exists $PROGDIR/结果表.mdb\n\n"
        "textfile $TMP/out.txt\n----\na\nb\n\n"
        "textfile $TMP/out.txt\n----\na\n\n"
        "absent $TMP/out.txt\n",
        out, options);
    EXPECT_EQ(t.passed, 4) << out;
    EXPECT_EQ(t.failed, 2) << out;
    Options ace;
    ace.flavour = "accdb";
    t = runText("exists $PROGDIR/结果表.accdb\n", out, ace);
    EXPECT_EQ(t.passed, 1) << out;
}

}  // namespace
}  // namespace qx::sqltest
