// The dBASE driver: the table is the file named after the clause, in the clause's directory.
#include "platform/isam/dbase/dbase_driver.h"

#include "platform/isam/dbase/dbase_file.h"
#include "platform/jet/text.h"
#include "platform/os/paths.h"

namespace qx::isam::dbase {

namespace fs = std::filesystem;

namespace {

fs::path directoryOf(const ExternalClause& db) {
    std::string dir = db.property("DATABASE");
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    return os::pathFromUtf8(dir.empty() ? "." : dir);
}

// The file of a table: name.dbf in the directory; names differing only in case are found too,
// as they are on the systems these files come from.
fs::path tableFile(const ExternalClause& db, std::string table) {
    if (table.find('.') == std::string::npos) table += ".dbf";
    fs::path dir = directoryOf(db);
    fs::path exact = dir / os::pathFromUtf8(table);
    std::error_code ec;
    if (fs::exists(exact, ec)) return exact;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (jet::compareNoCase(os::utf8(entry.path().filename()), table) == 0) return entry.path();
    }
    return exact;
}

}  // namespace

std::vector<std::string> DbaseDriver::names() const {
    return {"dbase iii", "dbase iv", "dbase 5.0"};
}

bool DbaseDriver::listTables(const ExternalClause& db, std::vector<TableName>& out,
                             std::string& error) {
    std::error_code ec;
    fs::directory_iterator it(directoryOf(db), ec);
    if (ec) {
        error = "无法打开文件夹“" + os::utf8(directoryOf(db)) + "”";
        return false;
    }
    for (const auto& entry : it) {
        std::string name = os::utf8(entry.path().filename());
        if (name.size() > 4 && jet::asciiLower(name.substr(name.size() - 4)) == ".dbf")
            out.push_back({name, "TABLE"});
    }
    return true;
}

std::unique_ptr<RowSource> DbaseDriver::readTable(const ExternalClause& db,
                                                  const std::string& table, std::string& error) {
    return DbfReader::open(tableFile(db, table), error);
}

bool DbaseDriver::writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                             std::string& error) {
    std::string name = table.find('.') == std::string::npos ? table + ".dbf" : table;
    fs::path dir = directoryOf(db);
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = "找不到文件夹“" + os::utf8(dir) + "”";
        return false;
    }
    return writeDbf(dir / os::pathFromUtf8(name), rows, error);
}

}  // namespace qx::isam::dbase
