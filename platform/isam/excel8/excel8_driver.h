// The Excel 8.0 driver: [Excel 8.0;…;DATABASE=file.xls].[Sheet$] as a source (BIFF2–8, read by
// our reader in the helper qx_xls_reader), .[R] as a target (a BIFF8 workbook of our own
// writing).
#pragma once

#include "platform/isam/driver.h"

namespace qx::isam::excel8 {

class Excel8Driver : public Driver {
  public:
    std::vector<std::string> names() const override;
    bool listTables(const ExternalClause& db, std::vector<TableName>& out,
                    std::string& error) override;
    std::unique_ptr<RowSource> readTable(const ExternalClause& db, const std::string& table,
                                         std::string& error) override;
    bool writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                    std::string& error) override;
};

}  // namespace qx::isam::excel8
