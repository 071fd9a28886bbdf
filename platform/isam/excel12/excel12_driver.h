// The Excel 12.0 driver: [Excel 12.0;…;DATABASE=file.xlsx].[Sheet$] as a source, .[R] as a target.
#pragma once

#include "platform/isam/driver.h"

namespace qx::isam::excel12 {

class Excel12Driver : public Driver {
  public:
    std::vector<std::string> names() const override;
    bool listTables(const ExternalClause& db, std::vector<TableName>& out,
                    std::string& error) override;
    std::unique_ptr<RowSource> readTable(const ExternalClause& db, const std::string& table,
                                         std::string& error) override;
    bool writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                    std::string& error) override;
};

}  // namespace qx::isam::excel12
