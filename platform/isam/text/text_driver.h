// The Text driver: [Text;FMT=Delimited;DATABASE=dir].[name] read as the section of dir's
// schema.ini for that file describes it, and [Text;DATABASE=dir].name.csv written as CSV.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/isam/driver.h"

namespace qx::isam::text {

// A file's section of schema.ini.
struct Layout {
    bool header = false;             // ColNameHeader
    std::string delimiter = ",";     // CSVDelimited, TabDelimited, Delimited(x)
    std::vector<ColumnDef> columns;  // Col1=…, Col2=…; empty when none are given
    std::string unsupported;         // a Format this driver does not read (FixedLength)
};

Layout readSchemaIni(const std::filesystem::path& dir, const std::string& file, bool& found);

// UTF-8 with BOM, CRLF, a header row, commas; fields quoted only when they need it.
bool writeCsv(const std::filesystem::path& file, RowSource& rows, std::string& error);

class TextDriver : public Driver {
  public:
    std::vector<std::string> names() const override;
    bool listTables(const ExternalClause& db, std::vector<TableName>& out,
                    std::string& error) override;
    std::unique_ptr<RowSource> readTable(const ExternalClause& db, const std::string& table,
                                         std::string& error) override;
    bool writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                    std::string& error) override;
};

}  // namespace qx::isam::text
