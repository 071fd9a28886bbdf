// The single-table operations on a working database with in-memory controls.
#include "single/single_table.h"

#include "exchange/save_frame.h"
#include "unit/exchange/session_fixture.h"

namespace qx::single {
namespace {

class SingleTest : public testing::SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        open_.queue(path("source.csv"));
        open_.showOpen();
        run({"create table 1_1 (Id varchar(10), 城市 varchar(10), 金额 double, 备注 varchar(10))",
             "insert into 1_1 values ('a', '北京', 1.5, 'x')",
             "insert into 1_1 values ('b', Null, 2, Null)",
             "insert into 1_1 values ('c', '北京', Null, 'y')",
             "insert into 1_1 values ('d', Null, 4, 'x')",
             "insert into 1_1 values ('e', '上海', Null, 'x')"});
        for (ui::MemoryListBox* l : {&files, &statusFiles}) {
            l->addItem("source.csv");
            l->setSelectedIndex(0);
        }
        tables.addItem("1_1");
        tables.setSelectedIndex(0);
        structure.setText(2, 1, "文本");
        structure.setText(3, 1, "双精度型数字");
    }
    ui::MemoryListBox files, statusFiles, tables;
    ui::MemoryGrid structure{5, 3};
    ui::MemoryButton read{false};
    SingleTablePage page{files, statusFiles, tables, structure, read};

    ui::MemoryListBox columnList(int selected) {
        ui::MemoryListBox list;
        fillDialogColumns(*session_, page, list);
        list.setSelectedIndex(selected);
        return list;
    }
};

TEST_F(SingleTest, MergeCountAndSumGroupNullsTogether) {
    auto city = columnList(1);
    EXPECT_EQ(city.items(), (std::vector<std::string>{"Id", "城市", "金额", "备注"}));
    save_.queue(path("count.csv"));
    EXPECT_TRUE(confirmMergeCount(*session_, page, city));
    EXPECT_EQ(query("select * from 合并相同行统计笔数 order by 笔数, 城市"),
              (std::vector<std::string>{"上海|1", "|2", "北京|2"}));

    auto none = columnList(-1);
    auto amount = columnList(2);
    EXPECT_FALSE(confirmMergeSum(*session_, page, none, none));
    EXPECT_FALSE(confirmMergeSum(*session_, page, city, none));
    EXPECT_FALSE(confirmMergeSum(*session_, page, city, city));  // 城市 is text
    EXPECT_EQ(messages_.shown(),
              (std::vector<std::string>{kSaved, kNoMergeColumn, kNoSumColumn, kSumTypeMessage}));
    save_.queue(path("sum.csv"));
    EXPECT_TRUE(confirmMergeSum(*session_, page, city, amount));
    EXPECT_EQ(query("select * from 合并相同行值相加 order by 城市"),
              (std::vector<std::string>{"|6|2", "上海||1", "北京|1.5|2"}));
}

TEST_F(SingleTest, DedupKeepsTheUsersIdColumn) {
    EXPECT_EQ(numberingColumn({"a", "ID", "id1"}), "id2");
    EXPECT_EQ(numberingColumn({"a"}), "id");
    auto remark = columnList(3);
    save_.queue(path("first.csv"));
    EXPECT_TRUE(confirmDedupByColumn(*session_, page, remark));
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kDeleted});
    EXPECT_EQ(query("select Id, 备注 from 去所选重复结果 order by Id"),
              (std::vector<std::string>{"a|x", "b|", "c|y"}));
    EXPECT_EQ(query("select * from 1_1 where Id = 'a'"), std::vector<std::string>{"a|北京|1.5|x"});
    // Again: the same result; the table keeps exactly its own columns.
    save_.queue(path("first.csv"));
    EXPECT_TRUE(confirmDedupByColumn(*session_, page, remark));
    EXPECT_EQ(query("select count(*) from 去所选重复结果"), std::vector<std::string>{"3"});
    EXPECT_EQ(database_->listColumns("1_1", store::Flavour::Jet),
              (std::vector<std::string>{"Id", "城市", "金额", "备注"}));
    EXPECT_NE(readFile("first.csv").find("Id,城市,金额,备注\r\n"), std::string::npos);
}

