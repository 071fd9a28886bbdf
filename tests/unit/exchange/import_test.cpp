// Source kinds, clauses, schema.ini and the import controls with in-memory controls.
#include "exchange/import.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>

#include "exchange/columns.h"
#include "exchange/memory_import.h"
#include "exchange/source_kinds.h"
#include "platform/os/encoding.h"
#include "store/structure.h"
#include "store/type_vocabulary.h"
#include "unit/exchange/session_fixture.h"

namespace qx::exchange {
namespace {

TEST(SourceKinds, PathPieces) {
    EXPECT_EQ(extensionOf("/d/Book.XLSX"), "xlsx");
    EXPECT_EQ(extensionOf("/d/noext"), "/d/noext");
    EXPECT_EQ(extensionOf("/d.x/a.b.Csv"), "csv");
    EXPECT_EQ(directoryOf("/data/客户.txt"), "/data/");
    EXPECT_EQ(directoryWithoutSeparator("/data/客户.txt"), "/data");
    EXPECT_EQ(fileNameOf("/data/客户.txt"), "客户.txt");
    EXPECT_EQ(baseNameOf("/data/a.b.txt"), "a.b");
    EXPECT_EQ(baseNameOf("/data/plain"), "plain");
}

TEST(SourceKinds, ClausesOfEveryKind) {
    struct Case {
        const char* kind;
        bool header;
        const char* clause;
    } cases[] = {
        {"xls", false, " FROM [Excel 8.0;HDR=NO;IMEX=1;DATABASE=/d/k.xls].[Sheet1$] "},
        {"xls", true, " FROM [Excel 8.0;DATABASE=/d/k.xls].[Sheet1$] "},
        {"xlsx", false, " FROM [Excel 12.0;HDR=NO;IMEX=1;DATABASE=/d/k.xls].[Sheet1$] "},
        {"xlsx", true, " FROM [Excel 12.0;DATABASE=/d/k.xls].[Sheet1$] "},
        {"mdb", true, " FROM [;DATABASE=/d/k.xls].Sheet1"},
        {"dbf", true, " FROM [dBASE III;DATABASE=/d].k.xls"},
        {"csv", true, " FROM [Text;FMT=Delimited;DATABASE=/d/].[k.xls]"},
        {"txt", false, " FROM [Text;FMT=Delimited;DATABASE=/d/].[k.xls]"},
        {"doc", true, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sourceClause(c.kind, "/d/k.xls", "Sheet1", c.header), c.clause) << c.kind;
}

TEST(SchemaIni, SectionByLayout) {
    EXPECT_EQ(schemaIniSection("客户.txt", "3", "txt", ";"),
              "[客户.txt]\r\nColNameHeader=False\r\nCharacterSet=ANSI\r\nFormat=Delimited(;)\r\n"
              "Col1=F1 text\r\nCol2=F2 text\r\nCol3=F3 text\r\n");
    // A csv ignores the delimiter; a txt with the count "1" is comma-separated.
    EXPECT_EQ(schemaIniSection("a.csv", "2", "csv", "|"),
              "[a.csv]\r\nColNameHeader=False\r\nCharacterSet=ANSI\r\nFormat=CSVDelimited\r\n"
              "Col1=F1 text\r\nCol2=F2 text\r\n");
    EXPECT_EQ(schemaIniSection("a.txt", "1", "txt", ""),
              "[a.txt]\r\nColNameHeader=False\r\nCharacterSet=ANSI\r\nFormat=CSVDelimited\r\n"
              "Col1=F1 text\r\n");
    // " 1" is not "1": the delimiter layout, one column.
    EXPECT_EQ(schemaIniSection("a.txt", " 1", "txt", "|"),
              "[a.txt]\r\nColNameHeader=False\r\nCharacterSet=ANSI\r\nFormat=Delimited(|)\r\n"
              "Col1=F1 text\r\n");
    for (const char* none : {"x", "0", "", "-2"})
        EXPECT_EQ(schemaIniSection("a.csv", none, "csv", ""),
                  "[a.csv]\r\nColNameHeader=False\r\nCharacterSet=ANSI\r\nFormat=CSVDelimited\r\n")
            << none;
    std::string huge = schemaIniSection("a.csv", "99999999999", "csv", "");
    EXPECT_NE(huge.find("Col255=F255 text\r\n"), std::string::npos);
    EXPECT_EQ(huge.find("Col256"), std::string::npos);
}

TEST(SchemaIni, MergeKeepsEveryOtherLine) {
    std::string mine = "[b.csv]\r\nFormat=CSVDelimited\r\n";
    // The user's sections stay byte for byte, in the ANSI code page they were written in.
    std::string gbk = os::fromUtf8("; 我的设置\r\n[a.txt]\r\nFormat=TabDelimited\r\n", "GB18030");
    std::string oldB = "[B.CSV]\nColNameHeader=True\n";
    std::string tail = os::fromUtf8("[c.txt]\r\nCol1=名称 text", "GB18030");
    std::string merged = mergeSchemaIni(gbk + oldB + tail, "b.csv", mine);
    EXPECT_EQ(merged, gbk + mine + tail);
    // No section for the file: appended after a line break.
    EXPECT_EQ(mergeSchemaIni(tail, "b.csv", mine), tail + "\r\n" + mine);
    EXPECT_EQ(mergeSchemaIni("", "b.csv", mine), mine);
    // A UTF-8 file keeps its BOM and gets the section in UTF-8.
    std::string utf8 = "\xEF\xBB\xBF[b.csv]\r\nx=1\r\n[名单.txt]\r\n";
    EXPECT_EQ(mergeSchemaIni(utf8, "b.csv", "[b.csv]\r\n"),
              "\xEF\xBB\xBF[b.csv]\r\n[名单.txt]\r\n");
    EXPECT_EQ(mergeSchemaIni("[x.txt]\r\n", "名单.txt", "[名单.txt]\r\n"),
              "[x.txt]\r\n[名单.txt]\r\n");
    // A GBK file gets the section in GBK.
    EXPECT_EQ(mergeSchemaIni(gbk, "名单.txt", "[名单.txt]\r\n"),
              gbk + os::fromUtf8("[名单.txt]\r\n", "GB18030"));
}

class ImportTest : public testing::SessionTest, protected MemoryImportControls {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        count.setText("1");
    }
    void openFile(const std::string& file) {
        open_.queue(file);
        openSourceFile(*session_, page);
    }
};

// The compaction after a read takes as long as a copy of the database: the busy notice covers
// it. Compaction replaces the file, so the file the notice closes on is the compacted one.
TEST_F(ImportTest, TheBusyNoticeStaysUpThroughTheCompaction) {
    writeFile("a.csv", "x,1\r\n");
    openFile(path("a.csv"));
    // Free pages to reclaim (a dropped table), so that the read is followed by a real copy.
    run({"create table junk (t memo)", "insert into junk values (Space(200000))",
         "drop table junk"});
    ASSERT_GT(jet::freePages(database_->path(store::Flavour::Jet)).value_or(0), 0);
    auto inode = [&] {
        struct stat st {};
        return ::stat(os::utf8(database_->path(store::Flavour::Jet)).c_str(), &st) == 0
                   ? static_cast<long long>(st.st_ino)
                   : -1;
    };
    std::vector<long long> atClose;
    busy_.onClose = [&] { atClose.push_back(inode()); };
    readSourceTable(*session_, page, true);
    EXPECT_TRUE(messages_.shown().empty());
    ASSERT_FALSE(atClose.empty());
    long long compacted = inode();
    ASSERT_NE(compacted, -1);
    // The statement's notice (the first close after the file appeared) is the compaction's too.
    auto first = std::find_if(atClose.begin(), atClose.end(), [](long long i) { return i != -1; });
    ASSERT_NE(first, atClose.end());
    EXPECT_EQ(*first, compacted) << "the notice closed before the compaction replaced the file";
}

// On a full disk the compaction's copy cannot be written: the table is read all the same, the
// database stays as it was, nothing is left beside it, and the user is told why. Runs under the
// fault tests' shim (faults/compaction_disk_full), which fails the copy's writes.
TEST_F(ImportTest, ACompactionOnAFullDiskKeepsTheDatabaseAndSaysSo) {
    if (!dlsym(RTLD_DEFAULT, "qx_full_disk_shim_loaded")) GTEST_SKIP() << "needs the disk shim";
    std::filesystem::path database = database_->path(store::Flavour::Jet);
    for (const char* after : {"0", "5000"}) {
        SCOPED_TRACE(after);
        writeFile("a.csv", "x,1\r\n");
        openFile(path("a.csv"));
        run({"create table junk (t memo)", "insert into junk values (Space(200000))",
             "drop table junk"});
        struct stat before {};
        ASSERT_EQ(::stat(os::utf8(database).c_str(), &before), 0);
        // Only the compacted copy (written beside the database) meets the full disk.
        ::setenv("QX_FULL_PATH", (os::utf8(database.filename()) + ".tmp").c_str(), 1);
        ::setenv("QX_FULL_AFTER", after, 1);
        readSourceTable(*session_, page, true);
        ::unsetenv("QX_FULL_PATH");
        ASSERT_EQ(messages_.shown().size(), 1u);
        EXPECT_EQ(messages_.shown()[0],
                  std::string(kCompactFailed) + "压缩数据库失败：磁盘已满，无法写入数据库");
        struct stat now {};
        ASSERT_EQ(::stat(os::utf8(database).c_str(), &now), 0);
        EXPECT_EQ(now.st_ino, before.st_ino) << "the database was replaced";
        ASSERT_FALSE(tables.items().empty());
        EXPECT_EQ(query("select F1 from [" + tables.items().back() + "]"),
                  std::vector<std::string>{"x"});
        for (const auto& entry : std::filesystem::directory_iterator(database.parent_path()))
            EXPECT_NE(os::utf8(entry.path().filename()).front(), '.') << entry.path();
        messages_.clear();
    }
}

TEST_F(ImportTest, TextSourceBecomesATableWithItsStructure) {
    writeFile("名单.csv", os::fromUtf8("张三,12\r\n李四,\"3,5\"\r\n", "GB18030"));
    openFile(path("名单.csv"));
    EXPECT_TRUE(read.isEnabled());
    EXPECT_EQ(open_.filter(), kClassicFilter);
    EXPECT_TRUE(count.isVisible() && countLabel.isVisible());
    EXPECT_FALSE(delimiter.isVisible() || table.isVisible() || header.isVisible());
    EXPECT_EQ(files.items(), std::vector<std::string>{"名单.csv"});
    EXPECT_EQ(mirror.selectedIndex(), 0);
    count.setText("2");
    readSourceTable(*session_, page, true);
    EXPECT_FALSE(read.isEnabled());
    EXPECT_TRUE(messages_.shown().empty());
    EXPECT_EQ(tables.items(), std::vector<std::string>{"1_1"});
    EXPECT_EQ(columns.items(), (std::vector<std::string>{"F1", "F2"}));
    ASSERT_EQ(structure.rows(), 3);
    EXPECT_EQ(structure.text(2, 0), "F2");
    EXPECT_EQ(structure.text(2, 1), "文本");
    EXPECT_EQ(structure.colWidth(1), 2200);
    EXPECT_EQ(query("select F1, F2 from 1_1"), (std::vector<std::string>{"张三|12", "李四|3,5"}));
    EXPECT_EQ(busy_.isVisible(), false);
    std::string ini = readFile("schema.ini");
    EXPECT_EQ(ini, schemaIniSection("名单.csv", "2", "csv", ""));
}

TEST_F(ImportTest, WorkbookNeedsAChosenSheet) {
    std::string book = std::string(QX_SOURCE_DIR) + "/tests/data/excel/openpyxl_客户.xlsx";
    openFile(book);
    EXPECT_EQ(open_.filter(), kXlsxFilter);
    EXPECT_EQ(table.items(), (std::vector<std::string>{"客户", "第二页", "空表", "区"}));
    EXPECT_EQ(table.currentIndex(), -1);
    readSourceTable(*session_, page, true);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kNoTableChosen});
    EXPECT_TRUE(tables.items().empty());
    EXPECT_FALSE(read.isEnabled());

