// The condition builder's texts and the advanced operations on a working database.
#include "advanced/condition_builder.h"
#include "advanced/operations.h"
#include "exchange/memory_import.h"
#include "platform/work/progress.h"
#include "unit/exchange/session_fixture.h"

#include <fstream>

namespace qx::advanced {
namespace {

ui::MemoryGrid conditionGrid(std::initializer_list<std::vector<std::string>> rows) {
    ui::MemoryGrid g(static_cast<int>(rows.size()) + 1, 5);
    int r = 1;
    for (const auto& row : rows) {
        for (int c = 0; c < 5; ++c) g.setText(r, c, row[static_cast<std::size_t>(c)]);
        ++r;
    }
    return g;
}

TEST(ConditionBuilder, TextsAsTheRowsSpellThem) {
    EXPECT_EQ(joinerWord("或者"), "or");
    EXPECT_EQ(joinerWord("并且"), "and");
    EXPECT_EQ(joinerWord(""), " ");
    EXPECT_EQ(joinerWord("and"), " ");
    auto g =
        conditionGrid({{"", "1_1", "F1", ">", "288"}, {"并且", "1_1", "F2", "like", "'%文本%'"}});
    EXPECT_EQ(buildConditionText(g), "  [1_1].F1 > 288 and [1_1].F2 like '%文本%' ");
    auto nulls = conditionGrid({{"", "1_1", "F1", "Is Null", ""}});
    EXPECT_EQ(buildConditionText(nulls), "  [1_1].F1 Is Null  ");
    auto between = conditionGrid({{"", "t", "c", "Between", "50 and 100"}});
    EXPECT_EQ(buildConditionText(between), "  [t].c Between 50 and 100 ");
    auto free = conditionGrid({{"", "1_1", "F9", kFreeCondition, "[1_1].F1=[2_1].F1"}});
    EXPECT_EQ(buildConditionText(free), "  [1_1].F1=[2_1].F1 ");
    auto empty = conditionGrid({{"", "", "", "", ""}});
    EXPECT_EQ(buildConditionText(empty), "  [].   ");
    ui::MemoryCheckBox skip;
    EXPECT_EQ(wherePart(free, skip), " where (  [1_1].F1=[2_1].F1 )");
    skip.setChecked(true);
    EXPECT_EQ(wherePart(free, skip), "");

    EXPECT_EQ(operatorHelp("Is Null"), "Is Null 表示没有值，此时不需要输入任何字符");
    EXPECT_EQ(operatorHelp("is null"), "");
    for (const char* op : {">", "<", "=", "<>", ">=", "<=", "like", "not like", "Is Not Null", "In",
                           "not in", "Between", kFreeCondition})
        EXPECT_EQ(operatorHelp(op).rfind(op == std::string(kFreeCondition)
                                             ? std::string("如果您熟悉jet-sql语句")
                                             : std::string(op),
                                         0),
                  0u)
            << op;
    EXPECT_NE(
        operatorHelp("like").find("# 匹配任意单个数字字符 如 like 1#3 可以找到103、113、123等"),
        std::string::npos);
}

TEST(ConditionBuilder, FromSetAndSpanningTables) {
    EXPECT_EQ(queryFromPart({"1_1"}), "1_1");
    EXPECT_EQ(queryFromPart({"1_1", "2_1", "3_1"}),
              "((1_1  left join 2_1 on [1_1].access_临时id = [2_1].access_临时id) left join 3_1 "
              "on [2_1].access_临时id = [3_1].access_临时id)");
    ui::MemoryGrid update(3, 4);
    ui::MemoryListBox tables;
    tables.addItem("1_1");
    tables.addItem("2_1");
    bool cancel = false;
    beforeEditAssignment(update, tables, 1, 0, cancel);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(update.colComboList(0), "|1_1|2_1");
    EXPECT_EQ(update.text(1, 2), "=");
    beforeEditAssignment(update, tables, 2, 0, cancel);
    EXPECT_TRUE(cancel);
    update.setRows(2);
    addAssignmentRow(update);
    update.setText(1, 1, "[1_1].F2");
    update.setText(1, 3, "'x'");
    update.setText(2, 1, "[1_1].F3");
    update.setText(2, 3, "5");
    EXPECT_EQ(setPart(update), " set [1_1].F2='x',[1_1].F3=5");

    auto own = conditionGrid({{"", "2_1", "F1", "=", "'1_1'"}, {"并且", "1_1", "F1", "=", "3"}});
    EXPECT_TRUE(conditionsSpanTables(own, {"1_1", "2_1"}));  // 1_1 in a 2_1 row's value
    auto alone = conditionGrid({{"", "1_1", "F2", "Is Null", ""}});
    EXPECT_FALSE(conditionsSpanTables(alone, {"1_1", "2_1"}));
}

class AdvancedTest : public testing::SessionTest, protected exchange::MemoryImportControls {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        open_.queue(path("source.csv"));
        open_.showOpen();
        run({"create table 1_1 (F1 long, F2 varchar(10))", "insert into 1_1 values (1, 'a')",
             "insert into 1_1 values (2, 'b')", "insert into 1_1 values (3, Null)",
             "create table 2_1 (F1 long, F3 varchar(10))", "insert into 2_1 values (2, 'x')",
             "insert into 2_1 values (3, 'y')"});
        for (const char* t : {"1_1", "2_1"}) tables.addItem(t);
        for (ui::MemoryListBox* l : {&files, &mirror}) {
            l->addItem("a.csv");
            l->addItem("b.csv");
            l->setSelectedIndex(0);
        }
        tables.setSelectedIndex(0);
    }
    ui::MemoryCheckBox skip;
    ui::MemoryListBox results;
    ui::MemoryGrid update{2, 4}, target{2, 1};
    ui::MemoryGrid condition{2, 5};
    exchange::ImportPage& import = MemoryImportControls::page;
    AdvancedPage page{import, condition, skip, &results, &update, &target};