TEST_F(SingleTest, RefusedStepsAreReportedAndUndone) {
    run({"create table 2_1 ([a b] varchar(5))"});
    tables.addItem("2_1");
    tables.setSelectedIndex(1);
    ui::MemoryListBox blank;
    blank.addItem("a b");
    blank.setSelectedIndex(0);
    writeFile("out.csv", "before");
    save_.queue(path("out.csv"));
    EXPECT_TRUE(confirmDedupByColumn(*session_, page, blank));
    ASSERT_EQ(messages_.shown().size(), 1u);
    EXPECT_EQ(messages_.shown()[0].rfind(exchange::kOperationFailed, 0), 0u);
    EXPECT_EQ(database_->listColumns("2_1", store::Flavour::Jet), std::vector<std::string>{"a b"});
    EXPECT_EQ(readFile("out.csv"), "before");

    ui::MemoryListBox special;
    special.addItem("a-b");
    special.setSelectedIndex(0);
    EXPECT_FALSE(confirmMergeCount(*session_, page, special));
    EXPECT_EQ(messages_.shown().back(), kSpecialSetting);
}

TEST_F(SingleTest, FiltersByLengthAndRepeatCount) {
    ui::MemoryComboBox op;
    for (const char* o : {">", "<", "=", ">=", "<="}) op.addItem(o);
    ui::MemoryEditBox n;
    auto city = columnList(1);
    EXPECT_FALSE(confirmLengthFilter(*session_, page, city, op, n));
    op.setCurrentIndex(2);
    EXPECT_FALSE(confirmLengthFilter(*session_, page, city, op, n));
    EXPECT_EQ(messages_.shown(),
              (std::vector<std::string>{"还没有选择需要的条件", "还没有输入长度数值"}));
    n.setText("2");
    save_.queue(path("len.csv"));
    EXPECT_TRUE(confirmLengthFilter(*session_, page, city, op, n));
    EXPECT_EQ(query("select Id from 指定长度条件数据 order by Id"),
              (std::vector<std::string>{"a", "c", "e"}));
    // Null never repeats: = 1 keeps 上海 only, > 1 both 北京 rows.
    n.setText("1");
    save_.queue(path("once.csv"));
    EXPECT_TRUE(confirmRepeatFilter(*session_, page, city, op, n));
    EXPECT_EQ(query("select Id from 重复指定条件次数数据"), std::vector<std::string>{"e"});
    op.setCurrentIndex(0);
    save_.queue(path("more.csv"));
    EXPECT_TRUE(confirmRepeatFilter(*session_, page, city, op, n));
    EXPECT_EQ(query("select Id from 重复指定条件次数数据 order by Id"),
              (std::vector<std::string>{"a", "c"}));
    n.setText("1 or 1=1");
    EXPECT_TRUE(confirmRepeatFilter(*session_, page, city, op, n));
    EXPECT_EQ(messages_.shown().back(),
              std::string(exchange::kOperationFailed) + "“1 or 1=1”不是数字");
}

TEST_F(SingleTest, DistinctRowsGoStraightToTheFile) {
    run({"create table 3_1 (a varchar(5), b long)", "insert into 3_1 values ('x', 1)",
         "insert into 3_1 values ('X', 1)", "insert into 3_1 values ('y', Null)"});
    tables.addItem("3_1");
    tables.setSelectedIndex(1);
    read.setEnabled(true);
    removeFullDuplicates(*session_, page);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{"还没有完成初始化"});
    read.setEnabled(false);
    save_.queue(path("distinct.csv"));
    removeFullDuplicates(*session_, page);
    EXPECT_EQ(messages_.shown().back(), kDeleted);
    std::string csv = readFile("distinct.csv");
    EXPECT_EQ(csv.substr(csv.find("a,b")), "a,b\r\nx,1\r\ny,\r\n");
    EXPECT_EQ(database_->listTables(store::Flavour::Jet), (std::vector<std::string>{"1_1", "3_1"}));
}

}  // namespace
}  // namespace qx::single
