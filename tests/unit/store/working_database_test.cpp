// The working database's files: names, flavours, creation, listing, compaction and the data reset.
#include "store/working_database.h"

#include <gtest/gtest.h>

#include "platform/jet/connection.h"
#include "platform/os/paths.h"
#include "unit/test_dir.h"

namespace qx::store {
namespace {

using qx::testing::readFile;
using qx::testing::TestDir;
using qx::testing::writeFile;

TEST(Flavour, XlsxAloneMeansTheAceFlavour) {
    struct Case {
        const char* path;
        const char* extension;
        Flavour flavour;
    } cases[] = {
        {"/d/客户.xlsx", "xlsx", Flavour::Ace}, {"/d/客户.XLSX", "xlsx", Flavour::Ace},
        {"/d/a.b.xls", "xls", Flavour::Jet},    {"/d/a.csv", "csv", Flavour::Jet},
        {"/d/a.mdb", "mdb", Flavour::Jet},      {"NoDot", "nodot", Flavour::Jet},
        {"/d/a.xlsxx", "xlsxx", Flavour::Jet},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lowerExtension(c.path), c.extension) << c.path;
        EXPECT_EQ(flavourForExtension(lowerExtension(c.path)), c.flavour) << c.path;
    }
}

TEST(WorkingDatabase, NamesAndConnectionStrings) {
    // Paths are UTF-8 inside the program; the folder's name is joined with the system's own
    // separator.
    WorkingDatabase wdb(os::pathFromUtf8("/opt/程序"));
    const std::string d =
        os::utf8(os::pathFromUtf8("/opt/程序")) + char(std::filesystem::path::preferred_separator);
    EXPECT_EQ(os::utf8(wdb.path(Flavour::Jet)), d + "结果表.mdb");
    EXPECT_EQ(os::utf8(wdb.path(Flavour::Ace)), d + "结果表.accdb");
    EXPECT_EQ(os::utf8(wdb.lockPath(Flavour::Jet)), d + "结果表.ldb");
    EXPECT_EQ(os::utf8(wdb.lockPath(Flavour::Ace)), d + "结果表.laccdb");
    EXPECT_EQ(wdb.connectionString(Flavour::Jet), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                                                      d + "结果表.mdb;Persist Security Info=False");
    EXPECT_EQ(wdb.connectionString(Flavour::Ace),
              "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + d +
                  "结果表.accdb;Persist Security Info=False");
}

TEST(WorkingDatabase, CreatedOnceThenReadTablesAddUp) {
    TestDir dir;
    WorkingDatabase wdb(dir.path());
    ASSERT_TRUE(wdb.createIfAbsent(Flavour::Jet));
    EXPECT_TRUE(std::filesystem::exists(dir / "结果表.mdb"));
    EXPECT_FALSE(std::filesystem::exists(dir / "结果表.accdb"));
    {
        jet::Connection c;
        ASSERT_TRUE(c.open(wdb.connectionString(Flavour::Jet)).ok);
        ASSERT_TRUE(c.execute("create table 1_1 (姓名 varchar(20), 年龄 long)").ok);
    }
    // A second read finds the file and keeps its tables.
    ASSERT_TRUE(wdb.createIfAbsent(Flavour::Jet));
    EXPECT_EQ(wdb.listTables(Flavour::Jet), (std::vector<std::string>{"1_1"}));
    EXPECT_EQ(wdb.listColumns("1_1", Flavour::Jet), (std::vector<std::string>{"姓名", "年龄"}));
    EXPECT_TRUE(wdb.listColumns("2_1", Flavour::Jet).empty());
    EXPECT_TRUE(wdb.listTables(Flavour::Ace).empty());

    // Only the temporary file of creation is gone; nothing else appears beside the database.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1);
}

TEST(WorkingDatabase, CreationFailsCleanlyWhereNoFileCanBeWritten) {
    TestDir dir;
    writeFile(dir / "not-a-directory", "x");
    WorkingDatabase wdb(dir / "not-a-directory");
    std::string error;
    EXPECT_FALSE(wdb.createIfAbsent(Flavour::Jet, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readFile(dir / "not-a-directory"), "x");
}

TEST(WorkingDatabase, CompactionShrinksAndKeepsEverything) {
    TestDir dir;
    WorkingDatabase wdb(dir.path());
    ASSERT_TRUE(wdb.createIfAbsent(Flavour::Ace));
    auto path = wdb.path(Flavour::Ace);
    {
        jet::Connection c;
        ASSERT_TRUE(c.open(wdb.connectionString(Flavour::Ace)).ok);
        ASSERT_TRUE(c.execute("create table big (t memo)").ok);
        ASSERT_TRUE(c.execute("create table keep (k varchar(10))").ok);
        ASSERT_TRUE(c.execute("insert into keep values ('保留')").ok);
        ASSERT_TRUE(c.execute("create index idx1 on keep(k)").ok);
        for (int i = 0; i < 200; ++i)
            ASSERT_TRUE(c.execute("insert into big values ('" + std::string(4000, 'x') + "')").ok);
        ASSERT_TRUE(c.execute("drop table big").ok);
    }
    auto before = std::filesystem::file_size(path);
    EXPECT_EQ(wdb.compact(path), kCompactDone);
    EXPECT_LT(std::filesystem::file_size(path), before);
    jet::Connection c;
    ASSERT_TRUE(c.open(wdb.connectionString(Flavour::Ace)).ok);
    EXPECT_EQ(c.tables(), (std::vector<std::string>{"keep"}));
    EXPECT_FALSE(c.execute("create index idx1 on keep(k)").ok) << "the index survives";
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1) << "no temporary file stays behind";
}

// A file with no free pages is as compact as its copy would be: it is not copied.
TEST(WorkingDatabase, ACompactFileIsNotCopied) {
    TestDir dir;
    WorkingDatabase wdb(dir.path());
    ASSERT_TRUE(wdb.createIfAbsent(Flavour::Jet));
    {
        jet::Connection c;
        ASSERT_TRUE(c.open(wdb.connectionString(Flavour::Jet)).ok);
        ASSERT_TRUE(c.execute("create table t (k varchar(10))").ok);
        ASSERT_TRUE(c.execute("insert into t values ('一')").ok);
    }
    auto path = wdb.path(Flavour::Jet);
    auto stamp = std::filesystem::last_write_time(path);
    EXPECT_EQ(jet::freePages(path), 0);
    EXPECT_EQ(wdb.compact(path), kCompactDone);
    EXPECT_EQ(std::filesystem::last_write_time(path), stamp);
}

TEST(WorkingDatabase, FailedCompactionLeavesTheOriginal) {
    TestDir dir;
    WorkingDatabase wdb(dir.path());
    auto path = wdb.path(Flavour::Jet);
    const std::string damaged = "not a database at all" + std::string(5000, '\x07');
    writeFile(path, damaged);
    EXPECT_EQ(wdb.compact(path), kCompactEngineError);
    EXPECT_EQ(readFile(path), damaged);
    EXPECT_EQ(wdb.compact(dir / "absent.mdb"), kCompactEngineError);
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.mdb"));
}

TEST(WorkingDatabase, DataResetDeletesTheFourFilesOnly) {
    TestDir dir;
    WorkingDatabase wdb(dir.path());
    for (const char* name : {"结果表.mdb", "结果表.ldb", "结果表.accdb", "结果表.laccdb",
                             "结果表.mdb-journal", "客户.xls"})
        writeFile(dir / name, "x");
    wdb.deleteFiles();
    for (const char* name :
         {"结果表.mdb", "结果表.ldb", "结果表.accdb", "结果表.laccdb", "结果表.mdb-journal"})
        EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    EXPECT_TRUE(std::filesystem::exists(dir / "客户.xls"));
    wdb.deleteFiles();  // nothing to delete: no complaint
}

}  // namespace
}  // namespace qx::store
