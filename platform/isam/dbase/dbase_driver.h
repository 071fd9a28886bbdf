// The dBASE driver: [dBASE III;DATABASE=dir].name.dbf as a source and as an INTO target.
#pragma once

#include "platform/isam/driver.h"

namespace qx::isam::dbase {

class DbaseDriver : public Driver {
  public:
    std::vector<std::string> names() const override;
    bool listTables(const ExternalClause& db, std::vector<TableName>& out,
                    std::string& error) override;
    std::unique_ptr<RowSource> readTable(const ExternalClause& db, const std::string& table,
                                         std::string& error) override;
    bool writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                    std::string& error) override;
};

}  // namespace qx::isam::dbase
