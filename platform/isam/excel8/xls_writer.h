// Writing .xls (BIFF8) workbooks of our own: a new workbook holding one sheet.
#pragma once

#include <filesystem>
#include <string>

#include "platform/isam/driver.h"

namespace qx::isam::excel8 {

// Writes `rows` as the sheet `sheetName` (a header row with the field names first) of a new
// workbook at `file`. At most 65,535 data rows and 256 columns; beyond that nothing is written.
bool writeWorkbook(const std::filesystem::path& file, const std::string& sheetName, RowSource& rows,
                   std::string& error);

}  // namespace qx::isam::excel8
