// The connection and record sets: opening, one statement per call, record-set walking, and the
// hand-over of external tables to drivers.
#include "platform/jet/connection.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/isam/driver.h"
#include "platform/jet/recordset.h"
#include "platform/os/paths.h"
#include "unit/test_dir.h"

namespace qx::jet {
namespace {

using qx::testing::TestDir;

class ConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        file_ = dir_ / "结果表.mdb";
        ASSERT_TRUE(createEmptyDatabase(file_).ok);
        ASSERT_TRUE(c_.openFile(file_).ok);
    }
    void exec(const std::string& sql) {
        Outcome o = c_.execute(sql);
        ASSERT_TRUE(o.ok) << sql << ": " << o.message;
    }
    TestDir dir_;
    std::filesystem::path file_;
    Connection c_;
};

TEST(ConnectionOpen, TakesConnectionStringsOfBothFlavours) {
    TestDir dir;
    auto file = dir / "结果表.accdb";
    ASSERT_TRUE(createEmptyDatabase(file).ok);
    Connection c;
    EXPECT_TRUE(c.open("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + os::utf8(file) +
                       ";Persist Security Info=False")
                    .ok);
    EXPECT_TRUE(c.isOpen());
    EXPECT_TRUE(c.open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + os::utf8(file)).ok);

    Outcome noSource = c.open("Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False");
    EXPECT_FALSE(noSource.ok);
    EXPECT_FALSE(c.isOpen());
    EXPECT_FALSE(c.open("Provider=SQLOLEDB;Data Source=" + os::utf8(file)).ok);
    EXPECT_FALSE(
        c.open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + os::utf8(dir / "无.mdb")).ok);
    EXPECT_FALSE(std::filesystem::exists(dir / "无.mdb")) << "opening must not create the file";

    auto foreign = dir / "foreign.mdb";
    qx::testing::writeFile(foreign, std::string("Standard Jet DB") + std::string(2000, '\x01'));
    Outcome o = c.openFile(foreign);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.message.find("数据库"), std::string::npos);
    EXPECT_EQ(qx::testing::readFile(foreign).substr(0, 15), "Standard Jet DB");

    Connection closed;
    EXPECT_FALSE(closed.execute("select 1").ok);
}

TEST_F(ConnectionTest, RecordsetWalksRowsAndReportsFields) {
    exec("create table 1_1 (k varchar(30), n long, d datetime)");
    exec("insert into 1_1 values ('a', 1, #1/2/2020#)");
    exec("insert into 1_1 values ('b', NULL, NULL)");
    exec("insert into 1_1 values ('', 3, NULL)");

    Recordset rs;
    ASSERT_TRUE(rs.open(c_, "1_1").ok);
    ASSERT_EQ(rs.fieldCount(), 3);
    EXPECT_EQ(rs.field(0).name, "k");
    EXPECT_EQ(rs.field(0).typeCode(), 202);
    EXPECT_EQ(rs.field(0).definedSize(), 30);
    EXPECT_EQ(rs.field(2).typeCode(), 7);
    EXPECT_EQ(rs.recordCount(), 3);
    std::vector<std::string> seen;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext())
        seen.push_back(rs.value("K").value_or("<null>") + "/" + rs.value("n").value_or("<null>"));
    EXPECT_EQ(seen, (std::vector<std::string>{"a/1", "b/<null>", "/3"}));
    EXPECT_FALSE(rs.value(0));  // at EOF
    rs.moveNext();              // stays at EOF
    EXPECT_TRUE(rs.eof());
    rs.moveFirst();
    EXPECT_EQ(*rs.value("d"), "2020-01-02 00:00:00");
    EXPECT_EQ(rs.fieldIndex("nosuch"), -1);
    EXPECT_FALSE(rs.value("nosuch"));

    Recordset query;
    ASSERT_TRUE(query.open(c_, "select count(*) as n, max(k) from 1_1").ok);
    EXPECT_EQ(query.field(0).typeCode(), 3);
    EXPECT_EQ(query.field(1).name, "Expr1000");
    EXPECT_EQ(*query.value(0), "3");

    Recordset bracketed;
    EXPECT_TRUE(bracketed.open(c_, "[1_1]").ok);
    Recordset missing;
    EXPECT_FALSE(missing.open(c_, "没有这个表").ok);
    Recordset writer;
    EXPECT_FALSE(writer.open(c_, "delete from 1_1").ok);
    EXPECT_EQ(Recordset().fieldCount(), 0);
}