    openFile(book);
    table.setCurrentIndex(1);
    readSourceTable(*session_, page, false);
    // The second file's second sheet; at the file's position the table list has nothing.
    EXPECT_EQ(tables.items(), std::vector<std::string>{"2_2"});
    EXPECT_EQ(structure.rows(), 1);
    EXPECT_TRUE(std::filesystem::exists(database_->path(store::Flavour::Ace)));
}

TEST_F(ImportTest, AChartWithItsOwnDataSheetIsATable) {
    // An Excel 95 workbook whose one sheet, unnamed, is a chart that keeps its numbers itself.
    openFile(std::string(QX_SOURCE_DIR) + "/tests/data/excel/poi_chart_datasheet.xls");
    EXPECT_TRUE(messages_.shown().empty());
    ASSERT_EQ(table.items(), std::vector<std::string>{"Sheet1"});
    table.setCurrentIndex(0);
    readSourceTable(*session_, page, true);
    EXPECT_TRUE(messages_.shown().empty());
    EXPECT_EQ(columns.items(),
              (std::vector<std::string>{"F1", "Dawn", "Daylight", "Dusk", "Dark"}));
    EXPECT_EQ(query("select * from 1_1"), std::vector<std::string>{"Percent|0.5|80.5|2.3|16.4"});
}

