// Reading .xlsx workbooks: the sheet and name listing and a sheet's cells, streamed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/isam/excel/sheet_table.h"

namespace qx::isam::excel12 {

struct WorkbookListing {
    std::vector<std::string> sheets;        // as they stand in the workbook
    std::vector<std::string> definedNames;  // global ones as they are, local ones as Sheet$Name
};

bool listWorkbook(const std::string& path, WorkbookListing& out, std::string& error);

// The cells of a sheet, named without its "$".
std::unique_ptr<excel::SheetCells> openSheet(const std::string& path, const std::string& sheet,
                                             std::string& error);

// Column letters to a 0-based index ("A" → 0, "AB" → 27); -1 when not a cell reference.
int columnIndex(std::string_view reference);

}  // namespace qx::isam::excel12