TEST_F(ConnectionTest, RefusedStatementChangesNothing) {
    exec("create table t (a long, b varchar(10))");
    exec("insert into t values (1, 'x')");
    exec("insert into t values (2, 'y')");
    // The second step of a two-table update fails: the first must not stay applied.
    exec("create table u (a long, b varchar(10))");
    exec("insert into u values (1, 'q')");
    Outcome o = c_.execute("update t,u set [t].b = [u].b, [u].a = nosuch where [t].a = [u].a");
    EXPECT_FALSE(o.ok);
    Recordset rs;
    ASSERT_TRUE(rs.open(c_, "select b from t where a = 1").ok);
    EXPECT_EQ(*rs.value(0), "x");
    rs.close();

    // SELECT INTO whose rows fail midway leaves no table.
    EXPECT_FALSE(c_.execute("select a, CLng(b) as n into v from t").ok);
    EXPECT_EQ(c_.tables(), (std::vector<std::string>{"t", "u"}));
}

// A driver that keeps tables in memory, for the hand-over between engine and drivers.
class MemoryDriver : public isam::Driver {
  public:
    struct Table {
        std::vector<ColumnDef> columns;
        std::vector<std::vector<Value>> rows;
    };
    std::map<std::string, Table> tables;
    std::string lastDatabase;
    bool failWrites = false;
    // Reading fails after this many rows, as a file damaged midway does.
    std::size_t failReadAfter = static_cast<std::size_t>(-1);

    std::vector<std::string> names() const override { return {"excel 8.0"}; }
    bool listTables(const ExternalClause&, std::vector<isam::TableName>& out,
                    std::string&) override {
        for (const auto& [name, t] : tables) out.push_back({name, "TABLE"});
        return true;
    }
    std::unique_ptr<isam::RowSource> readTable(const ExternalClause& db, const std::string& table,
                                               std::string& error) override {
        lastDatabase = db.property("DATABASE");
        auto it = tables.find(table);
        if (it == tables.end()) {
            error = "工作表“" + table + "”不存在";
            return nullptr;
        }
        class Source : public isam::RowSource {
          public:
            Source(const Table& t, std::size_t failAfter) : t_(t), failAfter_(failAfter) {}
            const std::vector<ColumnDef>& columns() const override { return t_.columns; }
            bool next(std::vector<Value>& row) override {
                if (i_ == failAfter_) error_ = "文件已损坏";
                if (i_ >= t_.rows.size() || !error_.empty()) return false;
                row = t_.rows[i_++];
                return true;
            }
            std::string error() const override { return error_; }

          private:
            const Table& t_;
            std::size_t i_ = 0, failAfter_;
            std::string error_;
        };
        return std::make_unique<Source>(it->second, failReadAfter);
    }
    bool writeTable(const ExternalClause& db, const std::string& table, isam::RowSource& rows,
                    std::string& error) override {
        lastDatabase = db.property("DATABASE");
        if (failWrites) {
            error = "磁盘已满";
            return false;
        }
        Table t;
        t.columns = rows.columns();
        std::vector<Value> row;
        while (rows.next(row)) t.rows.push_back(row);
        tables[table] = t;
        return true;
    }
};

