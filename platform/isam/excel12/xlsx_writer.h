// Writing .xlsx workbooks: the built-in notice-sheet template, and a table added as a sheet.
#pragma once

#include <filesystem>
#include <string>

#include "platform/isam/driver.h"

namespace qx::isam::excel12 {

// Writes the template workbook (one sheet "结果见表二" pointing to the next sheet) at `file`,
// replacing what stands there.
bool writeTemplate(const std::filesystem::path& file, std::string& error);

// Adds `rows` as a new sheet (a header row with the field names, then the rows) to the workbook
// at `file`, which is created when missing. Every other part of the workbook stays unchanged.
bool addSheet(const std::filesystem::path& file, const std::string& sheetName, RowSource& rows,
              std::string& error);

}  // namespace qx::isam::excel12
