// The two-table operations and the save frame, run on a working database with in-memory controls.
#include "compare/comparisons.h"

#include "exchange/save_frame.h"
#include "unit/exchange/session_fixture.h"

namespace qx::compare {
namespace {

TEST(ExportStatement, EveryKindInEachStyle) {
    using exchange::exportStatement;
    const std::string p = "/out/结果.xls", r = "表二中不含表一数";
    EXPECT_EQ(exportStatement(exchange::kCompareStyle, "xlsx", p, r),
              "SELECT * INTO   [Excel 12.0;DATABASE=/out/结果.xls].[表二中不含表一数] FROM "
              "表二中不含表一数");
    EXPECT_EQ(exportStatement(exchange::kCompareStyle, "xls", p, r),
              "SELECT * INTO   [Excel 8.0;DATABASE=/out/结果.xls].[表二中不含表一数] FROM "
              "表二中不含表一数");
    EXPECT_EQ(exportStatement(exchange::kCompareStyle, "csv", "/out/result.csv", r),
              "SELECT * INTO [Text;DATABASE=/out/].result.csv FROM  表二中不含表一数");
    EXPECT_EQ(exportStatement(exchange::kCompareStyle, "mdb", "/out/a.mdb", r),
              "SELECT * INTO   [;DATABASE=/out/a.mdb].表二中不含表一数 FROM 表二中不含表一数");
    EXPECT_EQ(exportStatement(exchange::kCompareStyle, "dbf", "/out/result.dbf", r),
              "SELECT * INTO [DBASE III;DATABASE=/out].result.dbf FROM  表二中不含表一数");
    EXPECT_EQ(exportStatement(exchange::kCommonStyle, "mdb", "/o/a.mdb", "表一表二共有数"),
              "SELECT * INTO [;DATABASE=/o/a.mdb].表一表二共有数 FROM  表一表二共有数");
    EXPECT_EQ(exportStatement(exchange::kCommonStyle, "dbf", "/o/a.dbf", "R"),
              "SELECT * INTO [Dbase III;DATABASE=/o].a.dbf FROM  R");
    EXPECT_EQ(exportStatement(exchange::kSingleStyle, "txt", "/o/a.txt", "R"),
              "SELECT * INTO [Text;DATABASE=/o/].a.txt FROM R");
    EXPECT_EQ(exportStatement(exchange::kQueryStyle, "xls", "/o/a.xls", "R"),
              "SELECT * INTO [Excel 8.0;DATABASE=/o/a.xls].[R] FROM R");
    EXPECT_EQ(exportStatement(exchange::kQueryStyle, "dbf", "/o/a.dbf", "R"),
              "SELECT * INTO [DBASE III;DATABASE=/o].a.dbf FROM  R");
    EXPECT_EQ(exportStatement(exchange::kQueryStyle, "", "/o/a.x", "R"), "");
    EXPECT_EQ((exchange::SaveTarget{"/o/a.XLS", false}.kind()), "xls");
    EXPECT_EQ((exchange::SaveTarget{"/o/a.xls", true}.kind()), "xlsx");
    EXPECT_EQ((exchange::SaveTarget{"/o/a.xlsm", false}.kind()), "");
}

class CompareTest : public testing::SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        open_.queue(path("source.csv"));  // the flavour: not xlsx mode
        open_.showOpen();
        run({"create table 1_1 (k varchar(20), a varchar(20))",
             "create table 2_1 (k varchar(20), b varchar(20))",
             "insert into 1_1 values ('x', 'a1')", "insert into 1_1 values ('O''Neil', 'a2')",
             "insert into 1_1 values ('50%', 'a3')", "insert into 1_1 values (Null, 'a4')",
             "insert into 2_1 values ('X', 'b1')", "insert into 2_1 values ('y', 'b2')",
             "insert into 2_1 values (Null, 'b3')", "insert into 2_1 values ('''', 'b4')"});
        files.addItem("source.csv");
        files.setSelectedIndex(0);
    }
    void setColumns(std::initializer_list<const char*> refs) {
        results.clear();
        for (const char* r : refs) results.addItem(r);
    }
    ui::MemoryListBox results, files;
};

