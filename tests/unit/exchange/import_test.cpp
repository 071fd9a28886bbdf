// Source kinds, clauses, schema.ini and the import controls with in-memory controls.
#include "exchange/import.h"

#ifndef _WIN32
#include <dlfcn.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstring>
#include <functional>

#include "exchange/columns.h"
#include "exchange/memory_import.h"
#include "exchange/source_kinds.h"
#include "platform/isam/access/jet4_writer.h"
#include "platform/os/encoding.h"
#include "store/structure.h"
#include "store/type_vocabulary.h"
#include "unit/exchange/session_fixture.h"
#include "unit/xlsx_maker.h"

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

// A file told from its replacement by its inode, and a shim preloaded into the process: POSIX.
#ifndef _WIN32
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
#endif

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
    // Nothing was read: choosing the sheet the message asks for is enough, without a second
    // opening of the file.
    EXPECT_TRUE(read.isEnabled());
    table.setCurrentIndex(0);
    readSourceTable(*session_, page, true);
    EXPECT_EQ(tables.items(), std::vector<std::string>{"1_1"});
    EXPECT_FALSE(read.isEnabled());

    openFile(book);
    table.setCurrentIndex(1);
    readSourceTable(*session_, page, false);
    // The second file's second sheet.
    EXPECT_EQ(tables.items(), (std::vector<std::string>{"1_1", "2_2"}));
    EXPECT_EQ(structure.rows(), 3);  // its two columns, the lists in step
    EXPECT_TRUE(std::filesystem::exists(database_->path(store::Flavour::Ace)));
}

// The bytes of a workbook of one sheet, `rows` rows of a text and a number; made in `file`,
// which is removed again.
std::string workbookWithRows(int rows, const std::string& file) {
    std::string sheet;
    for (int r = 1; r <= rows; ++r) {
        std::string n = std::to_string(r);
        sheet += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>名" + n +
                 "</t></is></c><c r=\"B" + n + "\"><v>" + n + "</v></c></row>";
    }
    EXPECT_TRUE(testing::writeWorkbook(file, sheet));
    std::string bytes;
    {
        // Closed before the removal: Windows removes no file that is open.
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(file);
    return bytes;
}

// The central directory entry of `name` in a zip archive's bytes, and its local header.
struct ZipEntryAt {
    std::size_t central = std::string::npos, local = 0, data = 0;
};
ZipEntryAt zipEntry(const std::string& zip, const std::string& name) {
    auto u16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(zip[at])) |
               static_cast<std::size_t>(static_cast<unsigned char>(zip[at + 1])) << 8;
    };
    ZipEntryAt e;
    for (std::size_t at = zip.find("PK\x01\x02"); at != std::string::npos;
         at = zip.find("PK\x01\x02", at + 4))
        if (zip.compare(at + 46, name.size(), name) == 0 && u16(at + 28) == name.size()) {
            e.central = at;
            e.local = u16(at + 42) | u16(at + 44) << 16;
            e.data = e.local + 30 + u16(e.local + 26) + u16(e.local + 28);
        }
    return e;
}