TEST_F(ImportTest, RefusedReadStillListsTheName) {
    // The open step already says why the file lists no sheet; the read says it failed, and why.
    openFile(std::string(QX_SOURCE_DIR) + "/tests/data/excel/notexcel.xls");
    const std::string damaged = "文件已损坏或不是 Excel 97-2003 工作簿";
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{damaged});
    table.addItem("Sheet1");
    table.setCurrentIndex(0);
    readSourceTable(*session_, page, true);
    EXPECT_EQ(messages_.shown(),
              (std::vector<std::string>{damaged, std::string(kReadFailed) + "\r\n\r\n" + damaged}));
    EXPECT_EQ(tables.items(), std::vector<std::string>{"1_1"});
    EXPECT_TRUE(columns.items().empty());
    EXPECT_EQ(structure.rows(), 1);
}

TEST_F(ImportTest, SpecialHeaderResetsEverything) {
    openFile(std::string(QX_SOURCE_DIR) + "/tests/data/excel/openpyxl_symbols.xlsx");
    table.setCurrentIndex(0);
    readSourceTable(*session_, page, true);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{store::kSpecialHeaderMessage});
    EXPECT_EQ(resets_, 1);
}

TEST_F(ImportTest, MissingDelimiterAndUnwritableSchemaIni) {
    writeFile("a.txt", "x|y\r\n");
    openFile(path("a.txt"));
    EXPECT_TRUE(delimiter.isVisible());
    count.setText("2");
    readSourceTable(*session_, page, true);
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kNoDelimiter});
    EXPECT_FALSE(std::filesystem::exists(dir_ / "schema.ini"));
    messages_.clear();
    // A folder that cannot take the file: the message, and the caller goes on.
    ui::MemoryEditBox bar;
    bar.setText("|");
    EXPECT_FALSE(writeSchemaIni(*session_, "a.txt", "2", path("missing/"), "txt", bar));
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kSchemaIniFailed});
}