    void setCondition(const std::vector<std::string>& row) {
        for (int c = 0; c < 5; ++c) condition.setText(1, c, row[static_cast<std::size_t>(c)]);
    }
    std::vector<std::string> workingTables() { return database_->listTables(store::Flavour::Jet); }
};

TEST_F(AdvancedTest, QueryPairsRowsByPosition) {
    results.addItem("1_1.F2");
    results.addItem("2_1.F3");
    setCondition({"", "1_1", "F1", ">", "1"});
    save_.queue(path("q.csv"));
    exportLastResult(*session_, AdvancedKind::Query, page);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kSavedDone});
    EXPECT_EQ(query("select * from 高级查询"), (std::vector<std::string>{"b|y", "|"}));
    EXPECT_EQ(readFile("q.csv"),
              "\xEF\xBB\xBF"
              "F2,F3\r\nb,y\r\n,\r\n");
    // An empty select list is refused, and said so.
    results.clear();
    save_.queue(path("q.csv"));
    exportLastResult(*session_, AdvancedKind::Query, page);
    EXPECT_EQ(messages_.shown().back().rfind(exchange::kOperationFailed, 0), 0u);
    EXPECT_NE(readFile("q.csv").find("b,y"), std::string::npos);
}

TEST_F(AdvancedTest, LeftJoinChainKeepsTheFirstTablesRows) {
    // Tables of 5, 3 and 7 rows: the first's five rows; the others' columns empty past their
    // ends, and the third joined on the second's row numbers, so its rows 4 to 7 never appear.
    run({"create table a (x long)", "create table b (y long)", "create table c (z long)"});
    for (int i = 1; i <= 7; ++i) {
        if (i <= 5) run({"insert into a values (" + std::to_string(i) + ")"});
        if (i <= 3) run({"insert into b values (" + std::to_string(10 * i) + ")"});
        run({"insert into c values (" + std::to_string(100 * i) + ")"});
    }
    tables.clear();
    for (const char* t : {"a", "b", "c"}) tables.addItem(t);
    for (const char* r : {"a.x", "b.y", "c.z"}) results.addItem(r);
    skip.setChecked(true);
    save_.queue(path("chain.csv"));
    exportLastResult(*session_, AdvancedKind::Query, page);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kSavedDone});
    EXPECT_EQ(query("select * from 高级查询"),
              (std::vector<std::string>{"1|10|100", "2|20|200", "3|30|300", "4||", "5||"}));
    // The same again gives the same file.
    std::string first = readFile("chain.csv");
    save_.queue(path("chain.csv"));
    exportLastResult(*session_, AdvancedKind::Query, page);
    EXPECT_EQ(readFile("chain.csv"), first);
}

TEST_F(AdvancedTest, UpdateSavesTheChangeAndRestoresTheTables) {
    update.setText(1, 0, "1_1");
    update.setText(1, 1, "[1_1].F2");
    update.setText(1, 2, "=");
    update.setText(1, 3, "[2_1].F3");
    setCondition({"", "1_1", "F1", "=", "[2_1]![F1]"});
    save_.queue(path("u.csv"));
    exportLastResult(*session_, AdvancedKind::Update, page);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kUpdateDone});
    EXPECT_EQ(readFile("u.csv"),
              "\xEF\xBB\xBF"
              "F1,F2\r\n1,a\r\n2,x\r\n3,y\r\n");
    EXPECT_EQ(query("select * from 1_1"), (std::vector<std::string>{"1|a", "2|b", "3|"}));
    EXPECT_EQ(workingTables(), (std::vector<std::string>{"1_1", "2_1"}));
    EXPECT_EQ(database_->listColumns("1_1", store::Flavour::Jet),
              (std::vector<std::string>{"F1", "F2"}));

    // A refused update: the reason, the tables as they were, no copies left.
    update.setText(1, 3, "nosuchcolumn");
    save_.queue(path("u.csv"));
    exportLastResult(*session_, AdvancedKind::Update, page);
    EXPECT_EQ(messages_.shown().back().rfind(exchange::kOperationFailed, 0), 0u);
    EXPECT_EQ(query("select * from 1_1"), (std::vector<std::string>{"1|a", "2|b", "3|"}));
    EXPECT_EQ(workingTables(), (std::vector<std::string>{"1_1", "2_1"}));
    EXPECT_NE(readFile("u.csv").find("2,x"), std::string::npos);
}