// A sheet's compressed bytes damaged, its checksum or its sizes wrong: the read fails and says
// the sheet cannot be decompressed, never a table of the rows before the damage.
TEST_F(ImportTest, ADamagedSheetIsAFailedReadAndNoTable) {
    const int rows = 20000;  // a few chunks of the compressed and of the inflated bytes
    const std::string whole = workbookWithRows(rows, path("made.xlsx"));
    ZipEntryAt sheet = zipEntry(whole, "xl/worksheets/sheet1.xml");
    ASSERT_NE(sheet.central, std::string::npos);
    auto patch32 = [](std::string& zip, std::size_t at, std::uint32_t change) {
        std::uint32_t v;
        std::memcpy(&v, zip.data() + at, 4);
        v += change;
        std::memcpy(zip.data() + at, &v, 4);
    };
    struct Damage {
        const char* what;
        std::function<void(std::string&)> apply;
        bool checksumFound =
            true;  // else the XML the damaged bytes inflate to may be refused first
    };
    std::vector<Damage> damages = {
        {"a compressed byte", [&](std::string& z) { z[sheet.data + 5000] ^= 0x20; }, false},
        {"the checksum",
         [&](std::string& z) {
             patch32(z, sheet.central + 16, 1);
             patch32(z, sheet.local + 14, 1);
         }},
        {"the compressed size, too small",
         [&](std::string& z) {
             patch32(z, sheet.central + 20, static_cast<std::uint32_t>(-2000));
             patch32(z, sheet.local + 18, static_cast<std::uint32_t>(-2000));
         }},
        {"the inflated size, one more",
         [&](std::string& z) {
             patch32(z, sheet.central + 24, 1);
             patch32(z, sheet.local + 22, 1);
         }},
    };
    const std::string damaged = std::string(kReadFailed) + "\r\n\r\n工作簿已损坏：";
    const std::string failed = damaged + "无法解压工作表";
    for (const auto& d : damages) {
        std::string bytes = whole;
        d.apply(bytes);
        writeFile("损坏.xlsx", bytes);
        openFile(path("损坏.xlsx"));
        ASSERT_EQ(table.items(), std::vector<std::string>{"数据"}) << d.what;
        table.setCurrentIndex(0);
        std::size_t before = messages_.shown().size();
        readSourceTable(*session_, page, false);
        ASSERT_EQ(messages_.shown().size(), before + 1) << d.what;
        if (d.checksumFound)
            EXPECT_EQ(messages_.shown().back(), failed) << d.what;
        else
            EXPECT_EQ(messages_.shown().back().rfind(damaged, 0), 0u)
                << d.what << ": " << messages_.shown().back();
        EXPECT_TRUE(columns.items().empty()) << d.what;
    }
    // Undamaged, every row is read.
    writeFile("完好.xlsx", whole);
    openFile(path("完好.xlsx"));
    table.setCurrentIndex(0);
    std::size_t before = messages_.shown().size();
    readSourceTable(*session_, page, false);
    EXPECT_EQ(messages_.shown().size(), before);
    std::string last = tables.items().back();
    EXPECT_EQ(query("select count(*), sum(F2), max(F1) from [" + last + "]"),
              std::vector<std::string>{std::to_string(rows) + "|" +
                                       std::to_string(rows * (rows + 1) / 2) + "|名9999"});
}

// A shared-string cell's value is the string's index, written as a C library reads a number;
// what it cannot be (a sign before other digits, anything after them, an index past the table)
// leaves the cell empty.
TEST_F(ImportTest, SharedStringCellsByTheirIndex) {
    const std::vector<std::string> values = {
        "1", " 1", "+1", "-0", "0", "-1", "1x", "1 ", "2", "99999999999999999999", "+", " ", "01"};
    std::string rows;
    for (std::size_t k = 0; k < values.size(); ++k) {
        std::string n = std::to_string(k + 1);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"s\"><v>" + values[k] +
                "</v></c><c r=\"B" + n + "\"><v>" + n + "</v></c></row>";
    }
    ASSERT_TRUE(testing::writeWorkbook(path("共享.xlsx"), rows, {"甲", "乙"}));
    openFile(path("共享.xlsx"));
    table.setCurrentIndex(0);
    readSourceTable(*session_, page, false);
    ASSERT_TRUE(messages_.shown().empty()) << messages_.shown().front();
    EXPECT_EQ(query("select F2, F1 from [" + tables.items().back() + "] order by F2"),
              (std::vector<std::string>{"1|乙", "2|乙", "3|乙", "4|甲", "5|甲", "6|", "7|", "8|",
                                        "9|", "10|", "11|", "12|", "13|乙"}));
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

// An Access file says at the open step when it holds no user table, or cannot be read.
TEST_F(ImportTest, AnAccessFileWithoutTablesSaysSoWhenOpened) {
    std::string error;
    ASSERT_TRUE(isam::access::writeEmptyDatabase(os::pathFromUtf8(path("空.mdb")), error));
    writeFile("坏.mdb", "Standard Jet DB, said the text\n");
    struct Case {
        std::string file;
        std::string says;
    } cases[] = {
        {path("空.mdb"), kNoTables},
        {path("坏.mdb"), "无法读取 Access 文件：文件已损坏或不是 Access 文件"},
    };
    for (const auto& c : cases) {
        messages_.clear();
        openFile(c.file);
        EXPECT_EQ(messages_.shown(), std::vector<std::string>{c.says}) << c.file;
        EXPECT_EQ(table.count(), 0);
    }
    messages_.clear();
    openFile(std::string(QX_SOURCE_DIR) + "/../shared/fixtures/DateTestDatabase.mdb");
    EXPECT_TRUE(messages_.shown().empty());
    EXPECT_EQ(table.count(), 1);
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
