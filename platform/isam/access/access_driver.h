// The Access driver: [;DATABASE=file].T as a source, and the listing of a file's user tables.
// Files are read in this process by our own reader (mdb_reader.h).
#pragma once

#include <filesystem>

#include "platform/isam/driver.h"

namespace qx::isam::access {

class AccessDriver : public Driver {
  public:
    std::vector<std::string> names() const override;
    bool listTables(const ExternalClause& db, std::vector<TableName>& out,
                    std::string& error) override;
    std::unique_ptr<RowSource> readTable(const ExternalClause& db, const std::string& table,
                                         std::string& error) override;
    bool writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                    std::string& error) override;
};

// The user tables of an Access file in catalogue order (empty when it cannot be read).
std::vector<std::string> listAccessTables(const std::filesystem::path& file);
// The same, with why the file could not be listed (empty when it could).
std::vector<std::string> listAccessTables(const std::filesystem::path& file, std::string& error);

}  // namespace qx::isam::access