// Cancelled while the changed table is exported: the tables as they were, no copies left, the
// earlier result file untouched, and the user told so.
TEST_F(AdvancedTest, ACancelledUpdateLeavesTheTablesAndTheFileAsTheyWere) {
    update.setText(1, 0, "1_1");
    update.setText(1, 1, "[1_1].F2");
    update.setText(1, 2, "=");
    update.setText(1, 3, "[2_1].F3");
    setCondition({"", "1_1", "F1", "=", "[2_1]![F1]"});
    {
        std::ofstream old(path("u.csv"), std::ios::binary);
        old << "old";
    }
    busy_.onReport = [](work::Progress& p) {
        if (p.snapshot().stage == work::Stage::Exporting) p.cancel();
    };
    save_.queue(path("u.csv"));
    exportLastResult(*session_, AdvancedKind::Update, page);
    busy_.onReport = nullptr;
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{work::kCancelled});
    EXPECT_EQ(readFile("u.csv"), "old");
    EXPECT_EQ(query("select * from 1_1"), (std::vector<std::string>{"1|a", "2|b", "3|"}));
    EXPECT_EQ(workingTables(), (std::vector<std::string>{"1_1", "2_1"}));
    EXPECT_EQ(database_->listColumns("1_1", store::Flavour::Jet),
              (std::vector<std::string>{"F1", "F2"}));

    // The next run works as if the cancelled one had never been.
    messages_.clear();
    save_.queue(path("u.csv"));
    exportLastResult(*session_, AdvancedKind::Update, page);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kUpdateDone});
    EXPECT_NE(readFile("u.csv").find("2,x"), std::string::npos);
}

TEST_F(AdvancedTest, DeleteFromOneTableOrAcrossTables) {
    target.setText(1, 0, "1_1");
    setCondition({"", "1_1", "F2", "Is Null", ""});
    save_.queue(path("d.csv"));
    exportLastResult(*session_, AdvancedKind::Delete, page);
    EXPECT_EQ(readFile("d.csv"),
              "\xEF\xBB\xBF"
              "F1,F2\r\n1,a\r\n2,b\r\n");
    setCondition({"", "1_1", "F1", "=", "[2_1]![F1]"});
    save_.queue(path("d.csv"));
    exportLastResult(*session_, AdvancedKind::Delete, page);
    EXPECT_EQ(messages_.shown(), (std::vector<std::string>{kSavedDone, kSavedDone}));
    EXPECT_EQ(readFile("d.csv"),
              "\xEF\xBB\xBF"
              "F1,F2\r\n1,a\r\n");
    EXPECT_EQ(query("select count(*) from 1_1"), std::vector<std::string>{"3"});
    // No table chosen: the engine's refusal is reported.
    target.setText(1, 0, "");
    save_.queue(path("d.csv"));
    exportLastResult(*session_, AdvancedKind::Delete, page);
    EXPECT_EQ(messages_.shown().back().rfind(exchange::kOperationFailed, 0), 0u);
    EXPECT_EQ(workingTables(), (std::vector<std::string>{"1_1", "2_1"}));
}

TEST_F(AdvancedTest, BuilderFollowsTheRowsTable) {
    ui::MemoryEditBox help;
    bool cancel = false;
    condition.setText(1, 1, "2_1");
    beforeEditCondition(*session_, import, condition, help, 1, 2, cancel);
    EXPECT_EQ(mirror.selectedIndex(), 1);
    EXPECT_EQ(files.selectedIndex(), 1);
    EXPECT_EQ(condition.colComboList(2), "|F1|F3");
    EXPECT_EQ(structure.rows(), 3);
    beforeEditCondition(*session_, import, condition, help, 1, 0, cancel);
    EXPECT_TRUE(cancel);
    condition.setText(1, 3, "not like");
    beforeEditCondition(*session_, import, condition, help, 1, 4, cancel);
    EXPECT_EQ(help.text(), "not like 表示不匹配、不类似，与like 意思相反。具体请参见like用法");
    columns.setSelectedIndex(1);
    condition.click(1, 4);
    insertColumnReference(import, condition);
    EXPECT_EQ(condition.text(1, 4), "[2_1]![F3]");
    addConditionRow(condition);
    EXPECT_EQ(condition.rows(), 3);
    removeConditionRow(condition);
    removeConditionRow(condition);
    EXPECT_EQ(condition.rows(), 1) << "down to the header alone";
    removeConditionRow(condition);
    EXPECT_EQ(condition.rows(), 1);
}

}  // namespace
}  // namespace qx::advanced