TEST_F(ConnectionTest, ExternalTablesGoThroughTheDriver) {
    auto driver = std::make_shared<MemoryDriver>();
    driver->tables["Sheet1$"] = {
        {{"姓名", JetType::Text, 255}, {"金额", JetType::Double, 255}},
        {{Value::ofText("张三"), Value::ofReal(1.5)}, {Value::ofText("李四"), Value::null()}}};
    isam::DriverRegistry registry;
    registry.add(driver);
    Connection c(&registry);
    ASSERT_TRUE(c.openFile(file_).ok);

    Outcome read =
        c.execute("SELECT * INTO 1_1 FROM [Excel 8.0;HDR=YES;DATABASE=/d/客户.xls].[Sheet1$]");
    ASSERT_TRUE(read.ok) << read.message;
    EXPECT_EQ(driver->lastDatabase, "/d/客户.xls");
    auto fields = c.tableFields("1_1");
    ASSERT_TRUE(fields);
    ASSERT_EQ(fields->size(), 2u);
    EXPECT_EQ((*fields)[1].type, JetType::Double);
    EXPECT_EQ(c.tables(), (std::vector<std::string>{"1_1"})) << "no scratch table stays behind";

    Outcome written = c.execute(
        "SELECT * INTO   [Excel 8.0;DATABASE=/d/结果.xls].[表二中不含表一数] FROM 1_1 where 金额 "
        "is null");
    ASSERT_TRUE(written.ok) << written.message;
    const auto& out = driver->tables["表二中不含表一数"];
    ASSERT_EQ(out.columns.size(), 2u);
    EXPECT_EQ(out.columns[0].name, "姓名");
    ASSERT_EQ(out.rows.size(), 1u);
    EXPECT_EQ(out.rows[0][0].text, "李四");

    // Errors of the driver are the statement's errors.
    Outcome missing =
        c.execute("SELECT * INTO 1_2 FROM [Excel 8.0;DATABASE=/d/客户.xls].[Sheet9$]");
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.message.find("Sheet9$"), std::string::npos);
    driver->failWrites = true;
    Outcome full = c.execute("SELECT * INTO [Excel 8.0;DATABASE=/d/x.xls].[t] FROM 1_1");
    EXPECT_FALSE(full.ok);
    EXPECT_EQ(full.message, "磁盘已满");

    // A kind without a driver.
    Outcome none = c.execute("SELECT * INTO [dBASE III;DATABASE=/d].x.dbf FROM 1_1");
    EXPECT_FALSE(none.ok);
    EXPECT_NE(none.message.find("dBASE III"), std::string::npos);
}

// Rows are read ahead of the engine in batches: a long table comes whole and in order, and a
// source that fails after several batches fails the read with its own message, leaving no
// table.
TEST_F(ConnectionTest, LongSourcesComeWholeAndTheirFailuresStopTheRead) {
    auto driver = std::make_shared<MemoryDriver>();
    MemoryDriver::Table& t = driver->tables["Sheet1$"];
    t.columns = {{"编号", JetType::Double, 255}, {"姓名", JetType::Text, 255}};
    for (int i = 0; i < 3000; ++i)
        t.rows.push_back(
            {Value::ofReal(i),
             i % 7 ? Value::ofText("第" + std::to_string(i) + "位客户的名字") : Value::null()});
    t.rows[5].pop_back();  // a row shorter than the table
    isam::DriverRegistry registry;
    registry.add(driver);
    Connection c(&registry);
    ASSERT_TRUE(c.openFile(file_).ok);
    const std::string from = " FROM [Excel 8.0;DATABASE=/d/客户.xls].[Sheet1$]";
    Outcome read = c.execute("SELECT *  INTO 1_1" + from);
    ASSERT_TRUE(read.ok) << read.message;
    Recordset rs;
    ASSERT_TRUE(rs.open(c, "1_1").ok);
    ASSERT_EQ(rs.recordCount(), 3000);
    int i = 0;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext(), ++i) {
        ASSERT_EQ(rs.value(0), std::to_string(i));
        if (i % 7 && i != 5)
            ASSERT_EQ(rs.value(1), "第" + std::to_string(i) + "位客户的名字");
        else
            ASSERT_FALSE(rs.value(1)) << i;
    }
    driver->failReadAfter = 700;
    Outcome failed = c.execute("SELECT * INTO 1_2" + from);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.message, "文件已损坏");
    EXPECT_EQ(c.tables(), std::vector<std::string>{"1_1"});
}

}  // namespace
}  // namespace qx::jet