TEST_F(CompareTest, AbsentAndCommonRows) {
    setColumns({"2_1.b"});
    save_.queue(path("two.csv"));
    absentRows(*session_, true, results, "1_1.k", "2_1.k", files);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kCompared});
    // Case is ignored; the Null key stays.
    EXPECT_EQ(query("select b from 表二中不含表一数 order by b"),
              (std::vector<std::string>{"b2", "b3", "b4"}));
    EXPECT_NE(readFile("two.csv").find("b\r\nb2\r\n"), std::string::npos);

    messages_.clear();
    setColumns({"1_1.a", "2_1.b"});
    save_.queue(path("common.csv"));
    commonRows(*session_, results, "1_1.k", "2_1.k", files);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kCompared});
    EXPECT_EQ(query("select * from 表一表二共有数"), std::vector<std::string>{"a1|b1"});

    // The kept table's rows only: a column of the looked-up table is refused, left selected.
    messages_.clear();
    setColumns({"1_1.a", "2_1.b"});
    absentRows(*session_, false, results, "1_1.k", "2_1.k", files);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kNoColumnsOfTableTwo});
    EXPECT_EQ(results.selectedIndex(), 1);
}

TEST_F(CompareTest, FailureKeepsTheFileAndSaysWhy) {
    writeFile("keep.csv", "old\r\n");
    writeFile("keep.xls", "old workbook");
    // A column of a third table: the statement is refused, the files stay as they were.
    setColumns({"3_1.z"});
    for (const char* name : {"keep.csv", "keep.xls"}) {
        messages_.clear();
        save_.queue(path(name));
        absentRows(*session_, true, results, "1_1.k", "2_1.k", files);
        ASSERT_EQ(messages_.shown().size(), 1u);
        EXPECT_EQ(messages_.shown()[0].rfind(exchange::kOperationFailed, 0), 0u)
            << messages_.shown()[0];
    }
    EXPECT_EQ(readFile("keep.csv"), "old\r\n");
    EXPECT_EQ(readFile("keep.xls"), "old workbook");
    EXPECT_FALSE(busy_.isVisible());
    // A good run replaces the workbook in one step; no staging file is left.
    messages_.clear();
    setColumns({"2_1.b"});
    save_.queue(path("keep.xls"));
    absentRows(*session_, true, results, "1_1.k", "2_1.k", files);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kCompared});
    EXPECT_NE(readFile("keep.xls"), "old workbook");
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) files += e.is_regular_file();
    EXPECT_EQ(files, 2);  // keep.csv and keep.xls
}

TEST_F(CompareTest, SimilarRowsTakeQuotesAndWildcards) {
    run({"insert into 2_1 values ('%', 'b5')"});
    setColumns({"1_1.a"});
    save_.queue(path("similar.txt"));
    similarRows(*session_, results, "1_1.k", "2_1.k", files);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kSimilarDone});
    // X finds x; "'" finds O'Neil; "%" matches every non-Null key; Null finds nothing.
    EXPECT_EQ(query("select a from 表一和表二的相似数 order by a"),
              (std::vector<std::string>{"a1", "a1", "a2", "a2", "a3"}));
    // The pass over table one's four rows (counted at first as a third of the work), then the
    // two rows it found and the LIKE of "%", a scan of table one.
    EXPECT_EQ(progress_.percents(), (std::vector<int>{8, 17, 25, 33, 56, 100}));
    EXPECT_FALSE(progress_.isVisible());

    messages_.clear();
    setColumns({"2_1.b"});
    similarRows(*session_, results, "1_1.k", "2_1.k", files);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kNoColumnsOfTableTwo});
}

