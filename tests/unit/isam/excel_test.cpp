// Excel drivers: listings, the template workbook, and adding a sheet without touching the rest.
#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <map>

#include "platform/isam/excel/sheet_table.h"
#include "platform/isam/excel12/excel12_driver.h"
#include "platform/isam/excel12/xlsx_reader.h"
#include "platform/isam/excel12/xlsx_writer.h"
#include "platform/isam/excel8/excel8_driver.h"
#include "platform/os/paths.h"
#include "unit/test_dir.h"

namespace qx::isam {
namespace {

using qx::testing::TestDir;

const std::string kData = std::string(QX_SOURCE_DIR) + "/tests/data/excel/";

ExternalClause clause(const std::string& path) {
    ExternalClause c;
    c.properties.emplace_back("DATABASE", path);
    return c;
}

std::vector<std::string> names(Driver& d, const std::string& path) {
    std::vector<TableName> tables;
    std::string error;
    EXPECT_TRUE(d.listTables(clause(path), tables, error)) << error;
    std::vector<std::string> out;
    for (auto& t : tables) out.push_back(t.name);
    return out;
}

TEST(Excel, ListsSheetsWithDollarAndDefinedNamesAsTheyAre) {
    excel12::Excel12Driver xlsx;
    EXPECT_EQ(names(xlsx, kData + "openpyxl_客户.xlsx"),
              (std::vector<std::string>{"客户$", "第二页$", "空表$", "区域"}));
    excel8::Excel8Driver xls;
    EXPECT_EQ(names(xls, kData + "xlwt_客户.xls"), (std::vector<std::string>{"客户$", "第二页$"}));
    std::vector<TableName> tables;
    std::string error;
    EXPECT_FALSE(xlsx.listTables(clause(kData + "notexcel.xlsx"), tables, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(xls.listTables(clause(kData + "notexcel.xls"), tables, error));
}

TEST(Excel, CellReferences) {
    struct Case {
        const char* ref;
        int col;
    } cases[] = {{"A1", 0},       {"Z9", 25}, {"AA10", 26}, {"ab3", 27},
                 {"XFD1", 16383}, {"1", -1},  {"", -1}};
    for (const auto& c : cases) EXPECT_EQ(excel12::columnIndex(c.ref), c.col) << c.ref;
}

std::map<std::string, std::string> zipParts(const std::filesystem::path& file) {
    std::map<std::string, std::string> parts;
    int code = 0;
    zip_t* z = zip_open(qx::os::utf8(file).c_str(), ZIP_RDONLY, &code);
    if (!z) return parts;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        const char* name = zip_get_name(z, static_cast<zip_uint64_t>(i), 0);
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        std::string data;
        char buf[4096];
        zip_int64_t n;
        while ((n = zip_fread(f, buf, sizeof buf)) > 0)
            data.append(buf, static_cast<std::size_t>(n));
        zip_fclose(f);
        parts[name] = data;
    }
    zip_discard(z);
    return parts;
}

class OneRow : public RowSource {
  public:
    explicit OneRow(std::vector<ColumnDef> c) : columns_(std::move(c)) {}
    const std::vector<ColumnDef>& columns() const override { return columns_; }
    bool next(std::vector<Value>& row) override {
        if (done_) return false;
        done_ = true;
        row.clear();
        for (const auto& c : columns_)
            row.push_back(c.type == jet::JetType::DateTime ? Value::ofText("2021-03-15 00:00:00")
                                                           : Value::ofText("值"));
        return true;
    }

  private:
    std::vector<ColumnDef> columns_;
    bool done_ = false;
};

TEST(Excel, TemplateGetsTheResultAsSecondSheetAndKeepsItsOtherParts) {
    TestDir dir;
    auto file = dir / "结果.xlsx";
    std::string error;
    ASSERT_TRUE(excel12::writeTemplate(file, error)) << error;
    excel12::WorkbookListing listing;
    ASSERT_TRUE(excel12::listWorkbook(qx::os::utf8(file), listing, error)) << error;
    EXPECT_EQ(listing.sheets, (std::vector<std::string>{"结果见表二"}));
    {
        // Read and closed again: Windows replaces no file that is open.
        auto cells = excel12::openSheet(qx::os::utf8(file), "结果见表二", error);
        ASSERT_TRUE(cells) << error;
        std::vector<excel::Cell> row;
        ASSERT_TRUE(cells->rewind(error));
        ASSERT_TRUE(cells->nextRow(row, error));
        EXPECT_EQ(row.at(0).text, "结果请见表二");
    }

    // The same bytes every time.
    auto before = zipParts(file);
    ASSERT_TRUE(excel12::writeTemplate(dir / "again.xlsx", error));
    EXPECT_EQ(zipParts(dir / "again.xlsx"), before);

    OneRow text({{"名称", jet::JetType::Text, 255}});
    ASSERT_TRUE(excel12::addSheet(file, "表二中不含表一数", text, error)) << error;
    listing = {};
    ASSERT_TRUE(excel12::listWorkbook(qx::os::utf8(file), listing, error));
    EXPECT_EQ(listing.sheets, (std::vector<std::string>{"结果见表二", "表二中不含表一数"}));
    auto after = zipParts(file);
    for (const auto& [name, data] : before) {
        if (name == "xl/workbook.xml" || name == "xl/_rels/workbook.xml.rels" ||
            name == "[Content_Types].xml")
            continue;
        EXPECT_EQ(after[name], data) << name << " changed";
    }
    // A date column adds one cell format, and styles.xml only then changes.
    OneRow dates({{"日期", jet::JetType::DateTime, 255}});
    ASSERT_TRUE(excel12::addSheet(file, "日期表", dates, error)) << error;
    auto withDates = zipParts(file);
    EXPECT_NE(withDates["xl/styles.xml"], before["xl/styles.xml"]);
    EXPECT_EQ(withDates["xl/worksheets/sheet1.xml"], before["xl/worksheets/sheet1.xml"]);

    // Read back by openpyxl: the notice, its merge and its colours.
    if (std::system("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null") != 0)
        GTEST_SKIP() << "no openpyxl";
    std::string script =
        "/usr/bin/python3 -c \"import openpyxl,sys; wb=openpyxl.load_workbook(sys.argv[1]); "
        "ws=wb.worksheets[0]; "
        "c=ws['A1']; ok=(ws.title=='结果见表二' and c.value=='结果请见表二' and "
        "str(ws.merged_cells)=='A1:E4' and "
        "c.fill.fgColor.theme==4 and c.font.color.theme==0 and c.font.name=='宋体' and "
        "c.font.sz==11 and "
        "c.alignment.horizontal=='center' and c.alignment.vertical=='center' and "
        "wb.sheetnames[1]=='表二中不含表一数' and wb.worksheets[2]['A2'].is_date); sys.exit(0 if "
        "ok else 1)\" " +
        qx::os::utf8(file);
    EXPECT_EQ(std::system(script.c_str()), 0);
}

}  // namespace
}  // namespace qx::isam
