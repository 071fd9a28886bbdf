// The dBASE driver: the table is the file named after the clause, in the clause's directory.
#include "platform/isam/dbase/dbase_driver.h"

#include "platform/isam/dbase/dbase_file.h"
#include "platform/isam/folder.h"
#include "platform/jet/text.h"
#include "platform/os/paths.h"

namespace qx::isam::dbase {

namespace fs = std::filesystem;

namespace {

// The file of a table: name.dbf in the folder.
fs::path tableFile(const ExternalClause& db, std::string table) {
    if (table.find('.') == std::string::npos) table += ".dbf";
    return findFileNoCase(clauseFolder(db), table);
}

}  // namespace

std::vector<std::string> DbaseDriver::names() const {
    return {"dbase iii", "dbase iv", "dbase 5.0"};
}

bool DbaseDriver::listTables(const ExternalClause& db, std::vector<TableName>& out,
                             std::string& error) {
    return listFolder(db, {".dbf"}, out, error);
}

std::unique_ptr<RowSource> DbaseDriver::readTable(const ExternalClause& db,
                                                  const std::string& table, std::string& error) {
    return DbfReader::open(tableFile(db, table), error);
}

bool DbaseDriver::writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                             std::string& error) {
    std::string name = table.find('.') == std::string::npos ? table + ".dbf" : table;
    fs::path file = tableFileToWrite(db, name, error);
    return !file.empty() && writeDbf(file, rows, error);
}

}  // namespace qx::isam::dbase