TEST_F(CompareTest, SimilarRowsInTheOrderOfOneLikePerValue) {
    // Table one's values and table two's, mixed: case, Chinese, empty text, wildcards, quotes,
    // repeats, Null; the rows must come exactly as one LIKE per table-two row gives them, table
    // one in stored order. Through the button's handler, which indexes the compare columns
    // first: a scan through idx1 would bring table one in key order.
    const char* pieces[] = {"ab", "AB", "b", "张", "三", "x_", "%", "'", "Äb", "äB", "", "q"};
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) % 12; };
    run({"create table 3_1 (n long, k varchar(40), w varchar(10))",
         "create table 4_1 (v varchar(40), u long)"});
    for (int i = 0; i < 120; ++i) {
        std::string k = std::string(pieces[next()]) + pieces[next()] + pieces[next()];
        std::string quoted;
        for (char c : k) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        run({"insert into 3_1 values (" + std::to_string(i) + ", " +
             (i % 17 == 0 ? std::string("Null") : "'" + quoted + "'") + ", 'w')"});
    }
    std::vector<std::string> expectedN, expectedK;
    for (int i = 0; i < 40; ++i) {
        std::string v = pieces[next()];
        if (i % 5 == 0) v += pieces[next()];
        std::string quoted;
        for (char c : v) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        run({"insert into 4_1 values (" + (i == 7 ? std::string("Null") : "'" + quoted + "'") +
             ", 1)"});
        if (i == 7) continue;
        std::string where = " from 3_1 where ([3_1].k like '%" + quoted + "%' ) order by _rowid_";
        for (const auto& row : query("select n" + where)) expectedN.push_back(row);
        for (const auto& row : query("select k" + where)) expectedK.push_back(row);
    }
    ui::MemoryGrid grid(2, 2);
    grid.setText(1, 0, "3_1.k");
    grid.setText(1, 1, "4_1.v");
    // A wider select list, and the compare column alone (which idx1 covers).
    setColumns({"3_1.n"});
    save_.queue(path("similar.csv"));
    runComparison(*session_, Comparison::Similar, results, grid, files);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kSimilarDone});
    EXPECT_EQ(query("select n from 表一和表二的相似数"), expectedN);
    EXPECT_GT(expectedN.size(), 100u);
    setColumns({"3_1.k"});
    save_.queue(path("similar.csv"));
    runComparison(*session_, Comparison::Similar, results, grid, files);
    EXPECT_EQ(query("select k from 表一和表二的相似数"), expectedK);
    EXPECT_EQ(database_->listTables(store::Flavour::Jet).size(), 5u);  // no helper table left
}

// The progress window follows the work: the pass over table one, then the insertion of what it
// found; the bar is full only when the result table is.
TEST_F(CompareTest, SimilarRowsProgressFollowsTheWork) {
    run({"create table 3_1 (k varchar(20))", "create table 4_1 (v varchar(20))"});
    for (int i = 0; i < 300; ++i)
        run({"insert into 3_1 values ('k" + std::to_string(i % 30) + "')"});
    for (int i = 0; i < 3; ++i) run({"insert into 4_1 values ('k" + std::to_string(i) + "')"});
    std::vector<std::pair<int, std::size_t>> seen;  // percent, rows in the result by then
    progress_.onPercent = [&](int percent) {
        seen.emplace_back(percent,
                          std::stoul(query("select count(*) from 表一和表二的相似数").at(0)));
    };
    setColumns({"3_1.k"});
    save_.queue(path("similar.csv"));
    similarRows(*session_, results, "3_1.k", "4_1.v", files);
    ASSERT_FALSE(seen.empty());
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1].first, seen[i].first);
    // k0 ten times; k1 and k10…k19, k2 and k20…k29 ten times each.
    EXPECT_EQ(seen.back(), std::make_pair(100, std::size_t{230}));
    // The bar moved while table one was read, before any row was inserted.
    EXPECT_GT(seen.size(), 20u);
    EXPECT_EQ(seen[seen.size() / 2].second, 0u);
}

TEST_F(CompareTest, HandlerChecksAndIndexes) {
    ui::MemoryGrid grid(2, 2);
    runComparison(*session_, Comparison::Common, results, grid, files);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kNoResultColumns});
    messages_.clear();
    setColumns({"1_1.a"});
    grid.setText(1, 0, "1_1.k");
    runComparison(*session_, Comparison::Common, results, grid, files);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kNoCompareColumns});
    EXPECT_EQ(save_.shown(), 0);
    messages_.clear();
    grid.setText(1, 1, "2_1.k");
    save_.queue(path("c.csv"));
    runComparison(*session_, Comparison::Common, results, grid, files);
    save_.queue(path("c.csv"));
    runComparison(*session_, Comparison::Common, results, grid, files);
    EXPECT_EQ(messages_.shown(), (std::vector<std::string>{kCompared, kCompared}));
    save_.queue(path("c.abc"));
    runComparison(*session_, Comparison::Common, results, grid, files);
    EXPECT_EQ(messages_.shown().back(), exchange::kSaveFailed);
    EXPECT_EQ(buildSelectList(results), "[1_1].a");
    setColumns({"A.x", "B.y"});
    EXPECT_EQ(buildSelectList(results), "[A].x,[B].y");
}

}  // namespace
}  // namespace qx::compare
