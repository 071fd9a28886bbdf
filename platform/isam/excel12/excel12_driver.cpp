// The Excel 12.0 driver.
#include "platform/isam/excel12/excel12_driver.h"

#include "platform/isam/excel/sheet_table.h"
#include "platform/isam/excel12/xlsx_reader.h"
#include "platform/isam/excel12/xlsx_writer.h"
#include "platform/os/paths.h"

namespace qx::isam::excel12 {

std::vector<std::string> Excel12Driver::names() const {
    return {"excel 12.0", "excel 12.0 xml"};
}

bool Excel12Driver::listTables(const ExternalClause& db, std::vector<TableName>& out,
                               std::string& error) {
    WorkbookListing listing;
    if (!listWorkbook(db.property("DATABASE"), listing, error)) return false;
    for (const auto& s : listing.sheets) out.push_back({s + "$", "TABLE"});
    for (const auto& n : listing.definedNames) out.push_back({n, "TABLE"});
    return true;
}

std::unique_ptr<RowSource> Excel12Driver::readTable(const ExternalClause& db,
                                                    const std::string& table, std::string& error) {
    std::string sheet;
    if (!excel::sheetOfTable(table, sheet, error)) return nullptr;
    auto cells = openSheet(db.property("DATABASE"), sheet, error);
    if (!cells) return nullptr;
    return excel::sheetTable(std::move(cells), excel::headerRow(db), error);
}

bool Excel12Driver::writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                               std::string& error) {
    return addSheet(os::pathFromUtf8(db.property("DATABASE")), table, rows, error);
}

}  // namespace qx::isam::excel12
