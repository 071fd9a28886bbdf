// Reading .xls workbooks: BIFF8 (Excel 97–2003) and BIFF5/7 (Excel 95, text in the workbook's
// code page) in a compound file, and the BIFF2–4 worksheets that are files of their own. Values
// as the Excel driver gives them: shared and rich strings, numbers (RK and MULRK too), booleans,
// error values as Null, formula cells by their cached results, dates by the cell's format in the
// 1900 or 1904 system. The used range comes from the cells.
#pragma once

#include <string>
#include <vector>

#include "platform/isam/excel/sheet_table.h"
#include "platform/isam/office/crypto.h"

namespace qx::isam::excel8 {

class BiffWorkbook {
  public:
    // Reads the file and its workbook globals; false with the reason (damaged, encrypted, ...).
    bool open(const std::string& path, std::string& error);
    // The same on the file's bytes; `name` names a BIFF2–4 worksheet, which has no name inside.
    // An encrypted workbook is opened with `password` (spreadsheet programs' default one).
    bool load(std::string bytes, const std::string& name, std::string& error,
              const std::u16string& password = office::kDefaultPassword);
    // The worksheets, in workbook order.
    std::vector<std::string> sheets() const;
    // One worksheet's rows from the first (missing rows empty, cells by column).
    bool readSheet(const std::string& name, std::vector<std::vector<excel::Cell>>& rows,
                   std::string& error) const;

  private:
    bool hasDataSheet(std::size_t offset) const;
    struct Sheet {
        std::string name;
        std::size_t offset = 0;  // of its BOF in the stream
        bool chart = false;      // a chart sheet: its data sheet's cells are BIFF2 records
    };
    std::string stream_;
    int biff_ = 8;  // 2, 3, 4, 5 or 8
    std::string charset_ = "CP1252";
    bool date1904_ = false;
    std::vector<Sheet> sheets_;
    std::vector<bool> dateXf_;  // per XF: its format shows a date
    std::vector<std::string> sst_;
};

}  // namespace qx::isam::excel8