TEST_F(ImportTest, SwitchingAndResultColumns) {
    writeFile("a.csv", "1,2,3\r\n");
    writeFile("b.csv", "4\r\n");
    openFile(path("a.csv"));
    count.setText("3");
    readSourceTable(*session_, page, true);
    openFile(path("b.csv"));
    count.setText("1");
    readSourceTable(*session_, page, true);
    EXPECT_EQ(structure.rows(), 2);
    tables.setSelectedIndex(0);
    switchCurrentTable(*session_, page, tables);
    EXPECT_EQ(files.selectedIndex(), 0);
    EXPECT_EQ(mirror.selectedIndex(), 0);
    EXPECT_EQ(columns.items(), (std::vector<std::string>{"F1", "F2", "F3"}));
    EXPECT_EQ(structure.rows(), 4);

    ui::MemoryListBox results;
    addAllColumns(page, results);
    addAllColumns(page, results);
    EXPECT_EQ(results.count(), 6);
    EXPECT_EQ(results.item(3), "1_1.F1");
    EXPECT_EQ(columns.selectedIndex(), 2);
    appendResultColumn(page, "F2", results);
    EXPECT_EQ(results.item(6), "1_1.F2");
    EXPECT_EQ(tablePart("1_1.a.b"), "1_1.a");
    EXPECT_EQ(columnPart("1_1.a.b"), "b");

    ui::MemoryButton quickRead(true);
    EXPECT_FALSE(pageGuard(*session_, quickRead, tables));
    EXPECT_EQ(messages_.shown().back(), kNotInitialised);
    quickRead.setEnabled(false);
    EXPECT_TRUE(pageGuard(*session_, quickRead, tables));
    // Nothing read yet (the start state): refused as well.
    ui::MemoryListBox none;
    messages_.clear();
    EXPECT_FALSE(pageGuard(*session_, quickRead, none));
    EXPECT_EQ(messages_.shown(), std::vector<std::string>{kNotInitialised});
}

TEST_F(ImportTest, ChangeTypesAltersEveryRow) {
    writeFile("n.csv", "1,x\r\n22,y\r\n");
    openFile(path("n.csv"));
    count.setText("2");
    readSourceTable(*session_, page, true);
    bool cancel = false;
    store::typeCellRule(structure, 1, 1, cancel, nullptr);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(structure.colComboList(1), store::kTypeDropDown);
    int acted = -1;
    store::typeCellRule(structure, 2, 0, cancel, [&](int r) { acted = r; });
    EXPECT_TRUE(cancel);
    EXPECT_EQ(acted, 2);
    structure.setText(1, 1, "长整型数字");
    structure.setText(2, 1, "长整型数字");  // "x" is no number: this row stays text
    store::changeTypes(*session_, structure, tables, files);
    EXPECT_EQ(structure.text(1, 1), "长整型数字");
    EXPECT_EQ(structure.text(2, 1), "文本");
    EXPECT_EQ(query("select F1 + 1 from 1_1"), (std::vector<std::string>{"2", "23"}));
}

}  // namespace
}  // namespace qx::exchange
